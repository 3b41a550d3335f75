// The diagnostic overlay of the OCR: line separators with their rows and heights, and a
// frame around every glyph slot, drawn onto the display picture.
#include "ocr/ocr.h"

#include <algorithm>
#include <array>
#include <string>

namespace vantrel {
namespace {

// Digits and the minus sign, 5 columns by 7 rows, one bit per pixel, leftmost in bit 4.
constexpr std::array<std::array<uint8_t, 7>, 11> kDigitFont = {{
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},   // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},   // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},   // 2
    {0x1E, 0x01, 0x01, 0x0E, 0x01, 0x01, 0x1E},   // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},   // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},   // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},   // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},   // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},   // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},   // 9
    {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00},   // -
}};

class Pen {
public:
    explicit Pen(RgbImage& img) : img_(img) {}

    void pixel(int64_t x, int64_t y, Color c) {
        if (x >= 0 && y >= 0 && x < img_.width && y < img_.height)
            img_.at(static_cast<int>(x), static_cast<int>(y)) = c;
    }
    // Columns x0 .. x1 - 1 of row y.
    void hline(int64_t y, int64_t x0, int64_t x1, Color c) {
        if (y < 0 || y >= img_.height) return;
        for (int64_t x = std::max<int64_t>(x0, 0), end = std::min<int64_t>(x1, img_.width); x < end; ++x)
            img_.at(static_cast<int>(x), static_cast<int>(y)) = c;
    }
    // A number with its top-left corner at (x, y).
    void number(int64_t x, int64_t y, int64_t value, Color c) {
        for (char ch : std::to_string(value)) {
            const auto& glyph = kDigitFont[ch == '-' ? 10 : static_cast<std::size_t>(ch - '0')];
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (glyph[static_cast<std::size_t>(row)] & (0x10 >> col)) pixel(x + col, y + row, c);
            x += 6;
        }
    }

private:
    RgbImage& img_;
};

}  // namespace

void drawOcrOverlay(RgbImage& display, const Segmentation& seg, int32_t x1, int32_t y1, int32_t width,
                    const OcrSettings& settings, bool frames) {
    if (display.pixels.empty()) return;
    Pen pen(display);
    const int64_t left = x1, right = int64_t{x1} + width;
    for (const LineBand& l : seg.lines) {
        const int64_t top = int64_t{y1} + l.lineTop;
        pen.hline(top - 1, left, right, kOverlayGrey);
        pen.number(left - 30, top - 8, top, kOverlayGrey);
        if (l.lineBottom != 0) {
            const int64_t bottom = int64_t{y1} + l.lineBottom;
            pen.hline(bottom, left, right, kOverlayGrey);
            pen.number(left - 30, bottom - 28, int64_t{l.lineBottom} - l.lineTop, kOverlayGrey);
        }
    }
    if (!frames) return;
    const int64_t mul = std::max(settings.skewMul, 1), div = std::max(settings.skewDiv, 1);
    for (const LineBand& l : seg.lines) {
        for (std::size_t g = 1; g < l.slots.size(); ++g) {
            const GlyphBox& b = l.slots[g];
            const Color c = b.ch == 0 ? kFrameUnknown : (b.italic == 2 ? kFrameItalic : kFrameUpright);
            auto shift = [&](int64_t r) { return b.italic == 2 ? (r - l.lineTop) * mul / div : 0; };
            const int64_t top = int64_t{b.top} - 1, bottom = int64_t{b.bottom} + 1;
            const int64_t fl = int64_t{b.left} - 1, fr = int64_t{b.right} + 1;
            // Rows are bounded by the plane, so a degenerate box costs little.
            for (int64_t r = std::max<int64_t>(top, -1); r <= std::min<int64_t>(bottom, InkPlaneView::kHeight); ++r) {
                const int64_t s = shift(r);
                pen.pixel(x1 + fl - s, y1 + r, c);
                pen.pixel(x1 + fr - s, y1 + r, c);
            }
            pen.hline(y1 + top, x1 + fl - shift(top), x1 + fr - shift(top) + 1, c);
            pen.hline(y1 + bottom, x1 + fl - shift(bottom), x1 + fr - shift(bottom) + 1, c);
        }
    }
}

}  // namespace vantrel
