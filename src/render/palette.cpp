// The palette builder for the four kinds of subtitle and the colour conversions.
#include "render/palette.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/files.h"

namespace vantrel {
namespace {

int channelSum(Color c) { return static_cast<int>((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF)); }

// Finds the background, brightest and darkest indexes while a palette is filled in.
struct Tracker {
    int minAlpha = 4095;
    int maxSum = 0;
    int minSum = 4095;

    void update(PaletteState& pal, uint8_t k) {
        const int alpha = pal.Alpha[k];
        const int sum = channelSum(pal.Palette[k]);
        if (alpha < minAlpha) {
            minAlpha = alpha;
            pal.TranspIdx = k;
        }
        // Strict comparisons: the first of equal entries wins, and opaque black is never bright.
        if (alpha == 255 && sum > maxSum) {
            maxSum = sum;
            pal.BrightIdx = k;
        }
        if (alpha == 255 && sum < minSum) {
            minSum = sum;
            pal.DarkIdx = k;
        }
    }
};

// Reads `count` bytes at `offset`, or throws "Stream read error" without allocating when
// the file is too short.
std::vector<uint8_t> readAt(InputFile& f, int64_t offset, int64_t count) {
    if (offset < 0 || count < 0 || offset > f.size() || count > f.size() - offset) throw streamReadError();
    f.seek(offset);
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    f.readExact(bytes.data(), bytes.size());
    return bytes;
}

// HD DVD: 256 (Y, Cr, Cb) triples and 256 contrast bytes inside the control area, which
// begins right after the pixel data.
void hdDvdPalette(InputFile& f, const TSUP& s, PaletteState& pal) {
    const TSUPObject& slot = s.obj[0];
    const int64_t area = slot.partPos[0] + slot.partLen[0];
    const std::vector<uint8_t> colors = readAt(f, area + s.ctrlPalOffset, 768);
    const std::vector<uint8_t> contrast = readAt(f, area + s.ctrlAlphaOffset, 256);
    Tracker t;
    // HD DVD pictures are 1080 lines high.
    pal.sourceMatrix = ColorMatrix::BT709;
    for (size_t i = 0; i < 256; ++i) {
        pal.source[i] = {colors[3 * i], colors[3 * i + 1], colors[3 * i + 2], true};
        pal.Palette[i] = YCrCbToRGB(colors[3 * i], colors[3 * i + 1], colors[3 * i + 2], pal.sourceMatrix);
        pal.Alpha[i] = static_cast<uint8_t>(255 - contrast[i]);
        t.update(pal, static_cast<uint8_t>(i));
    }
}

// Blu-ray: palCount 5-byte entries (index, Y, Cr, Cb, alpha) at palPos, applied over the
// earlier versions of the palette that the segment updates (palPrev), oldest first. Every
// entry names its index with one byte, so a count above 256 (a malformed segment) only
// repeats indexes. Indexes no version defines are transparent, as players show them:
// streams paint their background with such an index.
void bluRayPalette(InputFile& f, const TSUP& s, const std::vector<PaletteLink>& links, PaletteState& pal,
                   ColorMatrix matrix) {
    pal.Palette.fill(0);
    pal.Alpha.fill(0);
    pal.source.fill({});
    pal.sourceMatrix = matrix;
    std::vector<PaletteLink> versions = {{s.palPos, s.palCount, s.palPrev}};
    for (int32_t k = s.palPrev; k >= 0 && static_cast<size_t>(k) < links.size() &&
                                versions.size() < static_cast<size_t>(kMaxPaletteLinks);
         k = links[static_cast<size_t>(k)].prev)
        versions.push_back(links[static_cast<size_t>(k)]);
    Tracker t;
    for (auto v = versions.rbegin(); v != versions.rend(); ++v) {
        const int64_t count = std::max<int32_t>(v->count, 0);
        const std::vector<uint8_t> entries = readAt(f, v->pos, count * 5);
        for (size_t e = 0; e + 5 <= entries.size(); e += 5) {
            const uint8_t index = entries[e];
            pal.Alpha[index] = entries[e + 4];
            pal.Palette[index] = YCrCbToRGB(entries[e + 1], entries[e + 2], entries[e + 3], matrix);
            pal.source[index] = {entries[e + 1], entries[e + 2], entries[e + 3], true};
            if (versions.size() == 1) t.update(pal, index);
        }
    }
    // Entries of earlier versions may have been redefined: find the special indexes in the
    // merged palette.
    if (versions.size() > 1)
        for (size_t k = 0; k < 256; ++k)
            if (pal.source[k].defined) t.update(pal, static_cast<uint8_t>(k));
    // Streams may leave their transparent colour out of the segment and use an unlisted
    // (transparent) index for it. The background index must not then be an opaque listed
    // entry, or every picture made from IndexImage would get an opaque background.
    const auto least = std::min_element(pal.Alpha.begin(), pal.Alpha.end());
    if (*least < pal.Alpha[pal.TranspIdx]) pal.TranspIdx = static_cast<uint8_t>(least - pal.Alpha.begin());
}

void dvdPalette(PaletteState& pal) {
    pal.source.fill({});
    static constexpr Color colors[4] = {0x000000, 0xFFFFFF, 0x000000, 0xCCCCCC};
    static constexpr uint8_t alphas[4] = {0, 255, 255, 255};
    for (size_t i = 0; i < 4; ++i) {
        pal.Palette[i] = colors[i];
        pal.Alpha[i] = alphas[i];
    }
    pal.BrightIdx = 1;
    // Background and dark ink of the fixed table; indexes left from an earlier table could
    // point at entries this table does not define.
    pal.TranspIdx = 0;
    pal.DarkIdx = 2;
}

// Text subtitles: a 17-step grey ramp at indexes 2..18 that the glyph atlas values map to.
void textPalette(PaletteState& pal, int maxColor) {
    pal.source.fill({});
    pal.Palette.fill(0);
    pal.GreyMap.fill(1);
    pal.Alpha.fill(0);
    const int m = std::clamp(maxColor, 0, 255);
    auto grey = [](int v) { return static_cast<Color>(std::clamp(v, 0, 255)) * 0x010101u; };
    for (int i = 0; i <= 16; ++i) {
        const int level = i * m / 255;
        const auto k = static_cast<size_t>(2 + i);
        if (i < 8) {
            pal.Palette[k] = grey(16 * level);
            pal.Alpha[k] = static_cast<uint8_t>(154 + 10 * i);
            pal.GreyMap[static_cast<size_t>(16 * i)] = static_cast<uint8_t>(k);
        } else {
            // One below 16 * level so that the top step is 255, not 256; a dark setting
            // whose level is 0 stays black instead of wrapping around.
            pal.Palette[k] = grey(16 * level - 1);
            pal.Alpha[k] = static_cast<uint8_t>(223 + 4 * (i - 8));
            pal.GreyMap[static_cast<size_t>(16 * i - 1)] = static_cast<uint8_t>(k);
        }
    }
    pal.TranspIdx = 1;
    pal.Alpha[0] = 255;
    pal.Palette[1] = 0x0000FF;
    pal.Palette[19] = 0;
    pal.Alpha[19] = 255;
    pal.BrightIdx = 18;
    pal.DarkIdx = 19;
}

}  // namespace

Color YCrCbToRGB(uint8_t Y, uint8_t Cr, uint8_t Cb, ColorMatrix matrix) {
    const int d = 1164 * (Y - 16);
    const int cr = Cr - 128;
    const int cb = Cb - 128;
    const bool hd = matrix == ColorMatrix::BT709;
    const int r = std::clamp((d + (hd ? 1793 : 1596) * cr + 500) / 1000, 0, 255);
    const int g = std::clamp((d - (hd ? 533 : 813) * cr - (hd ? 213 : 391) * cb + 500) / 1000, 0, 255);
    const int b = std::clamp((d + (hd ? 2112 : 2018) * cb + 500) / 1000, 0, 255);
    return static_cast<Color>(r) | (static_cast<Color>(g) << 8) | (static_cast<Color>(b) << 16);
}

uint32_t cutThresholdFor(int level) {
    const auto l = static_cast<uint32_t>(std::clamp(level, 0, 255));
    return l + 256 * l + 65536 * l;
}

void setpal(Context& ctx, int32_t index, PictureSize* size) {
    Program& prog = ctx.prog;
    if (index < 0 || static_cast<size_t>(index) >= prog.Subs.size()) return;
    const TSUP& s = prog.Subs[static_cast<size_t>(index)];
    PaletteState& pal = prog.pal;

    std::optional<InputFile> file;
    if (prog.SubKind != kSrtKind) {
        file.emplace(prog.streamFile);
        // Every job draws through here: a stream replaced or changed since it was loaded
        // would give another stream's pictures under this table's times.
        if (prog.streamSize >= 0 && (file->size() != prog.streamSize || file->modified() != prog.streamModified))
            throw PlatformError("The stream file \"" + prog.streamFile +
                                "\" has changed since it was loaded. Load it again.");
    }
    pal.cutThreshold = cutThresholdFor(ctx.opt.ieCutLevel);

    switch (prog.SubKind) {
        case kHdDvdKind:
            hdDvdPalette(*file, s, pal);
            if (size) *size = PictureSize{};
            break;
        case kBluRayKind:
            // Without a palette of its own the subtitle keeps the one drawn before it.
            if (s.palPos != 0) {
                bluRayPalette(*file, s, prog.palLinks, pal, matrixFor(sourceVideo(prog).height));
                if (size) *size = PictureSize{};
            }
            break;
        case kDvdKind:
            dvdPalette(pal);
            if (size) *size = kDvdPictureSize;
            break;
        case kSrtKind: textPalette(pal, ctx.opt.ieMaxColor); break;
        default: break;
    }

    if (!prog.ExportingBD && !prog.ExportingHD && ctx.opt.cbOCR) pal.Alpha.fill(255);
}

uint8_t NearestColor(const PaletteState& pal, int32_t R, int32_t G, int32_t B) {
    int best = 1024;
    uint8_t found = 0;
    for (int i = 0; i < 256; ++i) {
        const Color c = pal.Palette[static_cast<size_t>(i)];
        const int d = std::abs(R - static_cast<int>(c & 0xFF)) + std::abs(G - static_cast<int>((c >> 8) & 0xFF)) +
                      std::abs(B - static_cast<int>((c >> 16) & 0xFF));
        if (d < best) {
            best = d;
            found = static_cast<uint8_t>(i);
        }
    }
    return found;
}

}  // namespace vantrel
