// The OCR commands: batch with totals, statistic and language guess, cancelling, errors,
// error navigation, the font mode and the option fields; and "vantrel-cli ocr".
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ocr/ocr.h"
#include "ocr/ocr_batch.h"
#include "ocr_stream.h"
#include "platform/files.h"
#include "stream/load.h"
#include "support/ft_streams.h"
#include "support/run_command.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

// Records every status text of panel 1 and every subtitle the viewer is asked to show; can
// press Cancel when messages are pumped for the k-th time.
class BatchHost : public RecordingHost {
public:
    Program* prog = nullptr;
    int cancelAtPump = 0;
    std::vector<std::string> progressTexts;
    std::vector<int> shown;

    void setStatus(const StatusBar& bar) override {
        RecordingHost::setStatus(bar);
        const std::string& t = bar.panel[1].text;
        if (t.rfind(" Subtitle: ", 0) == 0 && (progressTexts.empty() || progressTexts.back() != t.substr(1)))
            progressTexts.push_back(t.substr(1));
    }
    void pumpMessages() override {
        RecordingHost::pumpMessages();
        if (prog && pumps == cancelAtPump) prog->Cancel = true;
    }
    void displaySubtitle(int n) override { shown.push_back(n); }
};

struct BatchSession : vantrel::testing::BasicTestSession<BatchHost> {
    // These are the commands around the rule engine; the learned engine has its own tests.
    BatchSession() {
        host.prog = &prog;
        opt.ocrEngine = kOcrRules;
    }
    void load(const std::string& path) {
        prog.eSUPfile = path;
        ASSERT_EQ(Load(ctx), LoadResult::Loaded);
        // As in the window, whose file field names the stream: Read SUP is armed.
        prog.controls.bReadSUP = true;
        host.pumps = 0;
        host.lines.clear();
        host.shown.clear();
    }
    bool logHasPrefix(const std::string& prefix) const {
        for (const auto& l : host.lines)
            if (l.text.rfind(prefix, 0) == 0) return true;
        return false;
    }
    bool logHas(const std::string& line) const {
        for (const auto& l : host.lines)
            if (l.text == line) return true;
        return false;
    }
};

void expectRestored(const Program& p) {
    EXPECT_FALSE(p.Busy);
    EXPECT_FALSE(p.Cancel);
    EXPECT_FALSE(p.ocrRunning);
    EXPECT_TRUE(p.controls.bOCRall);
    EXPECT_TRUE(p.controls.bReadSUP);
    EXPECT_FALSE(p.controls.bCancel);
    EXPECT_FALSE(p.controls.ProgressBar);
    EXPECT_TRUE(p.controls.mSRT);
}

}  // namespace

TEST(OcrBatch, RecognisesOnlyNewRecordsAndTotalsAll) {
    BatchSession s;
    s.load(barsStream("four.sup", 4));
    TSUP& earlier = s.prog.Subs[1];
    earlier.font = kFontNormal;
    earlier.text = "done";
    earlier.lineCount = 3;
    earlier.charCount = 7;
    const OcrBatchResult r = ocrAll(s.ctx);
    EXPECT_EQ(r.recognised, 3);
    EXPECT_EQ(r.totalLines, 6);
    EXPECT_EQ(r.totalGlyphs, 16);
    EXPECT_EQ(s.prog.Subs[0].text, "l l");
    EXPECT_EQ(s.prog.Subs[1].text, "done");
    EXPECT_EQ(s.prog.Subs[3].text, "l l");
    EXPECT_EQ(s.prog.Subs[3].font, 0);
    ASSERT_EQ(s.host.progressTexts.size(), 3u);
    EXPECT_EQ(s.host.progressTexts[0].rfind("Subtitle: 1/4 Remaining time: 0:00:", 0), 0u) << s.host.progressTexts[0];
    EXPECT_EQ(s.host.progressTexts[1].rfind("Subtitle: 3/4 ", 0), 0u);
    EXPECT_EQ(s.host.progressTexts[2].rfind("Subtitle: 4/4 ", 0), 0u);
    EXPECT_EQ(s.host.pumps, 4);

    for (const char* line : {"Converting bitmaps to text", "6 lines, 16 characters recognized.", "Statistic:",
                             "l: 6 - 37.5%", "d: 1 - 6.2%", "z: 0 - 0%", "Most important letters: LDENOA", "Done."})
        EXPECT_TRUE(s.logHas(line)) << line << "\n" << s.host.logText();
    EXPECT_TRUE(s.logHasPrefix("OCR time: 0:00:")) << s.host.logText();
    EXPECT_EQ(s.host.logText().find("It seems"), std::string::npos);
    EXPECT_EQ(s.host.lines.back().text, "");
    EXPECT_EQ(s.host.title, "Vantrel");
    EXPECT_EQ(s.host.shown, std::vector<int>{1});
    EXPECT_EQ(s.host.jobs, (std::vector<bool>{true, false}));
    EXPECT_TRUE(s.prog.srtDirty);
    expectRestored(s.prog);

    // A second run recognises nothing and only counts again.
    const OcrBatchResult again = ocrAll(s.ctx);
    EXPECT_EQ(again.recognised, 0);
    EXPECT_EQ(again.totalGlyphs, 16);
}

