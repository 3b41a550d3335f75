// The pictures and palette a subtitle is drawn with: plain data shared by the renderer,
// the OCR, the exporters and the picture writer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/host.h"

namespace vantrel {

inline constexpr int kScreenWidth = 1920;
inline constexpr int kScreenHeight = 1080;

// How Y, Cr, Cb relate to R, G, B: BT.709 for pictures of 720 lines and more, BT.601 below.
enum class ColorMatrix : uint8_t { BT601, BT709 };
inline ColorMatrix matrixFor(int videoHeight) { return videoHeight >= 720 ? ColorMatrix::BT709 : ColorMatrix::BT601; }

// A palette entry as the stream carried it, before conversion to a display colour.
struct SourceEntry {
    uint8_t y = 16, cr = 128, cb = 128;
    bool defined = false;
};

// The current palette and the indexes found while building it.
struct PaletteState {
    std::array<Color, 256> Palette{};
    std::array<uint8_t, 256> Alpha{};
    // The stream's own entries and the matrix they were converted with; a writer that uses
    // the same matrix writes them back unchanged instead of converting the colours twice.
    std::array<SourceEntry, 256> source{};
    ColorMatrix sourceMatrix = ColorMatrix::BT601;
    uint8_t TranspIdx = 0;
    uint8_t BrightIdx = 0;
    uint8_t DarkIdx = 0;
    std::array<uint8_t, 256> GreyMap{};
    uint32_t cutThreshold = 0;
};

// A 24-bit picture; pixels are colour values, row-major.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<Color> pixels;

    void reset(int w, int h, Color fill = 0) {
        width = w;
        height = h;
        pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), fill);
    }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    Color& at(int x, int y) { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
    Color at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// A colour layer with its own 8-bit opacity per pixel.
struct OverlayImage {
    int width = 0;
    int height = 0;
    std::vector<Color> color;
    std::vector<uint8_t> alpha;

    void reset(int w, int h) {
        width = w;
        height = h;
        color.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
        alpha.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// An 8-bit paletted picture with colour and transparency tables.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    std::array<Color, 256> colors{};
    std::array<uint8_t, 256> transparency{};

    void reset(int w, int h, uint8_t fill = 0) {
        width = w;
        height = h;
        pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), fill);
    }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    uint8_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
    uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// The pictures one composition leaves behind. They are allocated on first use, so a
// program state that never draws costs nothing.
struct Pictures {
    RgbImage display;                 // what the viewer shows
    OverlayImage Overlay;             // per-call colour layer
    IndexedImage IndexImage;          // 1920x1080 palette indexes
    std::vector<uint8_t> inkPlane;    // 1920x1080, 1 = ink, relative to the top-left of the slots decoded
    // The background picture as last decoded, with its file's size and modification time:
    // decoded once, and again only when the name or the file changes.
    std::string backgroundName;
    int64_t backgroundSize = -1;
    int64_t backgroundModified = 0;
    int backgroundWidth = 0;
    int backgroundHeight = 0;
    std::vector<uint32_t> backgroundPixels;

    void ensureAllocated() {
        if (display.pixels.empty()) display.reset(kScreenWidth, kScreenHeight);
        if (IndexImage.pixels.empty()) IndexImage.reset(kScreenWidth, kScreenHeight);
        if (inkPlane.empty()) inkPlane.assign(static_cast<size_t>(kScreenWidth) * kScreenHeight, 0);
    }
};

// What the side panel of the viewer shows for the subtitle drawn last; the window copies
// it into its labels, editor and font controls.
struct SidePanel {
    std::string lStartEnd;
    std::string lArea;
    std::string lMaxline;
    std::string lArea2;
    std::vector<std::string> editorLines;   // mSubtext, one entry per editor line
    bool ieSubsEnabled = true;
    bool mSubtextEnabled = true;
    bool rgFontEnabled = false;
    int rgFont = 1;                         // item index: 0 Normal, 1 Auto, 2 Italic
    bool cbLock = false;
    bool bOCREnabled = false;
    int scrollY = 0;                        // vertical scroll position of the picture
    bool forced = false;                    // the subtitle shows even with subtitles off
};

}  // namespace vantrel
