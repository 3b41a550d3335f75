// The learned engine's reading steps that work on geometry and text alone: the space
// threshold, slant, alignment of the teacher's words with glyph segments, and the I/l choice.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/encoding.h"
#include "ocr/learned/glyphs.h"

namespace vantrel {

// The gap (columns between two neighbouring glyphs) from which on a space is written: Otsu's
// cut of the gap histogram, or a share of the text height when the gaps do not fall into two
// groups (too few words to tell).
int32_t spaceThreshold(const std::vector<int32_t>& gaps, int32_t textHeight);

// The columns between two neighbouring glyphs of a line. Each glyph is first deslanted by its
// own shear (x shift per row above the baseline; 0 for upright), so the overhang of an
// italic T or f does not shrink the gap and a slanted stem does not widen it.
// The second glyph's rows below the baseline do not count when it has ink above it: the tail
// of a j or an italic f reaching under the word before does not close the space.
int32_t glyphGap(const Glyph& a, const Glyph& b, const ClusterTable& table, int32_t baseline, float shearA,
                 float shearB);

// How a glyph bitmap leans: `slant` is the shear (x shift per row up) that makes its columns
// sharpest, 0 when the shape is as sharp sheared the other way (A, W, w) or its strokes are
// diagonal (v, y, z); `lean` is +1 for clear italic evidence, -1 for a clear upright stroke,
// 0 when the shape tells nothing.
struct SlantScore {
    float slant = 0;
    int lean = 0;
};
SlantScore slantOf(const Cluster& c);

// One segment of a word crop as the alignment sees it.
struct AlignSegment {
    int32_t cluster = -1;
    const std::string* label = nullptr;   // the known label, or null
    bool mark = false;                    // small and raised: half of a quotation mark, maybe
    int parts = 0;                        // connected parts; 0 when not known
    int width = 0;                        // columns; 0 when not known
};

// The usual width in columns of a character's glyph in this stream, 0 when not known yet.
using TypicalWidth = std::function<int(char32_t)>;

// One vote the alignment gives: segment `segment` of the word reads `text`.
struct AlignVote {
    size_t segment = 0;
    std::string text;
};

// Aligns a word Tesseract read with the word's segments, left to right, by a monotonic
// dynamic programme: a known segment takes its label (a differing label costs a mismatch),
// an unknown segment takes one character or two (touching glyphs), two raised marks may
// share one character, and a character or segment may stay unmatched at a cost. Returns
// the votes for unknown segments; none when the best alignment is poor.
// With `typical`, a segment much wider than the character it would read (or about as wide
// as two characters together) leans to reading two.
std::vector<AlignVote> alignWord(const std::vector<AlignSegment>& segments, const std::string& text,
                                 const TypicalWidth& typical = {});

// Whether a character can be drawn at a glyph's place against the baseline: a letter or
// digit is never a mark raised off the baseline (that is ’ ' " ° and the like), and a small
// letter like a, n or x is no short mark hanging below it.
// `belowLetters`: the glyph reaches below the baseline and is shorter than small letters.
bool riseFits(const std::string& label, Rise rise, bool belowLetters = false);

// How many separate parts a character's glyph has in common fonts (i 2, é 2, a 1), or 0
// when it depends on the font.
int expectedParts(char32_t c);

// Chooses I or l for each of these glyphs in a word (UTF-8 letters, no spaces; words with
// letters of other scripts than Latin stay as they are):
// the spelling the dictionary knows, else by context (l between capitals is I, a lone one
// is I, I inside lower-case letters is l). `known` is the dictionary lookup.
std::string chooseIl(const std::string& word, const std::function<bool(const std::string&)>& known);

// A letter drawn in two pieces side by side (ť is t and a caron like an apostrophe, Ή a tonos
// and Η, ы is ь and a stroke): the glyphs read `first` and `second`, the text says `letter`.
struct SplitLetter {
    char32_t letter, first, second;
    bool letterFirst;   // the letter's own shape comes first, the piece after it
};
const SplitLetter* splitLetterOf(char32_t c);
// The text with each split letter's two pieces joined into the letter.
std::string joinSplitLetters(std::string_view text);

// Latin, Cyrillic and Greek letters drawn alike (a/а, o/о/ο, p/р/ρ, A/А/Α, ...): the shapes
// cannot tell them apart, the word can. Each such letter is written in the script most of
// the word's other letters have, or in `fallback` (the language's) when none tells.
void writeInOneScript(std::u32string& word, Script fallback);
// Greek letters with breathings and accents of the polytonic script (which Tesseract's Greek
// model writes now and then) as the modern script writes them: every mark over a vowel is
// the tonos.
char32_t monotonicGreek(char32_t c);

// A look-alike letter as its Latin twin, other characters as they are: for comparing what
// the teacher read with a glyph's label.
char32_t latinTwin(char32_t c);

}  // namespace vantrel
