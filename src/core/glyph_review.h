// What the learned OCR engine knew of the stream it read last, kept for review: every distinct
// glyph bitmap with its label and places, and per subtitle the glyphs its text was built from,
// so relabelling a glyph rebuilds exactly the texts that use it. Also the user's glyph library
// (labels the user confirmed or set, keyed by the exact bitmap). Plain data: the operations
// live with the learned engine (ocr/learned/relabel.h, ocr/learned/library.h).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/subtitle.h"

namespace vantrel {

// How a glyph got its label.
enum class GlyphNaming : uint8_t {
    Unknown,      // nobody could name it
    Teacher,      // Tesseract read it, every read agreeing
    Vote,         // Tesseract's reads disagreed; the most confident label won
    Similar,      // drawn almost like a glyph that was named
    Dictionary,   // the dictionary or the word's context chose I or l for most of its places
    User,         // the user set or confirmed it
    Library,      // found in the user's glyph library
};

// The word used for a naming in lists and JSON ("teacher", "vote", ...).
const char* glyphNamingName(GlyphNaming naming);

// One place a glyph stands: subtitle (1-based), text line and position in that line.
struct GlyphPlace {
    int32_t subtitle = 0;
    int32_t line = 0;
    int32_t position = 0;
};

// One distinct glyph bitmap of the stream.
struct ReviewGlyph {
    int32_t width = 0;
    int32_t height = 0;
    uint8_t rise = 0;                 // 0 on the baseline, 1 below it, 2 raised
    std::vector<uint8_t> bits;        // width * height, 0 or 1
    bool known = false;
    std::string label;                // UTF-8
    GlyphNaming naming = GlyphNaming::Unknown;
    int8_t italic = -1;               // -1: each word decides from its shapes; 0 upright; 1 italic
    bool leans = false;               // the shape itself leans (for display)
    bool userSet = false;             // label set by the user: it replaces what was written
    std::map<std::string, double> votes;   // the teacher's reads: label -> summed confidence
    int32_t rejected = 0;             // words holding it that the dictionary did not know
    std::vector<GlyphPlace> places;
};

// One glyph of a word as it was written: the text it gave (after the I/l choice) or a
// literal such as the ellipsis (glyph -1).
struct ReviewPiece {
    int32_t glyph = -1;
    bool unknown = false;     // written as the unknown mark
    std::string text;
};

struct ReviewWord {
    bool lineStart = false;   // the first word of a text line
    bool italic = false;      // as the shapes decided
    std::vector<ReviewPiece> pieces;
};

// How one subtitle's text was built.
struct ReviewText {
    int32_t subtitle = 0;     // 1-based
    FontMode fontMode = kFontUndecided;     // the record's font mode before the reading: 0 and 2 force upright / italic
    std::vector<ReviewWord> words;
};

// One glyph of the library.
struct LibraryGlyph {
    int32_t width = 0;
    int32_t height = 0;
    uint8_t rise = 0;
    std::vector<uint8_t> bits;   // width * height, 0 or 1
    std::string label;           // UTF-8
    int8_t italic = -1;
};

// The state of one glyph and the records a relabel changed, to undo it.
struct RelabelStep {
    int32_t glyph = -1;
    ReviewGlyph before;       // places left out
    bool inLibrary = false;   // the library's entry for the bitmap before the relabel
    LibraryGlyph libraryBefore;
    struct Record {
        int32_t subtitle = 0;
        std::string text;
        uint8_t ocrOK = 0;
        FontMode font = kFontNormal;
        int32_t charCount = 0;
    };
    std::vector<Record> records;
};

// What the learned engine knew of the stream when it last read it whole (its glyph table,
// the pictures' lines and the measures it learnt), so that one subtitle can be read again
// the way the whole run read it. Defined by the engine.
struct LearnedMemory;

struct GlyphReview {
    std::vector<ReviewGlyph> glyphs;
    std::vector<ReviewText> texts;
    bool tags = true;         // italic tags were written
    int coLang = 0;           // the replacement table the texts went through
    std::vector<RelabelStep> undo;   // the last relabel at the back
    std::shared_ptr<LearnedMemory> memory;   // null until a run of the whole table
    bool empty() const { return glyphs.empty(); }
};

// The user's glyph library: `path` is where it is kept (empty: nowhere, nothing is saved).
struct GlyphLibrary {
    std::string path;
    bool use = true;                    // consulted before the teacher
    std::vector<LibraryGlyph> glyphs;
    std::unordered_multimap<uint64_t, size_t> index;   // bitmap hash -> glyphs
    bool saveFailed = false;            // reported once; later saves stay quiet
};

struct GlyphState {
    GlyphReview review;
    GlyphLibrary library;
};

}  // namespace vantrel
