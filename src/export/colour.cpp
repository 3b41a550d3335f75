// Palette colours as the writers store them: Y, Cr, Cb under the video's matrix.
#include <algorithm>

#include "export/writers.h"

namespace vantrel {
namespace {

// Rounded division by 1000 that also rounds negative sums to the nearest.
int round1000(int v) { return v >= 0 ? (v + 500) / 1000 : -((-v + 500) / 1000); }
uint8_t clampByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

YCrCb RGBToYCrCb(uint32_t color, ColorMatrix matrix) {
    const int r = static_cast<int>(color & 0xFF);
    const int g = static_cast<int>((color >> 8) & 0xFF);
    const int b = static_cast<int>((color >> 16) & 0xFF);
    if (matrix == ColorMatrix::BT709)
        return {clampByte(round1000(183 * r + 614 * g + 62 * b) + 16),
                clampByte(round1000(439 * r - 399 * g - 40 * b) + 128),
                clampByte(round1000(-101 * r - 338 * g + 439 * b) + 128)};
    return {static_cast<uint8_t>((257 * r + 504 * g + 98 * b + 500) / 1000 + 16),
            static_cast<uint8_t>((439 * r - 368 * g - 71 * b + 500) / 1000 + 128),
            static_cast<uint8_t>((-148 * r - 291 * g + 439 * b + 500) / 1000 + 128)};
}

YCrCb paletteEntry(const PaletteState& pal, size_t i, ColorMatrix matrix) {
    if (pal.Alpha[i] == 0) return {16, 128, 128};
    const SourceEntry& e = pal.source[i];
    if (e.defined && pal.sourceMatrix == matrix) return {e.y, e.cr, e.cb};
    return RGBToYCrCb(pal.Palette[i], matrix);
}

}  // namespace vantrel
