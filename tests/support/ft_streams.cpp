// Subtitle pictures rendered with FreeType and written as Blu-ray streams.
#include "support/ft_streams.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "core/encoding.h"
#include "export/writers.h"

namespace vantrel::testing {
namespace {

uint8_t level(int coverage, int levels) { return static_cast<uint8_t>((coverage * levels + 127) / 255); }

// Text of one line split into characters with their italic state; "<i>" and "</i>" switch it.
struct StyledChar {
    char32_t ch;
    bool italic;
};

std::vector<StyledChar> styledChars(std::string_view line) {
    std::vector<StyledChar> out;
    bool italic = false;
    for (size_t i = 0; i < line.size();) {
        if (line.compare(i, 3, "<i>") == 0) {
            italic = true;
            i += 3;
        } else if (line.compare(i, 4, "</i>") == 0) {
            italic = false;
            i += 4;
        } else {
            out.push_back({nextChar(line, i), italic});
        }
    }
    return out;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (;;) {
        const size_t bar = text.find('|', start);
        lines.push_back(text.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
        if (bar == std::string_view::npos) return lines;
        start = bar + 1;
    }
}

}  // namespace

namespace {

struct FamilyFiles {
    FontFamily family;
    const char* name;
    const char* regular;   // under /usr/share/fonts/
    const char* italic;
    const char* package;
};

constexpr FamilyFiles kFamilies[] = {
    {FontFamily::DejaVuSans, "DejaVuSans", "truetype/dejavu/DejaVuSans.ttf", "truetype/dejavu/DejaVuSans-Oblique.ttf",
     "fonts-dejavu-core"},
    {FontFamily::DejaVuSerif, "DejaVuSerif", "truetype/dejavu/DejaVuSerif.ttf",
     "truetype/dejavu/DejaVuSerif-Italic.ttf", "fonts-dejavu-core"},
    {FontFamily::LiberationSans, "LiberationSans", "truetype/liberation2/LiberationSans-Regular.ttf",
     "truetype/liberation2/LiberationSans-Italic.ttf", "fonts-liberation2"},
    {FontFamily::LiberationSerif, "LiberationSerif", "truetype/liberation2/LiberationSerif-Regular.ttf",
     "truetype/liberation2/LiberationSerif-Italic.ttf", "fonts-liberation2"},
    {FontFamily::FreeSans, "FreeSans", "truetype/freefont/FreeSans.ttf", "truetype/freefont/FreeSansOblique.ttf",
     "fonts-freefont-ttf"},
    {FontFamily::NimbusRoman, "NimbusRoman", "opentype/urw-base35/NimbusRoman-Regular.otf",
     "opentype/urw-base35/NimbusRoman-Italic.otf", "fonts-urw-base35"},
    {FontFamily::NimbusMono, "NimbusMono", "opentype/urw-base35/NimbusMonoPS-Regular.otf",
     "opentype/urw-base35/NimbusMonoPS-Italic.otf", "fonts-urw-base35"},
    {FontFamily::DejaVuSansCondensed, "DejaVuSansCondensed", "truetype/dejavu/DejaVuSansCondensed.ttf",
     "truetype/dejavu/DejaVuSansCondensed-Oblique.ttf", "fonts-dejavu-extra"},
    {FontFamily::UrwGothic, "UrwGothic", "opentype/urw-base35/URWGothic-Book.otf",
     "opentype/urw-base35/URWGothic-BookOblique.otf", "fonts-urw-base35"},
};

const FamilyFiles& filesOf(FontFamily family) {
    for (const FamilyFiles& f : kFamilies)
        if (f.family == family) return f;
    throw std::invalid_argument("unknown font family");
}

}  // namespace

const char* familyName(FontFamily family) { return filesOf(family).name; }

FontFiles fontFiles(FontFamily family) {
    const FamilyFiles& k = filesOf(family);
    const std::string root = "/usr/share/fonts/";
    FontFiles f{root + k.regular, root + k.italic};
    for (const std::string& path : {f.regular, f.italic})
        if (!std::filesystem::exists(path))
            throw std::runtime_error(path + " is missing: install " + k.package);
    return f;
}

TextStyle StyleSpec::style() const {
    TextStyle s;
    s.font = fontFiles(family);
    s.pixelSize = pixelSize;
    s.fill = fill;
    s.outline = outline;
    s.outlineWidth = outlineWidth;
    s.levels = levels;
    s.videoWidth = videoWidth;
    s.videoHeight = videoHeight;
    s.subpixel = subpixel;
    s.lineSpacing = lineSpacing;
    s.fillFirst = fillFirst;
    s.shadow = shadow;
    return s;
}

// A glyph as drawn: coverage of the fill and of fill plus outline, in a box placed relative
// to the pen position on the baseline.
struct TextRenderer::Glyph {
    int left = 0, top = 0;       // offset of the box's top-left corner from the pen on the baseline
    int width = 0, height = 0;
    int advance = 0;             // pixels
    long advance26 = 0;          // 1/64 pixels
    unsigned index = 0;          // the face's glyph index, for kerning
    std::vector<uint8_t> fill, outline;
};

struct TextRenderer::Faces {
    FT_Library library = nullptr;
    FT_Face regular = nullptr, italic = nullptr;
    int ascender = 0, descender = 0, pitch = 0;

