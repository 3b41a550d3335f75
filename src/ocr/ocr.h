// Glyph segmentation and text building: one subtitle's ink plane to text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/context.h"
#include "ocr/probes.h"

namespace vantrel {

// "·" (U+00B7 in UTF-8), the mark of a glyph no rule could name.
inline constexpr std::string_view kUnknownMark = "\xC2\xB7";
// How many unknown-glyph marks a text holds.
int64_t countUnknownMarks(std::string_view text);

// One glyph slot of a text line.
struct GlyphBox {
    int32_t left = 0;     // inclusive columns; logical columns for a slanted glyph
    int32_t right = 0;
    int32_t top = 0;      // inclusive plane rows
    int32_t bottom = 0;
    uint8_t italic = 0;   // 2 = slanted, 0 = upright
    uint16_t ch = 0;      // character code; 0 = not recognised, 32 = space
};

// One text line of the bitmap with its slots. slots[0] is a sentinel (right 0, ch 0), so the
// slots proper are numbered from 1. The table grows as needed: a bitmap may hold any number
// of lines and a line any number of slots.
struct LineBand {
    int32_t lineTop = 0;      // first plane row with ink
    int32_t lineBottom = 0;   // first empty row after the line; 0 while the line is still open
    std::vector<GlyphBox> slots = std::vector<GlyphBox>(1);

    int32_t count() const { return static_cast<int32_t>(slots.size()) - 1; }
};

// The option values one OCR call reads.
struct OcrSettings {
    int32_t spaceWidth = 20;    // ieSpaceWidth: gap that makes a space
    int32_t spaceWidthJ = 10;   // ieSpaceWmin: gap that makes a space before an overhanging pair
    int32_t skewMul = 4;        // ieMUL, at least 1
    int32_t skewDiv = 19;       // ieDIV, at least 1
    bool tags = false;          // cbTags: "<i>" and "</i>" around slanted words

    static OcrSettings from(const Options& opt);
};

// The lines and slots of one bitmap, with the number of glyphs cut in each geometry
// (spaces not counted; glyphs of attempts that were retried are counted too).
struct Segmentation {
    std::vector<LineBand> lines;
    int32_t italicGlyphs = 0;
    int32_t uprightGlyphs = 0;

    int32_t slotCount() const;   // all slots of all lines, spaces and second letters included
};

// Finds the text lines in the width x height rectangle at the plane's origin, cuts them into
// glyph slots (upright, slanted, or chosen per word for `font` 1 and 4), names every slot
// with the classifier and inserts the spaces. Positions outside the plane read background.
Segmentation segment(InkPlaneView plane, int32_t width, int32_t height, uint8_t font, const OcrSettings& settings);

// The text of the slots: lines joined by "|", kUnknownMark for unrecognised slots, italic
// tags at word boundaries when `tags` is set. `allKnown` turns false when a slot was not
// recognised.
std::string buildText(const Segmentation& seg, bool tags, bool& allKnown);

// Capital I read as "l": at the start before a capital, between two capitals, at the end
// after a capital.
void fixCapitalI(std::string& text);

// The font mode a record in mode 4 (not yet decided) takes after its first OCR: 2 when no
// upright glyph was cut, 0 when no italic one was, else 1. Other modes stay.
FontMode resolveFont(FontMode font, const Segmentation& seg);

// Colours of the diagnostic overlay.
inline constexpr Color kOverlayGrey = 0x333333;
inline constexpr Color kFrameUnknown = 0x00FFFF;   // yellow
inline constexpr Color kFrameItalic = 0x0000FF;    // red
inline constexpr Color kFrameUpright = 0x008000;   // green

// Draws the line separators with their row numbers and heights, and (with `frames`) a frame
// around every slot, onto the display picture; (x1, y1) is the bitmap's screen position.
void drawOcrOverlay(RgbImage& display, const Segmentation& seg, int32_t x1, int32_t y1, int32_t width,
                    const OcrSettings& settings, bool frames);

struct OcrView {
    bool imageVisible = true;   // glyph frames are drawn only on a visible picture
};

// The OCR of subtitle n (1-based), right after DrawSub has drawn it: makes it the current
// subtitle, reads prog.pics.inkPlane over the rectangle of the slot DrawSub decoded first
// (slot 0, or slot 1 when only the second window holds a picture), draws the overlay,
// and stores font, ocrOK, lineCount, charCount and (unless locked) the corrected text in the
// record; the editor lines show the stored text, ieSubs shows n and rgFont the font mode.
// A bitmap without ink changes nothing but the current subtitle. n outside the table does
// nothing.
void ocr(Context& ctx, int32_t n, const OcrView& view = {});

}  // namespace vantrel
