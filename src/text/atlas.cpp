// Glyph-atlas text: the atlas loader, line positions, and measuring and drawing text lines.
#include "text/atlas.h"

#include <algorithm>
#include <limits>
#include <string>

#include "core/encoding.h"
#include "platform/files.h"
#include "platform/image_io.h"
#include "text/fallback_glyphs.h"

namespace vantrel {

namespace {

constexpr uint8_t kAtlasBackground = 1;

bool startsWith(std::string_view text, size_t pos, std::string_view tag) {
    return text.size() - pos >= tag.size() && text.compare(pos, tag.size(), tag) == 0;
}

GlyphAtlas fromDecoded(DecodedPng&& png) {
    if (!png.indexed) throw PlatformError("The glyph atlas is not a paletted picture");
    if (png.width != kAtlasWidth || png.height != kAtlasHeight)
        throw PlatformError("The glyph atlas is not " + std::to_string(kAtlasWidth) + "x" +
                            std::to_string(kAtlasHeight) + " pixels");
    GlyphAtlas atlas;
    atlas.width = png.width;
    atlas.height = png.height;
    atlas.pixels = std::move(png.pixels);
    atlas.colors = png.colors;
    return atlas;
}

}  // namespace

std::string_view letterSetFileName(int coLetters) { return coLetters == 0 ? "abc.png" : ""; }

const GlyphTable& glyphTable(int /*coLetters*/, bool italic) { return italic ? kItalicGlyphs : kUprightGlyphs; }

GlyphAtlas decodeAtlas(const uint8_t* data, size_t size) { return fromDecoded(decodePng(data, size)); }

GlyphAtlas loadAtlasFile(const std::string& path) {
    DecodedPng png = readPngFile(path);
    try {
        return fromDecoded(std::move(png));
    } catch (const PlatformError& e) {
        throw PlatformError("Cannot read picture \"" + path + "\". " + e.what());
    }
}

const GlyphAtlas& builtinAtlas() {
    static const GlyphAtlas atlas = decodeAtlas(kAtlasPng, kAtlasPngSize);
    return atlas;
}

void fillLineY(Program& prog, const Options& opt) {
    for (size_t i = 0; i < prog.lineY.size(); ++i) {
        const int64_t y = static_cast<int64_t>(opt.ieLastLine) - static_cast<int64_t>(i) * opt.ieLineSpc;
        prog.lineY[i] = static_cast<uint16_t>(static_cast<uint64_t>(y) & 0xFFFF);
    }
}

bool lineBaseline(const Program& prog, int lineNo, int32_t& baseline) {
    if (lineNo < 1 || lineNo > static_cast<int>(prog.lineY.size())) return false;
    baseline = static_cast<int16_t>(prog.lineY[static_cast<size_t>(lineNo - 1)]);
    return true;
}

namespace {

// The picture one glyph is copied from: columns firstCol..lastCol and rows top..bottom of
// `pixels` (stride values a row), with the baseline on row `base`.
struct GlyphSource {
    const uint8_t* pixels = nullptr;
    int64_t stride = 0;
    int64_t firstCol = 0, lastCol = -1;
    int64_t top = 0, base = 0, bottom = -1;
};

// Copies a glyph picture with its first column at column x and its baseline on row
// `baseline` into the pictures the current mode asks for, and widens the slot's rows (when
// there is one) to what it inked.
void drawSource(Context& ctx, int32_t x, int32_t baseline, const GlyphSource& src, TSUPObject* slot) {
    Program& prog = ctx.prog;
    const Options& opt = ctx.opt;
    const PaletteState& pal = prog.pal;
    Pictures& pics = prog.pics;
    const int maxColor = std::clamp(opt.ieMaxColor, 0, 255);

    const bool exporting = prog.ExportingBD || prog.ExportingHD;
    const bool saving = prog.SavingPics;
    const bool toIndex = exporting || (saving && opt.cbPNG);
    // Two-tone indexes belong to the saved pictures only: an exported stream keeps the
    // grey ramp whatever the OCR option says.
    const bool twoTone = saving && opt.cbOCR;
    const bool toDisplay = saving && opt.cbBMP;
    const bool toOverlay = !saving;
    const GlyphAtlas& atlas = builtinAtlas();

    // Only the part of the box that lies on the screen is visited.
    const int64_t uFirst = std::max<int64_t>(src.firstCol, src.firstCol - x);
    const int64_t uLast = std::min<int64_t>(src.lastCol, src.firstCol - x + kScreenWidth - 1);
    const int64_t aFirst = std::max<int64_t>(src.top, src.base - baseline);
    const int64_t aLast = std::min<int64_t>(src.bottom, src.base - baseline + kScreenHeight - 1);

    int32_t minRow = kScreenHeight - 1, maxRow = 0;
    bool inked = false;
    for (int64_t a = aFirst; a <= aLast; ++a) {
        const int y = static_cast<int>(baseline + a - src.base);
        for (int64_t u = uFirst; u <= uLast; ++u) {
            const int t = static_cast<int>(x + u - src.firstCol);
            const uint8_t v = src.pixels[a * src.stride + u];
            // The box's background is left alone: the composer filled the pictures with it,
            // and writing it again would cut the ink of a neighbour whose box overlaps.
            if (v == kAtlasBackground) continue;
            const uint8_t index = pal.GreyMap[v];
            if (toIndex && pics.IndexImage.contains(t, y)) {
                uint8_t out = index;
                if (twoTone) out = pal.Palette[index] >= pal.cutThreshold ? pal.BrightIdx : pal.DarkIdx;
                pics.IndexImage.at(t, y) = out;
            }
            minRow = std::min(minRow, y);
            maxRow = std::max(maxRow, y);
            inked = true;
            const uint32_t grey = (atlas.colors[v] & 0xFF) * static_cast<uint32_t>(maxColor) / 255;
            const Color colour = grey * 0x010101u;
            if (toDisplay && pics.display.contains(t, y)) pics.display.at(t, y) = colour;
            if (toOverlay && pics.Overlay.contains(t, y)) {
                const size_t i = static_cast<size_t>(y) * static_cast<size_t>(pics.Overlay.width) + static_cast<size_t>(t);
                pics.Overlay.color[i] = colour;
                pics.Overlay.alpha[i] = pal.Alpha[index];
            }
        }
    }
    if (!inked || exporting || !slot) return;
    slot->y1 = static_cast<uint16_t>(std::min<int32_t>(slot->y1, minRow));
    slot->y2 = static_cast<uint16_t>(std::max<int32_t>(slot->y2, maxRow));
}

// How one character of a line is set: from the atlas when it has the character, else drawn
// by FreeType; neither leaves it out (no ink, no width).
struct CharGlyph {
    GlyphMetrics metrics;
    const DrawnGlyph* drawn = nullptr;
};

CharGlyph glyphOf(const Context& ctx, char32_t c, bool italic) {
    CharGlyph g;
    const int byte = cp1252Byte(c);
    if (byte >= 0) g.metrics = glyphTable(ctx.opt.coLetters, italic)[static_cast<size_t>(byte)];
    if (g.metrics.row != 0 || (byte >= 0 && byte < 0x20)) return g;
    if ((g.drawn = fallbackGlyph(c, italic)) != nullptr)
        g.metrics = GlyphMetrics{1, 0, g.drawn->width, g.drawn->kernBefore, g.drawn->kernAfter};
    return g;
}

}  // namespace

void DrawGlyph(Context& ctx, int32_t x, int32_t baseline, const GlyphMetrics& g, TSUPObject* slot) {
    if (g.width < 1 || g.row < 1 || g.row > kAtlasBands) return;
    const GlyphAtlas& atlas = builtinAtlas();
    const size_t band = static_cast<size_t>(g.row - 1);
    GlyphSource src;
    src.pixels = atlas.pixels.data();
    src.stride = atlas.width;
    src.firstCol = std::max<int64_t>(g.x, 0);
    src.lastCol = std::min<int64_t>(static_cast<int64_t>(g.x) + g.width, atlas.width - 1);
    src.top = std::max<int32_t>(rowTop[band], 0);
    src.base = rowBase[band];
    src.bottom = std::min<int32_t>(rowBottom[band], atlas.height - 1);
    // Columns left of the atlas (a negative x) are skipped, the rest keep their place.
    drawSource(ctx, static_cast<int32_t>(x + (src.firstCol - g.x)), baseline, src, slot);
}

bool hasGlyph(const Context& ctx, char32_t c) {
    const CharGlyph g = glyphOf(ctx, c, false);
    return g.metrics.row != 0;
}

int16_t DrawLine(Context& ctx, std::string_view line, uint8_t lineNo, TSUPObject* slot, bool draw) {
    Program& prog = ctx.prog;
    int32_t baseline = 0;
    if (draw && (!slot || !lineBaseline(prog, lineNo, baseline))) draw = false;

    int64_t pen = 0;
    if (draw) {
        prog.pics.ensureAllocated();
        pen = (static_cast<int64_t>(prog.pics.display.width) - (static_cast<int64_t>(slot->x2) - slot->x1)) / 2;
    }
    int64_t width = 0;
    bool first = true;
    size_t pos = 0;
    while (true) {
        // Tags produce no glyph; several in a row are all taken.
        while (true) {
            if (startsWith(line, pos, "<i>")) {
                prog.italicOn = true;
                pos += 3;
            } else if (startsWith(line, pos, "</i>")) {
                prog.italicOn = false;
                pos += 4;
            } else {
                break;
            }
        }
        if (pos >= line.size()) break;
        const char32_t c = nextChar(line, pos);
        const CharGlyph cg = glyphOf(ctx, c, prog.italicOn);
        const GlyphMetrics& g = cg.metrics;
        if (!first) pen -= g.kernBefore;
        first = false;
        // A glyph this far off the screen cannot reach it (the atlas is narrower).
        if (draw && c != ' ' && pen > -2 * kAtlasWidth && pen < kScreenWidth + kAtlasWidth) {
            if (cg.drawn) {
                const DrawnGlyph& d = *cg.drawn;
                const GlyphSource src{d.cells.data(), d.cols, 0, d.cols - 1, 0, d.above, d.rows - 1};
                drawSource(ctx, static_cast<int32_t>(pen), baseline, src, slot);
            } else {
                DrawGlyph(ctx, static_cast<int32_t>(pen), baseline, g, slot);
            }
        }
        pen += g.width;
        width = pen;
        pen += static_cast<int64_t>(ctx.opt.ieSpacing) - g.kernAfter;
        // Tighter pairs of the atlas's capitals before small letters (by their code bits).
        if (c == 'K' || c == 'R' || c == 'T' || c == 'g') {
            size_t after = pos;
            const char32_t nextChar32 = pos < line.size() ? nextChar(line, after) : 0;
            const int b = cp1252Byte(nextChar32);
            const unsigned next = b >= 0 ? static_cast<unsigned>(b) : (isLower(nextChar32) ? 0x20u : 0u);
            if ((c == 'K' || c == 'R') && (next & 0x20)) pen -= 2;
            if (c == 'T' && (next & 0x20)) pen -= 3;
            if (c == 'g' && next == 'j') pen += 1;
        }
    }
    return static_cast<int16_t>(std::clamp<int64_t>(width, std::numeric_limits<int16_t>::min(),
                                                    std::numeric_limits<int16_t>::max()));
}

}  // namespace vantrel