TEST(OcrBatch, StatisticAndLanguageGuess) {
    struct Case {
        const char* name;
        std::vector<std::string> texts;
        const char* top;
        LanguageGuess guess;
    };
    const Case cases[] = {
        {"capitals", {"EEEEEEEEEE OOOOOOOOO", "AAAAAAAA IIIIIII|NNNNNN HHHHH"}, "EOAINH", LanguageGuess::None},
        // Every letter counts in both cases, "q".."z" as much as the others.
        {"lower case", {"tttt ssss rrrr eee oo a"}, "RSTEOA", LanguageGuess::None},
        {"ties go to the earlier letter", {"zZ yY"}, "YZAAAA", LanguageGuess::None},
        {"digits only", {"123 456"}, "AAAAAA", LanguageGuess::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BatchSession s;
        for (const std::string& t : c.texts) {
            TSUP sub;
            sub.font = kFontNormal;
            sub.text = t;
            sub.lineCount = 1;
            sub.charCount = static_cast<int32_t>(t.size());
            s.prog.Subs.push_back(sub);
        }
        const OcrBatchResult r = ocrAll(s.ctx);
        EXPECT_EQ(r.top, c.top);
        EXPECT_EQ(r.guess, c.guess);
        EXPECT_TRUE(s.logHas(std::string("Most important letters: ") + c.top));
        EXPECT_EQ(s.opt.coLang, c.guess == LanguageGuess::English ? 1 : 0);
        EXPECT_EQ(s.logHas("It seems to be in English."), c.guess == LanguageGuess::English);
        EXPECT_EQ(s.logHas("It seems to be in French."), c.guess == LanguageGuess::French);
        // The guess does not touch the texts.
        EXPECT_EQ(s.prog.Subs[0].text, c.texts[0]);
    }
}

// The guess over ordinary dialogue: English and French are named, the other languages
// (Central European, Greek and Cyrillic ones too) are taken for neither, also from a handful
// of subtitles.
TEST(OcrBatch, LanguageGuessOverDialogue) {
    for (const std::string& language : corpusLanguages()) {
        for (const size_t sentences : {size_t{6}, corpus(language).size()}) {
            SCOPED_TRACE(language + ", " + std::to_string(sentences) + " sentences");
            BatchSession s;
            for (size_t k = 0; k < sentences; ++k) {
                TSUP sub;
                sub.font = kFontNormal;
                sub.text = corpus(language)[k];
                sub.lineCount = 1;
                sub.charCount = static_cast<int32_t>(sub.text.size());
                s.prog.Subs.push_back(sub);
            }
            const OcrBatchResult r = ocrAll(s.ctx);
            const LanguageGuess expected = language == "eng"   ? LanguageGuess::English
                                           : language == "fra" ? LanguageGuess::French
                                                               : LanguageGuess::None;
            EXPECT_EQ(r.guess, expected) << r.top;
            EXPECT_EQ(s.logHas("It seems to be in English."), expected == LanguageGuess::English);
            int64_t qToZ = 0;
            for (size_t k = 16; k < 26; ++k) qToZ += r.letters[k];
            // Greek and Cyrillic texts hold no letters a to z to count.
            if (language != "rus" && language != "ell") {
                EXPECT_GT(qToZ, 0);
            }
        }
    }
}

TEST(OcrBatch, NoGlyphsNoStatisticNoGuess) {
    BatchSession s;
    TSUP sub;
    sub.font = kFontNormal;
    sub.text = "Text from elsewhere";
    s.prog.Subs.push_back(sub);
    const OcrBatchResult r = ocrAll(s.ctx);
    EXPECT_EQ(r.top, "");
    EXPECT_EQ(r.guess, LanguageGuess::None);
    EXPECT_TRUE(s.logHas("Most important letters: "));
    EXPECT_FALSE(s.logHas("a: 0 - 0%"));
    EXPECT_EQ(s.opt.coLang, 0);
    EXPECT_TRUE(s.logHas("0 lines, 0 characters recognized."));
}

TEST(OcrBatch, CancelFinishesTheCurrentSubtitle) {
    BatchSession s;
    s.load(barsStream("cancel.sup", 4));
    s.host.cancelAtPump = 2;
    const OcrBatchResult r = ocrAll(s.ctx);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.recognised, 2);
    EXPECT_EQ(r.totalGlyphs, 6);
    EXPECT_EQ(s.prog.Subs[2].font, 4);
    EXPECT_FALSE(s.logHas("Done."));
    EXPECT_TRUE(s.logHas("Statistic:"));
    expectRestored(s.prog);
}

