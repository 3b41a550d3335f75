// OCR commands around the recogniser: one subtitle, all subtitles, error navigation, options.
#include "ocr/ocr_batch.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/job.h"
#include "ocr/learned/learned.h"
#include "ocr/correction.h"
#include "ocr/ocr.h"
#include "platform/clock.h"
#include "render/palette.h"

namespace vantrel {
namespace {

// Sets ocrRunning for the lifetime of one draw-and-recognise pair and clears it however
// the pair ends.
class OcrRunning {
public:
    explicit OcrRunning(Program& prog) : prog_(prog) { prog_.ocrRunning = true; }
    ~OcrRunning() { prog_.ocrRunning = false; }
    OcrRunning(const OcrRunning&) = delete;
    OcrRunning& operator=(const OcrRunning&) = delete;

private:
    Program& prog_;
};

bool validNumber(const Program& prog, int32_t n) {
    return n >= 1 && static_cast<size_t>(n) <= prog.Subs.size();
}

// What the teacher read, so a user sees how much of the stream needed Tesseract.
void logLearnedTotals(Context& ctx, const LearnedTotals& t) {
    ctx.msg.log("Learned OCR (" + ctx.opt.ocrLanguage + "): " + std::to_string(t.glyphs) + " glyphs, " +
                std::to_string(t.clusters) + " distinct; the teacher read " + std::to_string(t.teacherLines) +
                " lines holding " + std::to_string(t.teacherCrops) + " word crops (" +
                std::to_string(t.teacherGlyphs) + " glyphs); " + std::to_string(t.unknown) + " glyphs unknown.");
    if (t.pictures > 0)
        ctx.msg.log(std::to_string(t.pictures) + " subtitles show a picture without text; they are marked for review.");
}

// The glyph frames of a learned reading on the shown picture, and the panel showing
// subtitle n's text, as the rule engine's OCR leaves them.
void showLearned(Context& ctx, int32_t n, const std::vector<LearnedOverlay>& overlay, const OcrCommandView& view) {
    // The boxes are the glyphs' own, italic ones included: no skew to add.
    OcrSettings settings = OcrSettings::from(ctx.opt);
    settings.skewMul = 1;
    settings.skewDiv = INT32_MAX;
    for (const LearnedOverlay& o : overlay)
        drawOcrOverlay(ctx.prog.pics.display, o.seg, o.x1, o.y1, o.width, settings, view.imageVisible);
    Program& prog = ctx.prog;
    const TSUP& sub = prog.Subs[static_cast<size_t>(n - 1)];
    prog.CurSub = n - 1;
    prog.controls.ieSubs = n;
    if (sub.font < 3) prog.panel.rgFont = sub.font;
    prog.panel.editorLines = TxtToLines(sub.text);
}

// Subtitle n read by the learned engine, with the panel and the glyph frames showing the
// result. After a run over the whole table it is read with that run's glyphs and measures;
// before one, on its own. False when the engine could not run.
bool learnedOne(Context& ctx, int32_t n, const OcrCommandView& view) {
    LearnedTotals totals;
    std::vector<LearnedOverlay> overlay;
    if (kLearnedEngineOn && learnedReread(ctx, n, totals, &overlay)) {
        showLearned(ctx, n, overlay, view);
        logLearnedTotals(ctx, totals);
        return true;
    }
    // The glyphs of the whole stream stay under review; the subtitle read alone leaves it,
    // so relabelling a glyph does not overwrite what this reading wrote.
    GlyphReview review = std::move(ctx.prog.glyphs.review);
    const bool read = learnedOcr(ctx, {n}, {}, totals, &overlay);
    ctx.prog.glyphs.review = std::move(review);
    if (!read) return false;
    auto& texts = ctx.prog.glyphs.review.texts;
    texts.erase(std::remove_if(texts.begin(), texts.end(), [n](const ReviewText& t) { return t.subtitle == n; }),
                texts.end());
    showLearned(ctx, n, overlay, view);
    logLearnedTotals(ctx, totals);
    return true;
}

// Draws subtitle n and reads it; `reread` false (the error navigation) shows what the last
// learned run over the table wrote, with its glyph frames, without reading it again.
void drawAndRecognise(Context& ctx, int32_t n, const OcrCommandView& view, bool reread = true) {
    OcrRunning running(ctx.prog);
    DrawSub(ctx, n, view.draw);
    if (ctx.opt.ocrEngine == kOcrLearned && validNumber(ctx.prog, n)) {
        std::vector<LearnedOverlay> frames;
        if (!reread && (learnedFrames(ctx, n, frames) || ctx.prog.glyphs.review.memory)) {
            // A picture the run found no text in is shown as it is.
            showLearned(ctx, n, frames, view);
            return;
        }
        if (learnedOne(ctx, n, view)) return;
        ctx.msg.log("Using the rule engine instead.");
    }
    ocr(ctx, n, OcrView{view.imageVisible});
}

int32_t jumpTo(Context& ctx, int32_t target, const OcrCommandView& view) {
    if (target == 0) return 0;
    ctx.prog.controls.ieSubs = target;
    drawAndRecognise(ctx, target, view, false);
    ctx.prog.srtDirty = true;
    return target;
}

int64_t secondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
}

}  // namespace

