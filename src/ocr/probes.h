// The four probes the glyph classifier measures a glyph box with, and the read-only view
// of the ink plane they walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel {

// Inclusive range test lo <= x <= hi, the form every classifier rule is written in.
constexpr bool inRange(int64_t x, int64_t lo, int64_t hi) { return lo <= x && x <= hi; }

// Read-only view of an ink plane: 1920 columns, row-major, one byte per pixel, non-zero =
// ink. Row 0 and column 0 are the top-left corner of the decoded subtitle rectangle.
// Every position outside the plane reads as background: columns outside 0..1919, rows
// outside 0..1079, and rows past the end of a buffer shorter than 1920x1080 bytes.
class InkPlaneView {
public:
    static constexpr int32_t kWidth = 1920;
    static constexpr int32_t kHeight = 1080;

    // Implicit, so the plane kept in the program's pictures can be passed as it is.
    InkPlaneView(const std::vector<uint8_t>& plane) : InkPlaneView(plane.data(), plane.size()) {}
    InkPlaneView(const uint8_t* data, size_t size)
        : data_(data),
          rows_(data == nullptr ? 0 : static_cast<int32_t>(size / kWidth < kHeight ? size / kWidth : kHeight)) {}

    // Number of complete rows the buffer holds (at most 1080).
    int32_t rows() const { return rows_; }

    bool ink(int64_t x, int64_t y) const {
        return x >= 0 && x < kWidth && y >= 0 && y < rows_ &&
               data_[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] != 0;
    }

private:
    const uint8_t* data_;
    int32_t rows_;
};

// One glyph box as the segmentation cut it, with the line geometry its pixels are read in.
struct GlyphQuery {
    int32_t left = 0;        // first column of the box, inclusive (a logical column when italic)
    int32_t right = 0;       // last column, inclusive
    int32_t top = 0;         // first plane row, inclusive
    int32_t bottom = 0;      // last plane row, inclusive
    bool italic = false;     // slanted geometry (the slot's italic flag is 2)
    int32_t lineTop = 0;     // first ink row of the glyph's line
    int32_t lineBottom = 0;  // first empty row after the glyph's line
    int32_t skewMul = 4;     // slant numerator (ieMUL); values below 1 count as 1
    int32_t skewDiv = 19;    // slant denominator (ieDIV); values below 1 count as 1
};

enum class Target : uint8_t { Background = 0, Ink = 1 };

// The probes over one glyph box. Each walks one column or row of the box and returns how
// far it went to meet the first pixel equal to the target, or -1 when it met none (also
// for an empty range). Offsets are not clipped to the box: an offset outside it probes
// that column or row. In slanted geometry the pixel of logical column x in plane row r is
// read at plane column x - slant(r).
class GlyphProbes {
public:
    GlyphProbes(InkPlaneView plane, const GlyphQuery& box);

    // Column left + dx, rows top downwards to bottom; returns r - top.
    int64_t fromTop(int64_t dx, Target v) const;
    // Column left + dx, rows bottom upwards to top; returns bottom - r.
    int64_t fromBottom(int64_t dx, Target v) const;
    // Row top + dy, columns left to right; returns x - left.
    int64_t fromLeft(int64_t dy, Target v) const;
    // Row top + dy, columns right to left; returns right - x.
    int64_t fromRight(int64_t dy, Target v) const;

    // ((r - lineTop) * skewMul) div skewDiv in slanted geometry, truncated toward zero; 0 upright.
    int64_t slant(int64_t row) const;

private:
    InkPlaneView plane_;
    GlyphQuery box_;
};

}  // namespace vantrel