TEST(OcrBatch, ErrorsRestoreTheStateAndPropagate) {
    BatchSession s;
    const std::string path = barsStream("vanishing.sup", 2);
    s.load(path);
    std::remove(path.c_str());
    EXPECT_THROW(ocrAll(s.ctx), PlatformError);
    expectRestored(s.prog);
    EXPECT_EQ(s.host.jobs, (std::vector<bool>{true, false}));
    EXPECT_EQ(s.host.title, "Vantrel");

    // The single OCR clears its flag too.
    EXPECT_THROW(bOCRClick(s.ctx, 1), PlatformError);
    EXPECT_FALSE(s.prog.ocrRunning);
}

TEST(OcrBatch, RefusedWhileAnotherJobRuns) {
    BatchSession s;
    s.load(barsStream("busy.sup", 1));
    s.prog.Busy = true;
    EXPECT_TRUE(ocrAll(s.ctx).refused);
    EXPECT_EQ(s.prog.Subs[0].font, 4);
    EXPECT_TRUE(s.prog.Busy);

    // Without a table there is nothing to do, and the job controls stay as they are.
    s.prog.Busy = false;
    s.prog.Subs.clear();
    s.prog.controls.bExport = false;
    EXPECT_TRUE(ocrAll(s.ctx).refused);
    EXPECT_FALSE(s.prog.controls.bExport);
    EXPECT_FALSE(s.logHas("Done."));
}

