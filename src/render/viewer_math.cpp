// Fit, hit test, drag step and double-click placement.
#include "render/viewer_math.h"

#include <algorithm>
#include <cstdint>

namespace vantrel {
namespace {

constexpr int kLastColumn = 1919;
constexpr int kLastRow = 1079;
constexpr int kCentre = 960;

uint16_t toField(int64_t v) { return static_cast<uint16_t>(std::clamp<int64_t>(v, 0, UINT16_MAX)); }

}  // namespace

FitRect FitImage(int W, int H, int boxWidth, int boxHeight, bool keepAspect) {
    const int bw = std::max(0, boxWidth - 2);
    const int bh = std::max(0, boxHeight - 2);
    FitRect r{0, 0, bw, bh};
    if (W > 0 && H > 0) {
        const int64_t w64 = W, h64 = H;
        if (keepAspect) {
            if (bw * h64 < w64 * bh) r.height = static_cast<int>(bw * h64 / w64);
            if (w64 * bh < bw * h64) r.width = static_cast<int>(w64 * bh / h64);
        } else {
            r.width = std::min(W, bw);
            r.height = std::min(H, bh);
        }
    }
    r.top = (bh - r.height) / 2 + 1;
    r.left = (bw - r.width) / 2 + 1;
    return r;
}

int hitTest(const TSUP& sub, int x, int y) {
    auto inside = [x, y](const TSUPObject& o) { return o.x1 < x && x < o.x2 && o.y1 < y && y < o.y2; };
    if (inside(sub.obj[1])) return 2;
    if (inside(sub.obj[0])) return 1;
    return 0;
}

void moveSlot(TSUPObject& slot, int dx, int dy) {
    int64_t ddx = dx, ddy = dy;
    if (slot.x2 + ddx > kLastColumn) ddx = kLastColumn - static_cast<int64_t>(slot.x2);
    if (slot.y2 + ddy > kLastRow) ddy = kLastRow - static_cast<int64_t>(slot.y2);
    if (slot.x1 + ddx < 0) ddx = -static_cast<int64_t>(slot.x1);
    if (slot.y1 + ddy < 0) ddy = -static_cast<int64_t>(slot.y1);
    slot.x1 = toField(slot.x1 + ddx);
    slot.x2 = toField(slot.x2 + ddx);
    slot.y1 = toField(slot.y1 + ddy);
    slot.y2 = toField(slot.y2 + ddy);
}

void centreSlot(TSUPObject& slot, int lastLine) {
    const int64_t w = static_cast<int64_t>(slot.x2) - slot.x1;
    const int64_t h = static_cast<int64_t>(slot.y2) - slot.y1;
    const int64_t x1 = std::max<int64_t>(0, kCentre - w / 2);
    const int64_t y2 = std::clamp<int64_t>(lastLine, 0, UINT16_MAX);
    slot.x1 = toField(x1);
    slot.x2 = toField(x1 + w);
    slot.y2 = toField(y2);
    slot.y1 = toField(y2 - h);
}

std::string areaText(const TSUPObject& s) {
    // Appended piece by piece: GCC 12 warns falsely on `"(" + std::to_string(...)` once optimised.
    return std::string("(").append(std::to_string(s.x1)).append(", ").append(std::to_string(s.y1))
        .append(") - (").append(std::to_string(s.x2)).append(", ").append(std::to_string(s.y2))
        .append(")  ").append(std::to_string(static_cast<int>(s.x2) - s.x1)).append("x")
        .append(std::to_string(static_cast<int>(s.y2) - s.y1));
}

int toPicture(int coordinate, int widgetSize, int pictureSize) {
    if (widgetSize <= 0 || widgetSize == pictureSize) return coordinate;
    return static_cast<int>(static_cast<int64_t>(coordinate) * pictureSize / widgetSize);
}

}  // namespace vantrel
