// The subpicture composer: palette, background, guide lines, palette strip, decoded or
// text-rendered subtitle, the alpha composite and the side panel data.
#include "render/composer.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/image_io.h"
#include "render/decoder.h"
#include "render/palette.h"
#include "text/atlas.h"

namespace vantrel {
namespace {

constexpr Color kViewerBackground = 0x313233;
constexpr Color kGuideLine = 0xFF0000;   // blue
constexpr Color kStripInk = 0xFFFFFF;

// The palette strip: 16 x 16 cells of 10 pixels from (10, 10) on the display picture and
// 170 columns further right on the overlay.
constexpr int kStripOrigin = 10;
constexpr int kStripOverlayShift = 170;
const PixelRect kStripOverlayRect{kStripOrigin + kStripOverlayShift, kStripOrigin,
                                  kStripOrigin + kStripOverlayShift + 159, kStripOrigin + 159};

// Drawing on the display picture, clipped to the part that the picture covers during this
// call (720x576 for DVD-style subtitles, the background picture's size with one).
class Canvas {
public:
    Canvas(RgbImage& img, int width, int height)
        : img_(img), w_(std::min(width, img.width)), h_(std::min(height, img.height)) {}

    void pixel(int x, int y, Color c) {
        if (x >= 0 && y >= 0 && x < w_ && y < h_) img_.at(x, y) = c;
    }
    void hline(int y, int x0, int x1, Color c) {   // columns x0..x1 inclusive
        if (y < 0 || y >= h_) return;
        x0 = std::max(x0, 0);
        x1 = std::min(x1, w_ - 1);
        if (x0 <= x1) std::fill_n(&img_.at(x0, y), x1 - x0 + 1, c);
    }
    void vline(int x, int y0, int y1, Color c) {   // rows y0..y1 inclusive
        if (x < 0 || x >= w_) return;
        for (int y = std::max(y0, 0); y <= std::min(y1, h_ - 1); ++y) img_.at(x, y) = c;
    }

private:
    RgbImage& img_;
    int w_;
    int h_;
};

// Large fills: black through memset, which streams large areas; other colours by copying
// a block of the colour that stays in the cache.
void fillColors(Color* p, size_t n, Color c) {
    if (c == 0) {
        std::memset(p, 0, n * sizeof(Color));
        return;
    }
    constexpr size_t kBlock = 4096;
    const size_t first = std::min(n, kBlock);
    std::fill_n(p, first, c);
    for (size_t done = first; done < n; done += kBlock)
        std::memcpy(p + done, p, std::min(kBlock, n - done) * sizeof(Color));
}

// The display picture: `fill` over width x height at the top-left, black beyond.
void fillDisplay(RgbImage& display, int width, int height, Color fill) {
    const int w = std::clamp(width, 0, display.width);
    const int h = std::clamp(height, 0, display.height);
    if (w == display.width && h == display.height) {
        fillColors(display.pixels.data(), display.pixels.size(), fill);
        return;
    }
    const auto stride = static_cast<size_t>(display.width);
    for (int y = 0; y < h; ++y) {
        Color* row = &display.at(0, y);
        fillColors(row, static_cast<size_t>(w), fill);
        fillColors(row + w, stride - static_cast<size_t>(w), 0);
    }
    if (h < display.height)
        fillColors(&display.at(0, h), stride * static_cast<size_t>(display.height - h), 0);
}

// Largest background picture (either side): four times the screen, so that a 4K still fits
// while a huge file is refused before it is decoded.
constexpr int kMaxBackgroundSide = 4096;

// Decodes the background picture into `pics` unless the same file is there already.
void loadBackground(Pictures& pics, const std::string& name) {
    int64_t size = -1;
    int64_t modified = 0;
    const bool stamped = fileStamp(name, size, modified);
    if (stamped && name == pics.backgroundName && size == pics.backgroundSize && modified == pics.backgroundModified)
        return;
    pics.backgroundName.clear();
    RgbPicture picture = readPicture(name, kMaxBackgroundSide);
    pics.backgroundWidth = picture.width;
    pics.backgroundHeight = picture.height;
    pics.backgroundPixels = std::move(picture.pixels);
    if (stamped) {
        pics.backgroundName = name;
        pics.backgroundSize = size;
        pics.backgroundModified = modified;
    }
}

// Copies the background picture to the top-left; the rest of the display stays black.
void drawBackground(RgbImage& display, const Pictures& pics) {
    const int width = pics.backgroundWidth;
    fillDisplay(display, width, pics.backgroundHeight, 0);
    const int w = std::min(width, display.width);
    const int h = std::min(pics.backgroundHeight, display.height);
    for (int y = 0; y < h; ++y)
        std::copy_n(pics.backgroundPixels.begin() + static_cast<ptrdiff_t>(y) * width, w, &display.at(0, y));
}

// Four lines running 10 pixels past the corners of a rectangle; `right` and `bottom` are
// the columns and rows the lines are drawn on.
void guideLines(Canvas& canvas, int x1, int y1, int right, int bottom, int x2, int y2) {
    canvas.hline(y1, x1 - 10, x2 + 9, kGuideLine);
    canvas.vline(right, y1 - 10, y2 + 9, kGuideLine);
    canvas.hline(bottom, x1 - 10, x2 + 9, kGuideLine);
    canvas.vline(x1, y1 - 10, y2 + 9, kGuideLine);
}

// A square of `size` pixels without its four corner pixels.
template <typename Put>
void roundedSquare(int left, int top, int size, Put put) {
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const bool corner = (x == 0 || x == size - 1) && (y == 0 || y == size - 1);
            if (!corner) put(left + x, top + y);
        }
}

void paletteStrip(Canvas& canvas, OverlayImage& overlay, const PaletteState& pal) {
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) {
            const auto i = static_cast<size_t>(16 * r + c);
            const int left = kStripOrigin + 10 * c;
            const int top = kStripOrigin + 10 * r;
            roundedSquare(left, top, 9, [&](int x, int y) { canvas.pixel(x, y, 0); });
            roundedSquare(left + 1, top + 1, 7, [&](int x, int y) { canvas.pixel(x, y, pal.Palette[i]); });
            auto put = [&](int x, int y, Color color, uint8_t alpha) {
                if (!overlay.contains(x, y)) return;
                const size_t at = static_cast<size_t>(y) * static_cast<size_t>(overlay.width) + static_cast<size_t>(x);
                overlay.color[at] = color;
                overlay.alpha[at] = alpha;
            };
            const int shifted = left + kStripOverlayShift;
            roundedSquare(shifted, top, 9, [&](int x, int y) { put(x, y, 0, 255); });
            roundedSquare(shifted + 1, top + 1, 7, [&](int x, int y) { put(x, y, kStripInk, pal.Alpha[i]); });
        }
    }
}