TEST(OcrCommands, ErrorNavigation) {
    std::vector<TSUP> subs(5);
    for (size_t i : {0u, 1u, 3u}) subs[i].ocrOK = 1;   // 3 and 5 still have errors
    struct Case {
        int n, next, prev;
    };
    const Case cases[] = {{1, 3, 0}, {3, 5, 0}, {4, 5, 3}, {5, 0, 3}, {0, 3, 0}, {9, 0, 5}, {-7, 3, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(nextError(subs, c.n), c.next);
        EXPECT_EQ(prevError(subs, c.n), c.prev);
    }
    EXPECT_EQ(nextError({}, 1), 0);
}

TEST(OcrCommands, JumpsRecogniseTheirTarget) {
    BatchSession s;
    s.load(barsStream("jumps.sup", 3));
    EXPECT_EQ(bPrevClick(s.ctx, 1), 0);
    EXPECT_EQ(s.prog.Subs[0].text, "line 1");
    EXPECT_EQ(bNextClick(s.ctx, 1), 2);
    EXPECT_EQ(s.prog.Subs[1].text, "l l");
    EXPECT_EQ(s.prog.Subs[1].ocrOK, 1);
    EXPECT_EQ(s.prog.controls.ieSubs, 2);
    EXPECT_TRUE(s.prog.srtDirty);
    EXPECT_FALSE(s.prog.ocrRunning);
    EXPECT_EQ(bNextClick(s.ctx, 2), 3);
    EXPECT_EQ(bNextClick(s.ctx, 3), 0);
    EXPECT_EQ(bPrevClick(s.ctx, 3), 1);
}

TEST(OcrCommands, FontModeClick) {
    BatchSession s;
    s.load(barsStream("font.sup", 1));
    TSUP& sub = s.prog.Subs[0];

    // From inside an OCR: the mode is stored and nothing more happens.
    s.prog.ocrRunning = true;
    EXPECT_FALSE(rgFontClick(s.ctx, 1, 0));
    EXPECT_EQ(sub.font, 0);
    EXPECT_EQ(sub.text, "line 1");
    s.prog.ocrRunning = false;

    EXPECT_TRUE(rgFontClick(s.ctx, 1, 0));
    EXPECT_EQ(sub.text, "l l");
    EXPECT_EQ(sub.font, 0);
    EXPECT_TRUE(s.prog.srtDirty);
    EXPECT_FALSE(s.prog.ocrRunning);

    EXPECT_FALSE(rgFontClick(s.ctx, 1, 3));   // no such item
    EXPECT_FALSE(rgFontClick(s.ctx, 2, 1));   // no such subtitle
}

TEST(OcrCommands, SingleOcr) {
    BatchSession s;
    s.load(barsStream("single.sup", 2));
    s.prog.srtDirty = false;
    bOCRClick(s.ctx, 2);
    EXPECT_EQ(s.prog.Subs[1].text, "l l");
    EXPECT_EQ(s.prog.Subs[0].text, "line 1");
    EXPECT_TRUE(s.prog.srtDirty);
    EXPECT_FALSE(s.prog.ocrRunning);
    EXPECT_EQ(s.prog.CurSub, 1);
}

TEST(OcrCommands, PictureOnlyInTheSecondWindow) {
    // Window 0 at (100, 100) is 40x20 and gets no object; window 1 at (300, 800) holds "l l".
    // DrawSub decodes the object at its own corner, so the OCR has to read the object's
    // rectangle: window 0's would cut the bars to 20 rows and read them as ":".
    const IndexPicture bars = twoBars();
    const Bytes rle = bluRayRle(bars);
    PgsBuilder b;
    b.pcs(90000, {{2, 1, 300, 800}});
    b.wds(90000, {{0, 100, 100, 40, 20}, {1, 300, 800, 200, 60}});
    b.pds(90000, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}});
    b.ods(90000, 2, true, true, rle, 200, 60, static_cast<uint32_t>(rle.size() + 4));
    b.end(90000);
    BatchSession s;
    s.load(writeTempFile("second window.sup", b.bytes()));
    ASSERT_EQ(s.prog.Subs[0].obj[0].y1, 800);
    bOCRClick(s.ctx, 1);
    EXPECT_EQ(s.prog.Subs[0].text, "l l");
    EXPECT_EQ(s.prog.Subs[0].ocrOK, 1);
    // The line separator lies above the bars' first row, at window 1's place on the screen.
    EXPECT_EQ(s.prog.pics.display.at(300 + 100, 800 + 5 - 1), kOverlayGrey);
}

TEST(OcrCommands, OptionFieldsClamp) {
    struct Case {
        const char* name;
        int value, want;
        bool changed;
    };
    Options opt;
    auto check = [](const Case& c, int got, bool changed) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.value));
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(changed, c.changed);
    };
    for (const Case& c : {Case{"cut", 300, 255, true}, Case{"cut", 0, 1, true}, Case{"cut", 145, 145, false}}) {
        RenderSession rs;
        rs.opt.ieCutLevel = c.value;
        const bool changed = ieCutLevelChange(rs.ctx);
        check(c, rs.opt.ieCutLevel, changed);
        EXPECT_EQ(rs.prog.pal.cutThreshold, static_cast<uint32_t>(c.want) * 0x010101u);
    }
    for (const Case& c : {Case{"div", 0, 1, true}, Case{"div", 19, 19, false}}) {
        opt.ieDIV = c.value;
        const bool changed = ieDIVChange(opt);
        check(c, opt.ieDIV, changed);
    }
    for (const Case& c : {Case{"mul", -3, 1, true}, Case{"mul", 4, 4, false}}) {
        opt.ieMUL = c.value;
        const bool changed = ieMULChange(opt);
        check(c, opt.ieMUL, changed);
    }
    for (const Case& c : {Case{"max", -5, 0, true}, Case{"max", 300, 255, true}, Case{"max", 220, 220, false}}) {
        opt.ieMaxColor = c.value;
        const bool changed = ieMaxColorChange(opt);
        check(c, opt.ieMaxColor, changed);
    }
}

