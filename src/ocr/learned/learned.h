// The learned OCR engine: reads a whole table at once, learns each stream's glyph bitmaps
// with Tesseract as the teacher and names every repeat of a known bitmap by lookup.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/context.h"
#include "ocr/ocr.h"

namespace vantrel {

// Called after each subtitle is done with its 1-based number; returns false to stop.
using LearnedStep = std::function<bool(int32_t n)>;

// What one learned run did.
struct LearnedTotals {
    int32_t subtitles = 0;       // records that were given a result
    int64_t glyphs = 0;          // glyph segments cut
    int64_t clusters = 0;        // distinct glyph bitmaps
    int64_t teacherLines = 0;    // synthetic lines Tesseract read
    int64_t teacherCrops = 0;    // word crops on those lines
    int64_t teacherGlyphs = 0;   // glyph segments inside those crops
    int64_t unknown = 0;         // glyphs nobody could name
    int64_t pictures = 0;        // subtitles that show a picture without text
};

// One decoded slot of a subtitle as the picture's overlay shows it: the slot's place on the
// screen and its lines with the glyphs' boxes (ch 0 for a glyph nobody named, italic 2 in
// italic words).
struct LearnedOverlay {
    int32_t x1 = 0;
    int32_t y1 = 0;
    int32_t width = 0;
    Segmentation seg;
};

// The learned engine is the default OCR. Turning this off makes the OCR commands use the
// rule engine and say so.
inline constexpr bool kLearnedEngineOn = true;

// The engine itself, whatever kLearnedEngineOn says (tests, benchmarks).
// `overlay`, when given, receives the slots of every subtitle read, in order.
bool runLearnedEngine(Context& ctx, const std::vector<int32_t>& numbers, const LearnedStep& step,
                      LearnedTotals& totals, std::vector<LearnedOverlay>* overlay = nullptr);

class WordReader;

// The engine with another reader in the teacher's place (tests, fuzzing).
bool runLearnedEngineWith(Context& ctx, WordReader& reader, const std::vector<int32_t>& numbers,
                          const LearnedStep& step, LearnedTotals& totals, std::vector<LearnedOverlay>* overlay = nullptr);

// Reads subtitle n (1-based) again with what the last run over the whole table learnt: its
// glyphs, their labels (the user's relabels included), its text size, spacing and slant. A
// reading with more unknown glyphs than the text has leaves the text as it is and says so.
// False when there is no such run for the current language (or no teacher): nothing done.
bool learnedReread(Context& ctx, int32_t n, LearnedTotals& totals, std::vector<LearnedOverlay>* overlay = nullptr);

// The glyph frames of subtitle n as the last whole run cut it, with the labels the review
// holds now; false when that run did not write its text.
bool learnedFrames(const Context& ctx, int32_t n, std::vector<LearnedOverlay>& overlay);

// What the OCR commands call: runLearnedEngine while the engine is switched on.
// Recognises the subtitles `numbers` (1-based) and stores font, ocrOK, lineCount, charCount
// and (unless locked) the text in their records, as the rule engine does. Returns false,
// after logging why and which package is missing, when the engine cannot run (no
// Tesseract library or no data for ctx.opt.ocrLanguage); the records are untouched then.
bool learnedOcr(Context& ctx, const std::vector<int32_t>& numbers, const LearnedStep& step,
                LearnedTotals& totals, std::vector<LearnedOverlay>* overlay = nullptr);

}  // namespace vantrel