    ~Faces() {
        if (italic) FT_Done_Face(italic);
        if (regular) FT_Done_Face(regular);
        if (library) FT_Done_FreeType(library);
    }
};

TextRenderer::TextRenderer(const TextStyle& style) : style_(style), faces_(std::make_unique<Faces>()) {
    style_.levels = std::clamp(style_.levels, 1, 16);
    style_.outlineWidth = std::clamp(style_.outlineWidth, 0, 16);
    if (FT_Init_FreeType(&faces_->library) != 0) throw std::runtime_error("FreeType failed to start");
    auto open = [&](const std::string& path, FT_Face& face) {
        if (FT_New_Face(faces_->library, path.c_str(), 0, &face) != 0)
            throw std::runtime_error("cannot open the font " + path);
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(style_.pixelSize)) != 0)
            throw std::runtime_error("cannot size the font " + path);
    };
    open(style_.font.regular, faces_->regular);
    open(style_.font.italic.empty() ? style_.font.regular : style_.font.italic, faces_->italic);
    const FT_Size_Metrics& m = faces_->regular->size->metrics;
    faces_->ascender = static_cast<int>((m.ascender + 63) >> 6);
    faces_->descender = static_cast<int>(-(m.descender >> 6));
    faces_->pitch = static_cast<int>((m.height + 32) >> 6);
    if (style_.lineSpacing > 0) faces_->pitch = static_cast<int>(std::lround(style_.lineSpacing * style_.pixelSize));
    style_.subpixel = std::clamp(style_.subpixel, 1, 64);
    style_.shadow = std::clamp(style_.shadow, 0, 16);

    // Index 0 transparent; with an outline, 1..L the outline fading out and L+1..2L the
    // fill blending into the outline; without one, 1..L the fill fading out.
    const int L = style_.levels;
    palette_.push_back({0, {0, 0, 0}, 0});
    auto mix = [](Rgb a, Rgb b, int k, int n) {
        auto c = [&](uint8_t x, uint8_t y) { return static_cast<uint8_t>((x * k + y * (n - k) + n / 2) / n); };
        return Rgb{c(a.r, b.r), c(a.g, b.g), c(a.b, b.b)};
    };
    for (int k = 1; k <= L; ++k)
        palette_.push_back({static_cast<uint8_t>(k), style_.outlineWidth > 0 ? style_.outline : style_.fill,
                            static_cast<uint8_t>((255 * k + L / 2) / L)});
    if (style_.outlineWidth > 0)
        for (int k = 1; k <= L; ++k)
            palette_.push_back({static_cast<uint8_t>(L + k), mix(style_.fill, style_.outline, k, L), 255});
    if (style_.shadow > 0) palette_.push_back({static_cast<uint8_t>(palette_.size()), {0, 0, 0}, 150});
    if (style_.fillFirst) {
        // Entry 0 and the full fill's entry trade places, colours and all.
        const uint8_t fill = fillIndex();
        std::swap(palette_[0].color, palette_[fill].color);
        std::swap(palette_[0].alpha, palette_[fill].alpha);
    }
}

uint8_t TextRenderer::fillIndex() const {
    return static_cast<uint8_t>(style_.outlineWidth > 0 ? 2 * style_.levels : style_.levels);
}

uint8_t TextRenderer::transparentIndex() const { return style_.fillFirst ? fillIndex() : 0; }

TextRenderer::~TextRenderer() = default;