inline uint32_t div255(uint32_t x) {   // x / 255 rounded, for x <= 255 * 255
    x += 128;
    return (x + (x >> 8)) >> 8;
}

inline Color blendPixel(Color p, Color o, uint32_t a) {
    const uint32_t na = 255 - a;
    Color out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t pc = (p >> shift) & 0xFF;
        const uint32_t oc = (o >> shift) & 0xFF;
        out |= div255(pc * na + oc * a) << shift;
    }
    return out;
}

// Source-over blending of the overlay onto the display picture within `area`; pixels of
// opacity 0 leave the display as it is, so only the painted ones cost anything.
void composite(RgbImage& display, const OverlayImage& overlay, PixelRect area) {
    area.left = std::max(area.left, 0);
    area.top = std::max(area.top, 0);
    area.right = std::min({area.right, overlay.width, display.width});
    area.bottom = std::min({area.bottom, overlay.height, display.height});
    for (int y = area.top; y < area.bottom; ++y) {
        const size_t rowStart = static_cast<size_t>(y) * static_cast<size_t>(overlay.width);
        const uint8_t* alpha = overlay.alpha.data() + rowStart;
        const Color* color = overlay.color.data() + rowStart;
        Color* out = &display.at(0, y);
        int x = area.left;
        while (x < area.right) {
            // Skip transparent stretches eight pixels at a time.
            if (x + 8 <= area.right) {
                uint64_t word;
                std::memcpy(&word, alpha + x, sizeof word);
                if (word == 0) {
                    x += 8;
                    continue;
                }
            }
            const uint32_t a = alpha[x];
            if (a == 255) out[x] = color[x];
            else if (a != 0) out[x] = blendPixel(out[x], color[x], a);
            ++x;
        }
    }
}

