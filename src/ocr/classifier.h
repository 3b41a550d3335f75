// The glyph classifier: a fixed decision list over the geometry of one glyph box.
#pragma once

#include <cstdint>

#include "ocr/probes.h"

namespace vantrel {

// Character codes the classifier produces beyond single-byte ASCII.
inline constexpr uint16_t kInvertedExclamation = 0x00A1;
inline constexpr uint16_t kPoundSign = 0x00A3;
inline constexpr uint16_t kBeamedEighthNotes = 0x266B;

struct Recognition {
    uint16_t ch = 0;          // the character named, 0 when no rule named the glyph
    uint16_t secondChar = 0;  // second letter of a two-letter glyph ("fw", "rt", ...), else 0
};

// Names the character in one glyph box.
//
// plane: the ink plane as the decoder left it (Program.pics.inkPlane: 1920x1080 bytes,
//   1 = ink, origin at the subtitle rectangle's top-left corner). Positions outside it,
//   including rows missing from a short buffer, read as background.
// glyph: the slot as the segmentation cut it and its line:
//   left, right  - the slot's inclusive columns (logical columns for a slanted glyph);
//   top, bottom  - the slot's inclusive plane rows;
//   italic       - true when the slot's italic flag is 2 (slanted geometry);
//   lineTop      - the line's first ink row; the slant of row r is measured from it;
//   lineBottom   - the line's first empty row after the line (exclusive end);
//   skewMul, skewDiv - the skew settings (ieMUL, ieDIV).
// A segmentation pass calls it once per cut slot:
//   recognize(prog.pics.inkPlane, {slot.left, slot.right, slot.top, slot.bottom,
//             slot.italic == 2, line.lineTop, line.lineBottom, opt.ieMUL, opt.ieDIV})
// and stores ch in the slot; a non-zero secondChar asks for one more slot with the same
// box, italic flag and that character.
//
// Any box is safe: empty, inverted or huge boxes and boxes at or past the plane's edges.
// A ratio rule whose divisor (the box's height or width minus one) is 0 does not apply.
Recognition recognize(InkPlaneView plane, const GlyphQuery& glyph);

}  // namespace vantrel