const TextRenderer::Glyph& TextRenderer::glyph(char32_t ch, bool italic, int fraction) const {
    const uint64_t key = static_cast<uint64_t>(ch) | (italic ? 1ull << 32 : 0) | (static_cast<uint64_t>(fraction) << 33);
    auto found = glyphs_.find(key);
    if (found != glyphs_.end()) return found->second;

    Glyph g;
    FT_Face face = italic ? faces_->italic : faces_->regular;
    const FT_UInt index = FT_Get_Char_Index(face, ch);
    g.index = index;
    // Whole-pixel pens render hinted glyphs; fractional pens render the outline unhinted,
    // moved right by the fraction, as a disc renderer placing text by its metrics does.
    const bool fractional = style_.subpixel > 1;
    const FT_Int32 flags = fractional ? FT_LOAD_NO_HINTING : FT_LOAD_DEFAULT;
    if (index != 0 && FT_Load_Glyph(face, index, flags) == 0 &&
        (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE ||
         (FT_Outline_Translate(&face->glyph->outline, fraction * 64 / style_.subpixel, 0), true)) &&
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        g.advance26 = fractional ? static_cast<long>(slot->linearHoriAdvance >> 10) : static_cast<long>(slot->advance.x);
        g.advance = static_cast<int>((g.advance26 + 32) >> 6);
        if (bm.width == 0 || bm.rows == 0) return glyphs_.emplace(key, std::move(g)).first->second;
        const int r = style_.outlineWidth;
        const int pad = r > 0 ? r + 1 : 0;
        g.width = static_cast<int>(bm.width) + 2 * pad;
        g.height = static_cast<int>(bm.rows) + 2 * pad;
        g.left = slot->bitmap_left - pad;
        g.top = -slot->bitmap_top - pad;
        const size_t area = static_cast<size_t>(g.width) * static_cast<size_t>(g.height);
        g.fill.assign(area, 0);
        for (unsigned y = 0; y < bm.rows; ++y)
            for (unsigned x = 0; x < bm.width; ++x) {
                const uint8_t v = bm.pixel_mode == FT_PIXEL_MODE_MONO
                                      ? ((bm.buffer[y * static_cast<unsigned>(bm.pitch) + x / 8] >> (7 - x % 8)) & 1) * 255
                                      : bm.buffer[y * static_cast<unsigned>(bm.pitch) + x];
                g.fill[(y + static_cast<unsigned>(pad)) * static_cast<size_t>(g.width) + x + static_cast<unsigned>(pad)] = v;
            }
        // The outline: the fill dilated by a disc of radius r with a soft rim of one pixel.
        g.outline = g.fill;
        if (r > 0) {
            for (int y = 0; y < g.height; ++y)
                for (int x = 0; x < g.width; ++x) {
                    const uint8_t v = g.fill[static_cast<size_t>(y * g.width + x)];
                    if (v == 0) continue;
                    for (int dy = -pad; dy <= pad; ++dy)
                        for (int dx = -pad; dx <= pad; ++dx) {
                            const int tx = x + dx, ty = y + dy;
                            if (tx < 0 || ty < 0 || tx >= g.width || ty >= g.height) continue;
                            const double w = std::clamp(r + 0.5 - std::sqrt(dx * dx + dy * dy), 0.0, 1.0);
                            const auto o = static_cast<uint8_t>(std::lround(v * w));
                            uint8_t& t = g.outline[static_cast<size_t>(ty * g.width + tx)];
                            t = std::max(t, o);
                        }
                }
        }
    }
    return glyphs_.emplace(key, std::move(g)).first->second;
}

bool TextRenderer::covers(std::string_view text) const {
    for (std::string_view line : splitLines(text))
        for (const StyledChar& c : styledChars(line))
            if (FT_Get_Char_Index(c.italic ? faces_->italic : faces_->regular, c.ch) == 0) return false;
    return true;
}

