// Painting hand-made glyphs into an ink plane for the OCR tests and benchmark.
#pragma once

#include <cstdint>
#include <vector>

namespace vantrel::testing {

// An inclusive rectangle of pixels, relative to a glyph's top-left corner.
struct Rect {
    int x0, y0, x1, y1;
};

// A 1920x1080 ink plane (1 = ink) with painting helpers. Painting outside the plane is
// dropped. With a slant set, the pixel of logical column x on row y lands on plane column
// x - ((y - slantTop) * mul) div div, the way italic glyphs lean.
struct InkCanvas {
    static constexpr int kWidth = 1920;
    static constexpr int kHeight = 1080;

    std::vector<uint8_t> plane = std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight, 0);
    int slantTop = 0;
    int slantMul = 0;   // 0: upright
    int slantDiv = 19;

    int shift(int y) const { return slantMul == 0 ? 0 : (y - slantTop) * slantMul / slantDiv; }

    void set(int x, int y, uint8_t v = 1) {
        x -= shift(y);
        if (x >= 0 && y >= 0 && x < kWidth && y < kHeight) plane[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] = v;
    }
    // Fills `r` moved to (ox, oy) with v.
    void fill(const Rect& r, int ox, int oy, uint8_t v = 1) {
        for (int y = r.y0; y <= r.y1; ++y)
            for (int x = r.x0; x <= r.x1; ++x) set(ox + x, oy + y, v);
    }
    // Ink rectangles, then holes cleared out of them.
    void glyph(const std::vector<Rect>& ink, const std::vector<Rect>& holes, int ox, int oy) {
        for (const Rect& r : ink) fill(r, ox, oy, 1);
        for (const Rect& r : holes) fill(r, ox, oy, 0);
    }
};

// Shapes the classifier names, as ink rectangles relative to the top-left of their box.
// Heights are those of 1080-line subtitles: 45 rows for tall glyphs, 31 for x-height.
inline std::vector<Rect> barShape() { return {{0, 0, 4, 44}}; }                       // "l"
inline std::vector<Rect> dotShape() { return {{0, 0, 4, 4}}; }                        // "."
inline std::vector<Rect> dashShape() { return {{0, 0, 19, 3}}; }                      // "-"
inline std::vector<Rect> nShape() { return {{0, 0, 22, 5}, {0, 0, 5, 30}, {17, 0, 22, 30}}; }   // "n"
// "j": a stem on the right from the top, a hook along the bottom.
inline std::vector<Rect> jShape() { return {{8, 0, 12, 44}, {0, 40, 12, 44}}; }

}  // namespace vantrel::testing