void bOCRClick(Context& ctx, int32_t n, const OcrCommandView& view) {
    drawAndRecognise(ctx, n, view);
    ctx.prog.srtDirty = true;
}

bool rgFontClick(Context& ctx, int32_t n, int index, const OcrCommandView& view) {
    Program& prog = ctx.prog;
    if (!validNumber(prog, n) || index < 0 || index > 2) return false;
    prog.Subs[static_cast<size_t>(n - 1)].font = static_cast<FontMode>(index);
    if (prog.ocrRunning) return false;   // the OCR itself set the radio group
    drawAndRecognise(ctx, n, view);
    // The text may have changed: the SRT preview has to be rebuilt.
    prog.srtDirty = true;
    return true;
}

int32_t nextError(const std::vector<TSUP>& subs, int32_t n) {
    const auto count = static_cast<int64_t>(subs.size());
    for (int64_t i = std::max<int64_t>(int64_t{n} + 1, 1); i <= count; ++i)
        if (subs[static_cast<size_t>(i - 1)].ocrOK == 0) return static_cast<int32_t>(i);
    return 0;
}

int32_t prevError(const std::vector<TSUP>& subs, int32_t n) {
    const auto count = static_cast<int64_t>(subs.size());
    for (int64_t i = std::min<int64_t>(int64_t{n} - 1, count); i >= 1; --i)
        if (subs[static_cast<size_t>(i - 1)].ocrOK == 0) return static_cast<int32_t>(i);
    return 0;
}

int32_t bNextClick(Context& ctx, int32_t n, const OcrCommandView& view) {
    return jumpTo(ctx, nextError(ctx.prog.Subs, n), view);
}

int32_t bPrevClick(Context& ctx, int32_t n, const OcrCommandView& view) {
    return jumpTo(ctx, prevError(ctx.prog.Subs, n), view);
}

LetterCounts countLetters(const std::vector<TSUP>& subs) {
    LetterCounts counts{};
    for (const TSUP& s : subs) {
        for (char c : s.text) {
            if (c >= 'A' && c <= 'Z') ++counts[static_cast<size_t>(c - 'A')];
            else if (c >= 'a' && c <= 'z') ++counts[static_cast<size_t>(c - 'a')];
        }
    }
    return counts;
}

std::string topLetters(const LetterCounts& counts) {
    std::string top;
    for (int place = 0; place < 6; ++place) {
        int best = -1;
        for (int letter = 0; letter < 26; ++letter) {
            const char c = static_cast<char>('A' + letter);
            if (top.find(c) != std::string::npos || counts[static_cast<size_t>(letter)] <= 0) continue;
            if (best < 0 || counts[static_cast<size_t>(letter)] > counts[static_cast<size_t>(best)]) best = letter;
        }
        top += best < 0 ? 'A' : static_cast<char>('A' + best);
    }
    return top;
}