std::string areaText(const TSUPObject& o) {
    std::string t = "(";
    t += std::to_string(o.x1);
    t += ", ";
    t += std::to_string(o.y1);
    t += ") - (";
    t += std::to_string(o.x2);
    t += ", ";
    t += std::to_string(o.y2);
    t += ')';
    return t;
}

void ensurePictures(Pictures& pics) {
    pics.ensureAllocated();
    if (pics.display.width != kScreenWidth || pics.display.height != kScreenHeight)
        pics.display.reset(kScreenWidth, kScreenHeight);
    if (pics.IndexImage.width != kScreenWidth || pics.IndexImage.height != kScreenHeight)
        pics.IndexImage.reset(kScreenWidth, kScreenHeight);
    if (pics.inkPlane.size() != static_cast<size_t>(kScreenWidth) * kScreenHeight)
        pics.inkPlane.assign(static_cast<size_t>(kScreenWidth) * kScreenHeight, 0);
}

// A fresh, fully transparent overlay. It stays allocated between calls; the colours under
// opacity 0 never show, so only the opacity plane is cleared.
void clearOverlay(OverlayImage& overlay) {
    if (overlay.width != kScreenWidth || overlay.height != kScreenHeight) overlay.reset(kScreenWidth, kScreenHeight);
    else std::fill(overlay.alpha.begin(), overlay.alpha.end(), uint8_t{0});
}

void noSubtitle(Program& prog) {
    SidePanel& panel = prog.panel;
    panel.lStartEnd.clear();
    panel.forced = false;
    panel.ieSubsEnabled = false;
    panel.mSubtextEnabled = false;
    panel.editorLines.clear();
    panel.rgFontEnabled = false;
    panel.bOCREnabled = false;
}

void fillSidePanel(Context& ctx, const TSUP& s, bool exporting) {
    Program& prog = ctx.prog;
    SidePanel& panel = prog.panel;
    panel.lStartEnd = s.startTime + " - " + s.endTime;
    panel.forced = s.forced != 0;
    panel.ieSubsEnabled = true;
    panel.mSubtextEnabled = true;
    panel.scrollY = s.obj[0].y1 - 10;
    // The font controls change only for a decided font mode.
    if (s.font < kFontUndecided) {
        panel.rgFont = s.font;
        panel.rgFontEnabled = true;
    }
    panel.cbLock = s.locked != 0;
    panel.editorLines = TxtToLines(s.text);
    if (!exporting) {
        const TSUPObject& a = s.obj[0];
        const TSUPObject& b = s.obj[1];
        panel.lArea = areaText(a) + "  " + std::to_string(a.x2 - a.x1) + "x" + std::to_string(a.y2 - a.y1);
        panel.lMaxline = "/ " + std::to_string(prog.controls.udSubsMax);
        panel.lArea2 = b.x2 - b.x1 > 0 ? areaText(b) : std::string();
    }
    if (prog.SubKind != kDvdKind) panel.bOCREnabled = true;
}

// Text subtitles: each editor line set with the glyph atlas, the bottom line last.
PixelRect drawText(Context& ctx, int32_t index, bool exporting) {
    Program& prog = ctx.prog;
    TSUP& s = prog.Subs[static_cast<size_t>(index)];
    prog.italicOn = false;
    if (!exporting) {
        s.obj[0].y1 = 1079;
        s.obj[0].y2 = 0;
    }
    const std::vector<std::string>& lines = prog.panel.editorLines;
    const int count = std::min<int>(s.lineCount, static_cast<int>(lines.size()));
    for (int i = 0; i < count; ++i) {
        const auto lineNo = static_cast<uint8_t>(static_cast<int>(lines.size()) - i);
        DrawLine(ctx, lines[static_cast<size_t>(i)], lineNo, &s.obj[0], true);
    }
    // The renderer writes the overlay wherever its glyph boxes land.
    return PixelRect{0, 0, kScreenWidth, kScreenHeight};
}

}  // namespace

