// The OCR commands: OCR of one subtitle, the font mode, jumping between subtitles with
// unrecognised glyphs, the batch over all subtitles with its letter statistic and language
// guess, and the OCR option fields.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/context.h"
#include "render/composer.h"

namespace vantrel {

// What the window passes to the commands that draw and recognise one subtitle.
struct OcrCommandView {
    DrawSubView draw;
    bool imageVisible = true;   // glyph frames are drawn only on a visible picture
};

// The OCR button: draws subtitle n (1-based) for the OCR, recognises it, marks the SRT
// preview stale. ocrRunning is cleared on every way out.
void bOCRClick(Context& ctx, int32_t n, const OcrCommandView& view = {});

// The user picked item `index` (0 Normal, 1 Auto, 2 Italic) of the font radio group while
// subtitle n is shown. The record takes the mode; unless the
// change came from an OCR in progress (ocrRunning), the subtitle is recognised again.
// Returns true when it was.
bool rgFontClick(Context& ctx, int32_t n, int index, const OcrCommandView& view = {});

// The nearest subtitle after / before n whose ocrOK is 0, or 0 when there is none.
int32_t nextError(const std::vector<TSUP>& subs, int32_t n);
int32_t prevError(const std::vector<TSUP>& subs, int32_t n);

// The Next / Prev buttons: shows the nearest subtitle with unrecognised glyphs after / before
// n (ieSubs) and recognises it again. Returns its number, 0 when there is none. The window
// shows the image page in every case.
int32_t bNextClick(Context& ctx, int32_t n, const OcrCommandView& view = {});
int32_t bPrevClick(Context& ctx, int32_t n, const OcrCommandView& view = {});

// Letter counts over the texts of all records: "A".."Z" and "a".."z" count for their letter.
using LetterCounts = std::array<int64_t, 26>;
LetterCounts countLetters(const std::vector<TSUP>& subs);

// The six most frequent letters as capitals, most frequent first, the earlier letter first
// among equals; "A" for every place no letter with a count above 0 is left for.
std::string topLetters(const LetterCounts& counts);

enum class LanguageGuess { None, English, French };
// The language whose letter frequencies lie nearest to the counts; None for fewer than 100
// letters and for a language other than English and French.
LanguageGuess guessLanguage(const LetterCounts& counts);

// count / total as a percentage truncated to one decimal, in its shortest form ("12.3", "5").
std::string percentText(int64_t count, int64_t total);

// Seconds as "h:mm:ss".
std::string formatElapsed(int64_t seconds);

struct OcrBatchResult {
    bool refused = false;      // another job was running, or the table is empty
    bool cancelled = false;
    int32_t recognised = 0;    // subtitles OCRed by this run
    int64_t totalLines = 0;
    int64_t totalGlyphs = 0;
    LetterCounts letters{};
    std::string top;           // empty when there were no glyphs
    LanguageGuess guess = LanguageGuess::None;
};

struct OcrBatchView {
    DrawSubView draw;
};

// "O&CR all": recognises every subtitle not yet OCRed (font mode 4), with progress, remaining
// time and cancelling; logs the totals of all records, the letter statistic and the language
// guess; an English guess selects the English table (coLang 1) for the OCRs to come. Runs
// as one job (ocrRunning set, the picture hidden): the busy state is undone on every way
// out and errors propagate afterwards. Refused while another job runs.
OcrBatchResult ocrAll(Context& ctx, const OcrBatchView& view = {});

// The option fields. Each puts its value back into range and returns true when it had to.
// The cut level (1..255) also sets the ink threshold of the palette state.
bool ieCutLevelChange(Context& ctx);
bool ieMULChange(Options& opt);        // at least 1
bool ieDIVChange(Options& opt);        // at least 1
bool ieMaxColorChange(Options& opt);   // 0..255

}  // namespace vantrel