LanguageGuess guessLanguage(const LetterCounts& counts) {
    // Letter frequencies of ordinary text in per mille, "a" to "z", of the languages the
    // OCR meets most; the counts go to the nearest one. Only English and French have a
    // guess to report, the others keep a text in them from being taken for one of the two.
    struct Profile {
        LanguageGuess guess;
        std::array<int16_t, 26> perMille;
    };
    static constexpr Profile kProfiles[] = {
        {LanguageGuess::English, {82, 15, 28, 43, 127, 22, 20, 61, 70, 2, 8, 40, 24, 67, 75, 19, 1, 60, 63, 91, 28, 10, 24, 2, 20, 1}},
        {LanguageGuess::French, {76, 9, 33, 37, 147, 11, 9, 7, 75, 6, 1, 55, 30, 71, 58, 30, 14, 67, 79, 72, 63, 18, 1, 4, 3, 1}},
        {LanguageGuess::None, {65, 19, 27, 51, 174, 17, 30, 48, 76, 3, 12, 34, 25, 98, 26, 8, 0, 70, 73, 62, 42, 8, 19, 0, 0, 11}},
        {LanguageGuess::None, {125, 14, 47, 59, 137, 7, 10, 7, 62, 4, 0, 50, 32, 67, 87, 25, 9, 69, 80, 46, 39, 9, 0, 2, 9, 5}},
        {LanguageGuess::None, {117, 9, 45, 37, 118, 10, 16, 15, 113, 0, 0, 65, 25, 69, 98, 31, 5, 64, 50, 56, 30, 21, 0, 0, 0, 5}},
        {LanguageGuess::None, {75, 16, 12, 59, 189, 8, 34, 24, 65, 15, 22, 36, 22, 100, 61, 16, 0, 64, 37, 68, 20, 29, 15, 0, 0, 14}},
        {LanguageGuess::None, {146, 10, 39, 50, 126, 10, 13, 13, 62, 4, 0, 28, 47, 50, 107, 25, 12, 65, 78, 43, 46, 17, 0, 2, 0, 5}},
        // Polish, Czech, Hungarian and Turkish, by their letters a to z alone (their own
        // letters are not counted), so they are not taken for English either.
        {LanguageGuess::None, {89, 21, 37, 43, 97, 1, 14, 5, 104, 37, 29, 19, 45, 53, 73, 32, 0, 36, 49, 38, 26, 0, 32, 0, 39, 81}},
        {LanguageGuess::None, {62, 21, 21, 50, 124, 1, 0, 20, 50, 40, 44, 61, 47, 60, 93, 38, 0, 31, 64, 61, 37, 37, 0, 0, 22, 17}},
        {LanguageGuess::None, {110, 19, 3, 26, 105, 9, 32, 18, 43, 15, 48, 72, 56, 80, 41, 12, 0, 47, 50, 106, 17, 27, 0, 0, 19, 46}},
        {LanguageGuess::None, {132, 47, 11, 67, 120, 6, 17, 14, 82, 1, 43, 52, 55, 73, 27, 7, 0, 70, 28, 33, 37, 8, 0, 0, 48, 23}},
    };
    int64_t total = 0;
    for (int64_t n : counts) total += n;
    // A few subtitles' letters say nothing reliable about their language.
    if (total < 100) return LanguageGuess::None;
    const Profile* nearest = nullptr;
    int64_t best = 0;
    for (const Profile& p : kProfiles) {
        int64_t distance = 0;
        for (size_t k = 0; k < counts.size(); ++k) {
            const int64_t share = counts[k] * 1000 / total - p.perMille[k];
            distance += share < 0 ? -share : share;
        }
        if (!nearest || distance < best) {
            nearest = &p;
            best = distance;
        }
    }
    return nearest->guess;
}

std::string percentText(int64_t count, int64_t total) {
    if (total <= 0) return "0";
    const int64_t permille = count * 1000 / total;
    std::string text = std::to_string(permille / 10);
    if (permille % 10 != 0) {
        text += '.';
        text += static_cast<char>('0' + std::abs(permille % 10));
    }
    return text;
}

std::string formatElapsed(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return buf;
}

namespace {

// The learned engine over every subtitle still to be read, the whole table at once.
// Returns false when the engine cannot run (it said why), so the rule engine takes over.
bool ocrAllLearned(Context& ctx, int32_t count, const std::function<void(int32_t)>& progress,
                   int32_t& recognised) {
    Program& p = ctx.prog;
    std::vector<int32_t> numbers;
    for (int32_t i = 1; i <= count; ++i)
        if (p.Subs[static_cast<size_t>(i - 1)].font == kFontUndecided && selectedForJob(ctx, static_cast<size_t>(i - 1)))
            numbers.push_back(i);
    LearnedTotals totals;
    const bool learned = learnedOcr(
        ctx, numbers,
        [&](int32_t i) {
            // 0: between two of the teacher's lines, where Cancel is heard too.
            ctx.host().pumpMessages();
            if (i > 0) progress(i);
            return !p.Cancel;
        },
        totals);
    if (!learned) {
        ctx.msg.log("Using the rule engine instead.");
        return false;
    }
    recognised = totals.subtitles;
    logLearnedTotals(ctx, totals);
    return true;
}

// The letter statistic of all texts and the language it suggests, in the log; an English
// guess selects the English table for the OCRs to come.
void logStatistic(Context& ctx, OcrBatchResult& result) {
    MessageLog& msg = ctx.msg;
    msg.slog2("Making statistic", "");
    msg.log("Statistic:");
    result.letters = countLetters(ctx.prog.Subs);
    if (result.totalGlyphs > 0) {
        for (int letter = 0; letter < 26; ++letter) {
            const int64_t n = result.letters[static_cast<size_t>(letter)];
            msg.log(std::string(1, static_cast<char>('a' + letter)) + ": " + std::to_string(n) + " - " +
                    percentText(n, result.totalGlyphs) + "%");
        }
        result.top = topLetters(result.letters);
    }
    msg.log2("Most important letters: " + result.top);
    result.guess = guessLanguage(result.letters);
    if (result.guess == LanguageGuess::English) {
        msg.log("It seems to be in English.");
        ctx.opt.coLang = 1;   // chosen without applying the table to the texts now
    } else if (result.guess == LanguageGuess::French) {
        msg.log("It seems to be in French.");
    }
    // "Ready" and "Done." take the place of the last line: an empty one keeps the verdict.
    if (result.guess != LanguageGuess::None) msg.log("");
}

}  // namespace