void DrawSub(Context& ctx, int32_t n, const DrawSubView& view) {
    Program& prog = ctx.prog;
    const Options& opt = ctx.opt;
    Pictures& pics = prog.pics;
    const bool exporting = prog.ExportingBD || prog.ExportingHD;
    const bool normal = !exporting && !prog.ocrRunning && !prog.SavingPics;

    ensurePictures(pics);
    if (!exporting) clearOverlay(pics.Overlay);
    else if (pics.Overlay.width != kScreenWidth || pics.Overlay.height != kScreenHeight)
        pics.Overlay.reset(kScreenWidth, kScreenHeight);
    pics.IndexImage.transparency.fill(0);

    const bool known = n >= 1 && static_cast<size_t>(n) <= prog.Subs.size();
    prog.CurSub = known || (n < 1 && n > INT32_MIN) ? n - 1 : -1;
    if (!known) {
        noSubtitle(prog);
        if (!exporting) fillDisplay(pics.display, kScreenWidth, kScreenHeight, 0);
        if (prog.SavingPics && view.savePictures) view.savePictures(ctx, n);
        return;
    }
    const int32_t index = n - 1;

    PictureSize size;
    setpal(ctx, index, &size);
    const PaletteState& pal = prog.pal;
    const uint8_t background = (!exporting && opt.cbOCR) ? pal.DarkIdx : pal.TranspIdx;
    std::fill(pics.IndexImage.pixels.begin(), pics.IndexImage.pixels.end(), background);

    const TSUP& s = prog.Subs[static_cast<size_t>(index)];
    const int slotNo = s.obj[0].partLen[0] == 0 ? 1 : 0;
    PixelData data;
    if (prog.SubKind != kSrtKind && s.obj[static_cast<size_t>(slotNo)].partLen[0] != 0)
        loadSlot(prog.streamFile, s.obj[static_cast<size_t>(slotNo)], data);

    pics.IndexImage.colors = pal.Palette;
    pics.IndexImage.transparency = pal.Alpha;
    std::fill(pics.inkPlane.begin(), pics.inkPlane.end(), uint8_t{0});
    fillSidePanel(ctx, s, exporting);

    PixelRect blendArea;
    if (!exporting) {
        RgbImage& display = pics.display;
        // Until the first composite the display picture has the size the palette or the
        // background picture gave it; what lies beyond is black afterwards.
        int width = size.width;
        int height = size.height;
        if (normal && opt.cbBack) {
            try {
                loadBackground(pics, opt.eBackground);
            } catch (...) {
                fillDisplay(display, kScreenWidth, kScreenHeight, 0);
                throw;
            }
            drawBackground(display, pics);
            width = pics.backgroundWidth;
            height = pics.backgroundHeight;
        } else {
            fillDisplay(display, width, height, normal ? kViewerBackground : 0);
        }
        Canvas canvas(display, width, height);
        if (normal && opt.cbBorders && view.cbFull && prog.SubKind != kSrtKind) {
            for (size_t k = 0; k < kSlots; ++k) {
                const TSUPObject& o = s.obj[k];
                if (k == 1 && o.x2 - o.x1 <= 0) continue;
                guideLines(canvas, o.x1, o.y1, o.x2 - 1, o.y2 - 1, o.x2, o.y2);
            }
        }
        if (normal && opt.cbPalette) {
            paletteStrip(canvas, pics.Overlay, pal);
            composite(display, pics.Overlay, kStripOverlayRect);
            blendArea = kStripOverlayRect;
        }
    }

    if (prog.SubKind == kSrtKind) {
        blendArea.add(drawText(ctx, index, exporting));
        const TSUPObject& o = prog.Subs[static_cast<size_t>(index)].obj[0];
        if (normal && opt.cbBorders && view.cbFull) {
            Canvas canvas(pics.display, kScreenWidth, kScreenHeight);
            guideLines(canvas, o.x1, o.y1, o.x2, o.y2, o.x2, o.y2);
        }
    } else {
        blendArea.add(decodeSubtitle(ctx, index, slotNo, data));
    }

    if (!exporting) composite(pics.display, pics.Overlay, blendArea);
    if (prog.SavingPics && view.savePictures) view.savePictures(ctx, n);
}

}  // namespace vantrel