TEST(OcrCommands, PercentAndTimeTexts) {
    struct Case {
        int64_t count, total;
        const char* text;
    };
    for (const Case& c : {Case{123, 1000, "12.3"}, Case{50, 1000, "5"}, Case{2, 3, "66.6"}, Case{0, 7, "0"},
                          Case{1, 16, "6.2"}, Case{5, 4, "125"}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(percentText(c.count, c.total), c.text);
    }
    EXPECT_EQ(formatElapsed(0), "0:00:00");
    EXPECT_EQ(formatElapsed(59), "0:00:59");
    EXPECT_EQ(formatElapsed(36061), "10:01:01");
    EXPECT_EQ(formatElapsed(-5), "0:00:00");
}

namespace {

CommandResult cli(const std::vector<std::string>& args) { return runCommand(VANTREL_CLI, args); }

// Subtitle 1 "l l" from 1 s to 2 s; subtitle 2 "l" from 3 s, never cleared.
std::string cliStream() {
    StreamSub first;
    first.picture = twoBars();
    first.start = 90000;
    first.end = 180000;
    StreamSub second;
    second.picture = paintedPicture(100, 60, [](InkCanvas& c) { c.glyph(barShape(), {}, 20, 5); });
    second.start = 270000;
    return writeTempFile("ocr cli.sup", pgsStream({first, second}));
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

TEST(OcrCli, WritesSrtTextWithEffectiveEnds) {
    const std::string stream = cliStream();
    const std::string want =
        "1\r\n00:00:01,000 --> 00:00:02,000\r\nl l\r\n\r\n"
        "2\r\n00:00:03,000 --> 00:00:05,000\r\nl\r\n\r\n";
    const auto r = cli({"ocr", stream, "--engine", "rules"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, want);
    EXPECT_NE(r.err.find("2 lines, 4 characters recognized."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Most important letters: LAAAAA"), std::string::npos) << r.err;

    const std::string out = writeTempFile("ocr out.srt", {});
    const auto toFile = cli({"ocr", stream, "-o", out, "--set", "Language=1", "--set", "OcrEngine=1"});
    ASSERT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(fileText(out),
              "1\r\n00:00:01,000 --> 00:00:02,000\r\nI I\r\n\r\n"
              "2\r\n00:00:03,000 --> 00:00:05,000\r\nI\r\n\r\n");
    EXPECT_NE(toFile.err.find(out + " subtitle saved."), std::string::npos) << toFile.err;
}

TEST(OcrCli, SrtEncodingOfTheUnknownGlyphMark) {
    // A bar and a block no rule names: "l" and the mark "·" for the unknown glyph.
    StreamSub sub;
    sub.picture = paintedPicture(200, 60, [](InkCanvas& c) {
        c.glyph(barShape(), {}, 20, 5);
        c.fill({0, 0, 19, 19}, 60, 20);
    });
    sub.start = 90000;
    sub.end = 180000;
    const std::string stream = writeTempFile("ocr mark.sup", pgsStream({sub}));
    struct Case {
        std::vector<std::string> options;
        const char* line;
    };
    const Case cases[] = {
        {{}, "l \xC2\xB7\r\n"},
        {{"--srt-encoding", "utf8"}, "l \xC2\xB7\r\n"},
        {{"--srt-encoding", "cp1252"}, "l \xB7\r\n"},
        {{"--set", "SrtEncoding=1"}, "l \xB7\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        // The rule engine names the bar and marks the block.
        std::vector<std::string> args = {"ocr", stream, "--engine", "rules"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto r = cli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
    }
    const auto bad = cli({"ocr", stream, "--srt-encoding", "latin1"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--srt-encoding is utf8 or cp1252"), std::string::npos) << bad.err;
}

// The learned engine's run logs what its teacher read, in the language asked for.
TEST(OcrCli, LearnedEngineLogsWhatTheTeacherRead) {
    for (const char* language : {"eng", "fra"}) {
        SCOPED_TRACE(language);
        const auto r = cli({"ocr", cliStream(), "--engine", "learned", "--lang", language});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(std::string("Learned OCR (") + language + "): "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("; the teacher read "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(" word crops ("), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Using the rule engine instead."), std::string::npos) << r.err;
    }
}

TEST(OcrCli, BadArguments) {
    EXPECT_EQ(cli({"ocr"}).status, 2);
    EXPECT_EQ(cli({"ocr", cliStream(), "--set", "NoSuchSetting=1"}).status, 2);
    EXPECT_EQ(cli({"ocr", "/nonexistent/file.sup"}).status, 1);
}