OcrBatchResult ocrAll(Context& ctx, const OcrBatchView& view) {
    Program& p = ctx.prog;
    MessageLog& msg = ctx.msg;
    Host& host = ctx.host();
    OcrBatchResult result;
    if (p.Subs.empty() || refuseWhileWorking(ctx)) {
        result.refused = true;
        return result;
    }

    const auto count = static_cast<int32_t>(std::min<size_t>(p.Subs.size(), INT32_MAX));
    const Clock::time_point start = Clock::now();
    {
        JobScope job(ctx, {&Program::ocrRunning, true, true});
        p.srtDirty = true;
        host.setProgress(0, count);
        msg.log2("Converting bitmaps to text");
        msg.slog("OCRing...", 0);

        // Progress after subtitle i: the remaining time, the bar and the title.
        auto progress = [&](int32_t i) {
            const int64_t remaining = remainingSeconds(Clock::now() - start, i, count);
            msg.slog("Subtitle: " + std::to_string(i) + "/" + std::to_string(count) +
                         " Remaining time: " + formatElapsed(remaining),
                     1);
            host.setProgress(i, count);
            host.setTitle("Vantrel - OCRing " + std::to_string(int64_t{i} * 100 / count) + "%");
        };

        const bool learned =
            ctx.opt.ocrEngine == kOcrLearned && ocrAllLearned(ctx, count, progress, result.recognised);

        for (int32_t i = 1; i <= count; ++i) {
            if (!selectedForJob(ctx, static_cast<size_t>(i - 1))) continue;
            TSUP* sub = &p.Subs[static_cast<size_t>(i - 1)];
            if (!learned) {
                host.pumpMessages();
                if (sub->font == kFontUndecided) {
                    DrawSub(ctx, i, view.draw);
                    ocr(ctx, i, OcrView{false});
                    sub = &p.Subs[static_cast<size_t>(i - 1)];
                    ++result.recognised;
                    progress(i);
                }
            }
            result.totalLines += sub->lineCount;
            result.totalGlyphs += sub->charCount;
            if (!learned && p.Cancel) break;
        }
        result.cancelled = job.cancelled();

        msg.log(std::to_string(result.totalLines) + " lines, " + std::to_string(result.totalGlyphs) +
                " characters recognized.");
        msg.log("OCR time: " + formatElapsed(secondsSince(start)));
        // The status update below replaces the last log line; an empty line takes that
        // place so the OCR time stays readable.
        msg.log("");
        logStatistic(ctx, result);

        p.ocrRunning = false;
        p.controls.mSRT = true;
        msg.slog2("Ready", "");
        if (result.cancelled) msg.log("OCR cancelled: the subtitles read so far keep their texts.");
        else msg.logn("Done.");
        msg.log("");
    }
    if (count >= 1) {
        p.controls.ieSubs = 1;
        host.displaySubtitle(1);
    }
    return result;
}

bool ieCutLevelChange(Context& ctx) {
    int& level = ctx.opt.ieCutLevel;
    const int clamped = std::clamp(level, 1, 255);
    const bool changed = clamped != level;
    level = clamped;
    ctx.prog.pal.cutThreshold = cutThresholdFor(level);
    return changed;
}

bool ieMULChange(Options& opt) {
    if (opt.ieMUL >= 1) return false;
    opt.ieMUL = 1;
    return true;
}

bool ieDIVChange(Options& opt) {
    if (opt.ieDIV >= 1) return false;
    opt.ieDIV = 1;
    return true;
}

bool ieMaxColorChange(Options& opt) {
    const int clamped = std::clamp(opt.ieMaxColor, 0, 255);
    const bool changed = clamped != opt.ieMaxColor;
    opt.ieMaxColor = clamped;
    return changed;
}

}  // namespace vantrel
