// The four glyph probes over the ink plane.
#include "ocr/probes.h"

#include <algorithm>

namespace vantrel {

namespace {

// Walks positions 0..count-1 of one probe line and returns the first position whose pixel
// equals want, or -1. Only positions in [onLo, onHi] lie on the plane; every other position
// is background, so the walk never leaves the plane and never runs longer than a plane
// row or column, whatever the box coordinates are.
template <typename ReadInk>
int64_t walk(int64_t count, int64_t onLo, int64_t onHi, Target want, ReadInk readInk) {
    if (count <= 0) return -1;
    const int64_t lo = std::max<int64_t>(onLo, 0);
    const int64_t hi = std::min<int64_t>(onHi, count - 1);
    if (want == Target::Ink) {
        for (int64_t i = lo; i <= hi; ++i)
            if (readInk(i)) return i;
        return -1;
    }
    if (lo != 0 || hi < 0) return 0;   // the first position is off the plane
    for (int64_t i = 0; i <= hi; ++i)
        if (!readInk(i)) return i;
    return hi + 1 < count ? hi + 1 : -1;
}

}  // namespace

GlyphProbes::GlyphProbes(InkPlaneView plane, const GlyphQuery& box) : plane_(plane), box_(box) {
    box_.skewMul = std::max(box_.skewMul, 1);
    box_.skewDiv = std::max(box_.skewDiv, 1);
}

int64_t GlyphProbes::slant(int64_t row) const {
    if (!box_.italic) return 0;
    return (row - box_.lineTop) * box_.skewMul / box_.skewDiv;
}

int64_t GlyphProbes::fromTop(int64_t dx, Target v) const {
    const int64_t x = int64_t{box_.left} + dx;
    const int64_t top = box_.top;
    return walk(int64_t{box_.bottom} - top + 1, -top, plane_.rows() - 1 - top, v, [&](int64_t i) {
        const int64_t r = top + i;
        return plane_.ink(x - slant(r), r);
    });
}

int64_t GlyphProbes::fromBottom(int64_t dx, Target v) const {
    const int64_t x = int64_t{box_.left} + dx;
    const int64_t bottom = box_.bottom;
    return walk(bottom - box_.top + 1, bottom - (plane_.rows() - 1), bottom, v, [&](int64_t i) {
        const int64_t r = bottom - i;
        return plane_.ink(x - slant(r), r);
    });
}

int64_t GlyphProbes::fromLeft(int64_t dy, Target v) const {
    const int64_t y = int64_t{box_.top} + dy;
    const int64_t left = box_.left;
    const int64_t count = int64_t{box_.right} - left + 1;
    if (y < 0 || y >= plane_.rows()) return walk(count, 1, 0, v, [](int64_t) { return false; });
    const int64_t s = slant(y);
    return walk(count, s - left, s + (InkPlaneView::kWidth - 1) - left, v,
                [&](int64_t i) { return plane_.ink(left + i - s, y); });
}

int64_t GlyphProbes::fromRight(int64_t dy, Target v) const {
    const int64_t y = int64_t{box_.top} + dy;
    const int64_t right = box_.right;
    const int64_t count = right - box_.left + 1;
    if (y < 0 || y >= plane_.rows()) return walk(count, 1, 0, v, [](int64_t) { return false; });
    const int64_t s = slant(y);
    return walk(count, right - s - (InkPlaneView::kWidth - 1), right - s, v,
                [&](int64_t i) { return plane_.ink(right - i - s, y); });
}

}  // namespace vantrel