IndexPicture TextRenderer::picture(std::string_view text) const {
    struct Placed {
        const Glyph* glyph;
        int x;
    };
    const std::vector<std::string_view> lines = splitLines(text);
    std::vector<std::vector<Placed>> placed(lines.size());
    std::vector<int> lineLeft(lines.size(), 0), lineRight(lines.size(), 0);
    int widest = 0;
    const int steps = style_.subpixel;
    for (size_t i = 0; i < lines.size(); ++i) {
        long pen26 = 0;
        int left = 1 << 30, right = -(1 << 30);
        unsigned previous = 0;
        bool previousItalic = false;
        for (const StyledChar& c : styledChars(lines[i])) {
            if (steps > 1 && previous != 0) {
                const Glyph& probe = glyph(c.ch, c.italic);
                FT_Vector kern{0, 0};
                if (previousItalic == c.italic && probe.index != 0 &&
                    FT_Get_Kerning(c.italic ? faces_->italic : faces_->regular, previous, probe.index,
                                   FT_KERNING_UNFITTED, &kern) == 0)
                    pen26 += kern.x;
            }
            const int pen = static_cast<int>(pen26 >> 6);
            const int fraction = steps > 1 ? static_cast<int>((pen26 & 63) * steps / 64) : 0;
            const Glyph& g = glyph(c.ch, c.italic, fraction);
            if (g.width > 0) {
                placed[i].push_back({&g, pen});
                left = std::min(left, pen + g.left);
                right = std::max(right, pen + g.left + g.width);
            }
            pen26 += steps > 1 ? g.advance26 : 64L * g.advance;
            previous = g.index;
            previousItalic = c.italic;
        }
        if (right < left) left = right = 0;
        lineLeft[i] = left;
        lineRight[i] = right;
        widest = std::max(widest, right - left);
    }

    // Lay the lines out on a canvas large enough for every glyph box, then cut it to the ink.
    const int pad = style_.outlineWidth + 2 + faces_->pitch;
    const int width = widest + 2 * pad;
    const int height = static_cast<int>(lines.size()) * faces_->pitch + 2 * pad;
    std::vector<uint8_t> fill(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    std::vector<uint8_t> outline(fill.size(), 0);
    for (size_t i = 0; i < lines.size(); ++i) {
        const int baseline = pad + faces_->ascender + static_cast<int>(i) * faces_->pitch;
        const int shift = pad + (widest - (lineRight[i] - lineLeft[i])) / 2 - lineLeft[i];
        for (const Placed& p : placed[i]) {
            const Glyph& g = *p.glyph;
            for (int y = 0; y < g.height; ++y)
                for (int x = 0; x < g.width; ++x) {
                    const int cx = shift + p.x + g.left + x, cy = baseline + g.top + y;
                    if (cx < 0 || cy < 0 || cx >= width || cy >= height) continue;
                    const size_t s = static_cast<size_t>(y * g.width + x);
                    const size_t t = static_cast<size_t>(cy) * static_cast<size_t>(width) + static_cast<size_t>(cx);
                    fill[t] = std::max(fill[t], g.fill[s]);
                    outline[t] = std::max(outline[t], g.outline[s]);
                }
        }
    }

    const int L = style_.levels;
    const bool outlined = style_.outlineWidth > 0;
    const int shadow = style_.shadow;
    const auto shadowIndex = static_cast<uint8_t>(outlined ? 2 * L + 1 : L + 1);
    std::vector<uint8_t> index(fill.size(), 0);
    int x0 = width, y0 = height, x1 = -1, y1 = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t t = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
            const uint8_t f = level(fill[t], L), o = level(outline[t], L);
            uint8_t v = 0;
            if (outlined)
                v = f > 0 ? static_cast<uint8_t>(L + f) : o;
            else
                v = f;
            // The shadow: the outlined text's shape moved down and right, under the text.
            if (v == 0 && shadow > 0 && x >= shadow && y >= shadow) {
                const size_t from = t - static_cast<size_t>(shadow) * static_cast<size_t>(width) - static_cast<size_t>(shadow);
                if (level(outlined ? outline[from] : fill[from], L) * 2 > L) v = shadowIndex;
            }
            index[t] = v;
            if (v != 0) {
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
            }
        }
    const uint8_t transparent = transparentIndex();
    if (x1 < 0) return IndexPicture{8, 8, std::vector<uint8_t>(64, transparent)};   // no ink at all
    constexpr int kMargin = 3;
    x0 = std::max(0, x0 - kMargin);
    y0 = std::max(0, y0 - kMargin);
    x1 = std::min(width - 1, x1 + kMargin);
    y1 = std::min(height - 1, y1 + kMargin);
    IndexPicture p{x1 - x0 + 1, y1 - y0 + 1, {}};
    p.pixels.reserve(static_cast<size_t>(p.width) * static_cast<size_t>(p.height));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            p.pixels.push_back(index[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]);
    if (style_.fillFirst) {
        const uint8_t full = fillIndex();
        for (uint8_t& v : p.pixels)
            if (v == 0 || v == full) v = v == 0 ? full : 0;
    }
    return p;
}

