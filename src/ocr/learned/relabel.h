// Reviewing the glyphs of the last learned reading: building texts from their glyphs, the
// doubt order, relabelling a glyph everywhere at once and undoing that.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/glyph_review.h"

namespace vantrel {

// A subtitle's text built from its glyphs: every glyph as it was written unless the user
// relabelled it, italics per word (a glyph set italic or upright decides its word; the font
// modes Normal and Italic still force theirs), tags when they were written, the replacement
// table applied.
struct BuiltText {
    std::string text;
    bool allKnown = true;
    int32_t chars = 0;
    int32_t italicWords = 0;
    int32_t uprightWords = 0;
    int32_t lines = 0;
};
BuiltText buildReviewText(const GlyphReview& review, const ReviewText& text);

// Stores a built text in its record as a reading does: font (for the modes Auto and not yet
// read), ocrOK, charCount and, unless the record is locked, the text.
void storeBuiltText(TSUP& sub, uint8_t fontMode, const BuiltText& built);

// The review record of subtitle n (1-based), or null.
const ReviewText* reviewTextOf(const GlyphReview& review, int32_t subtitle);

// The subtitles (1-based, ascending, each once) where glyph `glyph` stands.
std::vector<int32_t> subtitlesUsing(const GlyphReview& review, int32_t glyph);

// The glyphs, most doubtful first: unknown ones, then those the reading named with the
// least certainty (disagreeing votes, few votes, words the dictionary rejected), then the
// library's, then the user's; the more often used first among equals.
std::vector<int32_t> glyphsByDoubt(const GlyphReview& review);

struct RelabelResult {
    bool done = false;
    std::vector<int32_t> changed;   // subtitles whose record changed
    int32_t locked = 0;             // subtitles using the glyph that kept their locked text
};

// Sets glyph `glyph`'s label (UTF-8, validGlyphLabel) and italic flag (-1: each word
// decides, 0 upright, 1 italic), rebuilds the text of every subtitle that uses it except the
// locked ones, remembers the glyph in the library (saved when it has a file) and keeps an undo
// step. Refused (done false) for a glyph out of range or a label that cannot be stored.
RelabelResult relabelGlyph(Context& ctx, int32_t glyph, const std::string& label, int8_t italic);

// The user confirms a glyph's label as it stands: it is named by the user and remembered in
// the library. The texts do not change. False for an unknown glyph or one out of range.
bool confirmGlyph(Context& ctx, int32_t glyph);

// Undoes the last relabel: the glyph, the library entry and the records it changed (locked
// records meanwhile keep their text). Returns the subtitles changed back; empty when there
// was nothing to undo.
std::vector<int32_t> undoRelabel(Context& ctx);

}  // namespace vantrel