RenderedObject noiseObject(const TextRenderer& renderer, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 1;
    auto next = [&](uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % std::max<uint32_t>(n, 1);
    };
    const TextStyle& st = renderer.style();
    const int w = std::max(40, st.videoWidth / 4 + static_cast<int>(next(static_cast<uint32_t>(st.videoWidth / 4))));
    const int h = std::max(20, st.pixelSize * 2 + static_cast<int>(next(static_cast<uint32_t>(st.pixelSize))));
    // Opaque entries of the palette, the transparent one apart.
    std::vector<uint8_t> opaque;
    uint8_t transparent = 0;
    for (const PaletteEntry& e : renderer.palette()) {
        if (e.alpha == 255) opaque.push_back(e.index);
        if (e.alpha == 0) transparent = e.index;
    }
    if (opaque.empty()) opaque.push_back(1);
    IndexPicture p{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * static_cast<size_t>(h), transparent)};
    auto put = [&](int x, int y, uint8_t v) {
        if (x >= 0 && y >= 0 && x < w && y < h) p.pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] = v;
    };
    const uint32_t kind = seed % 3;
    if (kind == 0) {
        // Specks scattered over the picture.
        for (int k = 0; k < w * h / 40; ++k) put(static_cast<int>(next(static_cast<uint32_t>(w))), static_cast<int>(next(static_cast<uint32_t>(h))), opaque[next(static_cast<uint32_t>(opaque.size()))]);
    } else if (kind == 1) {
        // Soft blobs of every colour.
        for (int b = 0; b < 12; ++b) {
            const int cx = static_cast<int>(next(static_cast<uint32_t>(w))), cy = static_cast<int>(next(static_cast<uint32_t>(h)));
            const int r = 3 + static_cast<int>(next(static_cast<uint32_t>(h / 2)));
            const uint8_t v = opaque[next(static_cast<uint32_t>(opaque.size()))];
            for (int y = cy - r; y <= cy + r; ++y)
                for (int x = cx - r; x <= cx + r; ++x)
                    if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) put(x, y, v);
        }
    } else {
        // A framed logo: a thick frame, a disc and diagonal bars.
        const uint8_t v = opaque.back();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool frame = x < 4 || y < 4 || x >= w - 4 || y >= h - 4;
                const int dx = x - w / 4, dy = y - h / 2;
                const bool disc = dx * dx + dy * dy <= (h / 3) * (h / 3);
                const bool bar = x > w / 2 && ((x + y) / 6) % 3 == 0 && y > 8 && y < h - 8;
                if (frame || disc || bar) put(x, y, v);
            }
    }
    RenderedObject o{std::move(p), 0, 0};
    o.x = std::max(0, (st.videoWidth - w) / 2);
    o.y = std::max(0, st.videoHeight / 3);
    return o;
}

RenderedObject TextRenderer::bottom(std::string_view text) const {
    RenderedObject o{picture(text), 0, 0};
    o.x = std::max(0, (style_.videoWidth - o.picture.width) / 2);
    o.y = std::max(0, style_.videoHeight - style_.videoHeight / 18 - o.picture.height);
    return o;
}

RenderedObject TextRenderer::top(std::string_view text) const {
    RenderedObject o{picture(text), 0, 0};
    o.x = std::max(0, (style_.videoWidth - o.picture.width) / 2);
    o.y = style_.videoHeight / 18;
    return o;
}

namespace {

// The first fragment of an object carries 7 bytes more than the 4 every fragment has.
constexpr size_t kFirstFragmentData = 0xFFFF - 11;
constexpr size_t kLaterFragmentData = 0xFFFF - 4;

// Object k goes into window k.
void composition(PgsBuilder& b, uint32_t pts, const TextStyle& style, uint16_t number, uint8_t state,
                 const std::vector<RenderedObject>& objects) {
    std::vector<PgsBuilder::CompObject> placed;
    for (size_t k = 0; k < objects.size(); ++k)
        placed.push_back({static_cast<uint16_t>(k), static_cast<uint8_t>(k), static_cast<uint16_t>(objects[k].x),
                          static_cast<uint16_t>(objects[k].y), false});
    b.pcs(pts, placed, state, number, static_cast<uint16_t>(style.videoWidth), static_cast<uint16_t>(style.videoHeight));
}

std::vector<PgsBuilder::Window> windowsOf(const std::vector<RenderedObject>& objects) {
    std::vector<PgsBuilder::Window> w;
    for (size_t k = 0; k < objects.size(); ++k)
        w.push_back({static_cast<uint8_t>(k), static_cast<uint16_t>(objects[k].x), static_cast<uint16_t>(objects[k].y),
                     static_cast<uint16_t>(objects[k].picture.width), static_cast<uint16_t>(objects[k].picture.height)});
    return w;
}

}  // namespace

Bytes textStream(const TextRenderer& renderer, const std::vector<SubtitleText>& subs) {
    std::vector<PgsBuilder::Entry> entries;
    for (const PaletteEntry& e : renderer.palette()) {
        // Disc authoring tools code HD palettes with BT.709 and SD ones with BT.601.
        const YCrCb c = RGBToYCrCb(e.color.r | (e.color.g << 8) | (e.color.b << 16),
                                   matrixFor(renderer.style().videoHeight));
        entries.push_back({e.index, e.alpha == 0 ? uint8_t{16} : c.y, e.alpha == 0 ? uint8_t{128} : c.cr,
                           e.alpha == 0 ? uint8_t{128} : c.cb, e.alpha});
    }
    PgsBuilder b;
    uint16_t number = 0;
    std::map<std::string, RenderedObject> rendered;   // texts repeat in long streams
    auto object = [&](const std::string& text, bool atTop) {
        const std::string key = (atTop ? "T" : "B") + text;
        auto it = rendered.find(key);
        if (it == rendered.end())
            it = rendered.emplace(key, atTop ? renderer.top(text) : renderer.bottom(text)).first;
        return it->second;
    };
    for (size_t i = 0; i < subs.size(); ++i) {
        const uint32_t start = 90000u * static_cast<uint32_t>(3 * i + 1);
        const uint32_t end = start + 180000u;
        std::vector<RenderedObject> objects;
        if (subs[i].noise != 0) {
            objects.push_back(noiseObject(renderer, subs[i].noise));
        } else {
            if (!subs[i].top.empty()) objects.push_back(object(subs[i].top, true));
            objects.push_back(object(subs[i].bottom, false));
        }

        composition(b, start, renderer.style(), number++, 0x80, objects);
        b.wds(start, windowsOf(objects));
        b.pds(start, entries);
        for (size_t k = 0; k < objects.size(); ++k) {
            const IndexPicture& pic = objects[k].picture;
            const Bytes rle = bluRayRle(pic);
            size_t at = 0;
            do {
                const bool first = at == 0;
                const size_t n = std::min(rle.size() - at, first ? kFirstFragmentData : kLaterFragmentData);
                const Bytes part(rle.begin() + static_cast<std::ptrdiff_t>(at), rle.begin() + static_cast<std::ptrdiff_t>(at + n));
                at += n;
                b.ods(start, static_cast<uint16_t>(k), first, at == rle.size(), part, static_cast<uint16_t>(pic.width),
                      static_cast<uint16_t>(pic.height), static_cast<uint32_t>(rle.size() + 4));
            } while (at < rle.size());
        }
        b.end(start);

        composition(b, end, renderer.style(), number++, 0x00, {});
        b.wds(end, windowsOf(objects));
        b.end(end);
    }
    return b.bytes();
}

Bytes textStream(const TextRenderer& renderer, const std::vector<std::string>& texts) {
    std::vector<SubtitleText> subs;
    subs.reserve(texts.size());
    for (const std::string& t : texts) subs.push_back({t, {}});
    return textStream(renderer, subs);
}

std::string withoutTags(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, 3, "<i>") == 0)
            i += 3;
        else if (text.compare(i, 4, "</i>") == 0)
            i += 4;
        else
            out += text[i++];
    }
    return out;
}

double charAccuracy(std::string_view expectedText, std::string_view actualText) {
    const std::u32string expected = toChars(expectedText), actual = toChars(actualText);
    if (expected.empty()) return actual.empty() ? 1.0 : 0.0;
    std::vector<size_t> row(actual.size() + 1), next(actual.size() + 1);
    for (size_t j = 0; j <= actual.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= expected.size(); ++i) {
        next[0] = i;
        for (size_t j = 1; j <= actual.size(); ++j)
            next[j] = std::min({row[j] + 1, next[j - 1] + 1, row[j - 1] + (expected[i - 1] == actual[j - 1] ? 0 : 1)});
        std::swap(row, next);
    }
    const double distance = static_cast<double>(row[actual.size()]);
    return std::max(0.0, 1.0 - distance / static_cast<double>(expected.size()));
}

double charAccuracyWithoutTags(std::string_view expected, std::string_view actual) {
    return charAccuracy(withoutTags(expected), withoutTags(actual));
}

}  // namespace vantrel::testing
