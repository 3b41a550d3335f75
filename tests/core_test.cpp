// Subtitle table helpers, the log markup and the status operations.
#include <gtest/gtest.h>

#include "core/encoding.h"
#include "core/job.h"
#include "core/log_names.h"
#include "core/message_log.h"
#include "core/options.h"
#include "core/subtitle.h"
#include "core/table_state.h"
#include "stream/load.h"
#include "support/stream_builder.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;

TEST(TicksToSrtTime, FormatsTicksAsSrtTime) {
    struct Case {
        uint32_t ticks;
        const char* expected;
    };
    const Case cases[] = {
        {0, "00:00:00,000"},          {90000, "00:00:01,000"},      {5400000, "00:01:00,000"},
        {324000000, "01:00:00,000"},  {123456789, "00:22:51,742"},  {4294967295u, "13:15:21,859"},
        {45, "00:00:00,001"},         {44, "00:00:00,000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ticks);
        EXPECT_EQ(ticksToSrtTime(c.ticks), c.expected);
    }
}

TEST(EffectiveEnd, SuppliesMissingAndReversedEnds) {
    std::vector<TSUP> subs(4);
    subs[0].startPTS = 1000; subs[0].endPTS = 5000;     // own end
    subs[1].startPTS = 6000; subs[1].endPTS = 0;        // no end: next start
    subs[2].startPTS = 9000; subs[2].endPTS = 8000;     // reversed: next start
    subs[3].startPTS = 20000; subs[3].endPTS = 0;       // last, no end: start + 2 s
    EXPECT_EQ(effectiveEnd(subs, 0), 5000u);
    EXPECT_EQ(effectiveEnd(subs, 1), 9000u);
    EXPECT_EQ(effectiveEnd(subs, 2), 20000u);
    EXPECT_EQ(effectiveEnd(subs, 3), 20000u + 180000u);
    EXPECT_FALSE(endSupplied(subs, 0));
    EXPECT_TRUE(endSupplied(subs, 1));
    // The next subtitle starting at the same time is no end; near the top it saturates.
    std::vector<TSUP> same(2);
    same[0].startPTS = same[1].startPTS = 4294967000u;
    EXPECT_EQ(effectiveEnd(same, 0), 4294967295u);
}

namespace {
struct MarkupCase {
    const char* name;
    std::string text;
    const char* visible;
    std::vector<LogRun> runs;   // start, length and the fields that matter
};

LogRun run(size_t start, size_t length) {
    LogRun r;
    r.start = start;
    r.length = length;
    return r;
}
LogRun bold(size_t s, size_t l) { auto r = run(s, l); r.bold = true; return r; }
LogRun colored(size_t s, size_t l, Color c) { auto r = run(s, l); r.windowText = false; r.color = c; return r; }
LogRun sized(size_t s, size_t l, int size) { auto r = run(s, l); r.size = size; return r; }
}  // namespace

// Fragment lists read as 64 zeros until written; a copy keeps its values when the original
// is written afterwards (a record keeps the fragments it showed when the object changes).
TEST(PartList, ReadsZerosAndCopiesKeepTheirValues) {
    PartList a;
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[63], 0);
    a[0] = 10;
    a[40] = 40;
    const PartList copy = a;
    EXPECT_TRUE(copy.sharesStorageWith(a));
    a[40] = 41;
    a[0] = 11;
    a[63] = 63;
    EXPECT_EQ(copy[0], 10);
    EXPECT_EQ(copy[40], 40);
    EXPECT_EQ(copy[63], 0);
    EXPECT_EQ(a[40], 41);
    EXPECT_EQ(a[63], 63);
    EXPECT_FALSE(copy.sharesStorageWith(a));
    EXPECT_FALSE(copy == a);
    EXPECT_THROW(a[64] = 1, std::out_of_range);
}

TEST(Markup, BuildsVisibleTextAndRuns) {
    const MarkupCase cases[] = {
        {"red line", "[re]Unsupported file format.[/re]", "Unsupported file format.",
         {colored(0, 24, 0x0000FF)}},
        {"bold middle", "a [b]b[/b] c", "a b c", {bold(2, 1)}},
        {"brackets vanish", "x [1,2] - [3,4]", "x  - ", {}},
        {"unclosed tag", "a [b]", "a ", {}},
        {"colour digits read blue green red", "[c:FF0000]x[/c:FF0000]", "x", {colored(0, 1, 0xFF0000)}},
        {"colour skips non-digits", "[c:0g0zFF]y[/c:0g0zFF]", "y", {colored(0, 1, 0x0000FF)}},
        {"sizes", "[s1]a[/s1][s2]b[/s2]", "ab", {sized(0, 1, 10), sized(1, 1, 12)}},
        {"blue", "[bl]z[/bl] w", "z w", {colored(0, 1, 0xFF0000)}},
        {"close before open shows as is", "a]b[c", "a]b[c", {}},
        {"open without close shows as is", "file [x.sup", "file [x.sup", {}},
        {"empty", "", "", {}},
        {"escaped name keeps its brackets and letters", "[b]" + logName("caf\xC3\xA9 [1].sup") + "[/b] loading",
         "café [1].sup loading", {bold(0, 13)}},
        {"escaped error keeps its brackets", "[re]" + logEscaped("Cannot open \"a]b[c\"") + "[/re]",
         "Cannot open \"a]b[c\"", {colored(0, 19, 0x0000FF)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LogLine line = parseMarkup(c.text);
        EXPECT_EQ(line.text, c.visible);
        ASSERT_EQ(line.runs.size(), c.runs.size());
        for (size_t k = 0; k < c.runs.size(); ++k) {
            EXPECT_EQ(line.runs[k].start, c.runs[k].start);
            EXPECT_EQ(line.runs[k].length, c.runs[k].length);
            EXPECT_EQ(line.runs[k].bold, c.runs[k].bold);
            EXPECT_EQ(line.runs[k].size, c.runs[k].size);
            EXPECT_EQ(line.runs[k].windowText, c.runs[k].windowText);
            if (!c.runs[k].windowText) {
                EXPECT_EQ(line.runs[k].color, c.runs[k].color);
            }
        }
    }
}

TEST(MessageLog, LineAndStatusOperations) {
    RecordingHost host;
    MessageLog msg(host);
    msg.logn("on an empty log");
    msg.log2("first");
    msg.log("[b]second[/b]");
    msg.logn("replaced");
    EXPECT_EQ(host.logText(), "on an empty log\nfirst\n\nreplaced\n");
    EXPECT_TRUE(host.lines.back().runs.empty());

    msg.erlog("Broken");
    EXPECT_EQ(host.lines.back().text, "Broken");
    EXPECT_EQ(host.lines.back().runs.at(0).color, 0x0000FFu);
    EXPECT_TRUE(host.status.errorBadge);
    EXPECT_EQ(host.status.panel[0].width, 55);
    EXPECT_EQ(host.status.panel[1].text, " Broken");
    EXPECT_EQ(host.status.hint, "Broken");
    EXPECT_EQ(host.beeps, 1);

    msg.slog("Loading x", 0);
    EXPECT_FALSE(host.status.errorBadge);
    EXPECT_FALSE(host.status.bold);
    EXPECT_EQ(host.status.panel[0].text, " Loading x");

    msg.slog2("Ready", "");
    EXPECT_EQ(host.status.panel[1].text, " ");
    EXPECT_EQ(host.lines.back().text, "");

    msg.pslog("Saving 3", 3, 12);
    EXPECT_EQ(host.title, "Vantrel - 25%");
    EXPECT_EQ(host.progressPosition, 3);
    msg.pslog("nothing loaded", 0, 0);
    EXPECT_EQ(host.title, "Vantrel - 0%");
}

TEST(Options, SetsValuesByStoredName) {
    Options o;
    EXPECT_EQ(settingValues().size(), 37u);
    EXPECT_EQ(settingLoadOrder().size(), 37u);
    for (const char* name : settingLoadOrder()) EXPECT_NE(findSetting(name), nullptr) << name;
    EXPECT_TRUE(setSetting(o, "CutLevel", "150"));
    EXPECT_EQ(o.ieCutLevel, 150);
    EXPECT_TRUE(setSetting(o, "Details", "1"));
    EXPECT_TRUE(o.cbDetails);
    EXPECT_TRUE(setSetting(o, "Workdir", "/tmp/out"));
    EXPECT_EQ(o.eWorkDir, "/tmp/out");
    EXPECT_FALSE(setSetting(o, "CutLevel", "abc"));
    EXPECT_FALSE(setSetting(o, "NoSuchValue", "1"));
    EXPECT_EQ(o.ieCutLevel, 150);
}

// Stored settings files and --set hold whatever a user or a damaged file wrote; every integer
// lands inside its range, and the defaults are left alone.
TEST(Options, ClampsIntegersToTheirRanges) {
    struct Case {
        const char* name;
        const char* value;
        int Options::*field;
        int expected;
    };
    const Case cases[] = {
        {"LastLine", "2147483647", &Options::ieLastLine, 1079},
        {"LineSpc", "2147483647", &Options::ieLineSpc, 1080},
        {"Spacing", "-2147483648", &Options::ieSpacing, -10},
        {"C_Div", "0", &Options::ieDIV, 1},
        {"C_Mul", "-2147483648", &Options::ieMUL, 1},
        {"CutLevel", "300", &Options::ieCutLevel, 255},
        {"MaxColor", "-5", &Options::ieMaxColor, 0},
        {"Format", "99", &Options::rgFormat, 1},
        {"Frame", "-7", &Options::rgFrame, 0},
        {"SpaceWidth", "-1", &Options::ieSpaceWidth, 0},
        {"LastLine", "700", &Options::ieLastLine, 700},
    };
    // A number no integer setting can hold is skipped, as a value of the wrong kind is.
    {
        Options o;
        EXPECT_FALSE(setSetting(o, "Spacing", "-99999999999999"));
        EXPECT_EQ(o.ieSpacing, Options{}.ieSpacing);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        Options o;
        EXPECT_TRUE(setSetting(o, c.name, c.value));
        EXPECT_EQ(o.*(c.field), c.expected);
    }

    const Options defaults;
    Options clamped = defaults;
    clampSettings(clamped);
    for (const SettingValue& v : settingValues()) {
        if (v.kind != ValueKind::Integer) continue;
        EXPECT_EQ(clamped.*(v.integer), defaults.*(v.integer)) << v.name;
    }
    clamped.ieLineSpc = -5;
    clamped.Width = 2147483647;
    clampSettings(clamped);
    EXPECT_EQ(clamped.ieLineSpc, 0);
    EXPECT_EQ(clamped.Width, 100000);
}

TEST(Encoding, ConvertsBetweenWindows1252AndUtf8) {
    EXPECT_EQ(cp1252ToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(utf8ToCp1252("caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD"), "caf\xE9 \x80 ?");
    EXPECT_TRUE(looksLikeUtf8("caf\xC3\xA9"));
    EXPECT_FALSE(looksLikeUtf8("caf\xE9"));
    EXPECT_FALSE(looksLikeUtf8("plain"));
    // Characters one by one: a byte that starts no valid sequence is its Windows-1252 character.
    EXPECT_EQ(toChars("aé\xE9ł€"), U"aééł€");
    EXPECT_EQ(charCount("Zażółć"), 6u);
    EXPECT_EQ(asUtf8("caf\xE9"), "café");
    EXPECT_EQ(asUtf8("café"), "café");
    size_t unmapped = 0;
    EXPECT_EQ(encodeText("łódź €", TextEncoding::Cp1252, &unmapped), "?\xF3" "d? \x80");
    EXPECT_EQ(unmapped, 2u);
    EXPECT_EQ(encodeText("łódź", TextEncoding::Utf8), "łódź");
    // Case and script of the letters subtitles use.
    const struct {
        char32_t upper, lower;
        Script script;
    } letters[] = {{U'A', U'a', Script::Latin}, {U'É', U'é', Script::Latin}, {U'Ł', U'ł', Script::Latin},
                   {U'Ž', U'ž', Script::Latin}, {U'Ș', U'ș', Script::Latin}, {U'Ğ', U'ğ', Script::Latin},
                   {U'Σ', U'σ', Script::Greek}, {U'Ώ', U'ώ', Script::Greek}, {U'Я', U'я', Script::Cyrillic},
                   {U'Ё', U'ё', Script::Cyrillic}, {U'Ґ', U'ґ', Script::Cyrillic}};
    for (const auto& l : letters) {
        SCOPED_TRACE(toUtf8(l.upper));
        EXPECT_TRUE(isUpper(l.upper) && isLower(l.lower) && !isUpper(l.lower) && !isLower(l.upper));
        EXPECT_EQ(toLowerChar(l.upper), l.lower);
        EXPECT_EQ(toUpperChar(l.lower), l.upper);
        EXPECT_EQ(scriptOf(l.upper), l.script);
        EXPECT_TRUE(isLetter(l.lower));
    }
    EXPECT_EQ(toUpperChar(U'ς'), U'Σ');
    EXPECT_EQ(toUpperChar(U'ı'), U'I');
    EXPECT_EQ(toLowerChar(U'İ'), U'i');
    EXPECT_FALSE(isLetter(U'·') || isLetter(U'×') || isLetter(U'5'));
}

// A job sets the busy state, and undoes it on every way out: a normal end, a cancel, an
// exception. The commands that need a table come back only when there is one.
TEST(JobScope, SetsTheBusyStateAndUndoesItOnEveryWayOut) {
    struct Case {
        const char* name;
        bool withTable;
        bool cancel;
        bool fail;
    };
    const Case cases[] = {
        {"completed", true, false, false},
        {"cancelled", true, true, false},
        {"failed", true, false, true},
        {"failed without a table", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vantrel::testing::TestSession session;
        auto& [host, msg, prog, opt, ctx] = session;
        if (c.withTable) prog.Subs.resize(2);
        prog.SubKind = kBluRayKind;
        prog.controls.bReadSUP = true;
        bool cancelled = false;
        try {
            JobScope job(ctx, {&Program::ExportingBD, true, true});
            EXPECT_TRUE(prog.Busy && prog.ExportingBD);
            EXPECT_TRUE(prog.controls.bCancel && prog.controls.ProgressBar);
            EXPECT_FALSE(prog.controls.bExport || prog.controls.bReadSUP || prog.controls.mSRT);
            EXPECT_TRUE(refuseWhileWorking(ctx));
            if (c.cancel) prog.Cancel = true;
            cancelled = job.cancelled();
            if (c.fail) throw std::runtime_error("disk full");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(cancelled, c.cancel);
        EXPECT_FALSE(prog.Busy || prog.Cancel || prog.ExportingBD);
        EXPECT_FALSE(prog.controls.bCancel || prog.controls.ProgressBar);
        EXPECT_TRUE(prog.controls.bReadSUP && prog.controls.mSRT && prog.controls.WebLink);
        EXPECT_EQ(prog.controls.bExport, c.withTable);
        EXPECT_EQ(prog.controls.bOCRall, c.withTable);
        EXPECT_EQ(host.jobs, (std::vector<bool>{true, false}));
        EXPECT_EQ(host.beeps, 1);
        EXPECT_EQ(host.title, "Vantrel");
        EXPECT_FALSE(refuseWhileWorking(ctx));
    }
}

// What each kind of table allows, and the same answer from every way a table comes: a load
// and the end of a job (an export, picture saving, OCR all) after it. SRT import is in
// text_srt_test.cpp.
TEST(TableCommands, OneRuleForEveryKindAndEveryWayATableComes) {
    using vantrel::testing::Bytes;
    using vantrel::testing::SpBuilder;
    // One subpicture packet: a display area, field offsets, palette and contrast.
    auto subpicture = [](bool hd) {
        Bytes first = SpBuilder::staDsp();
        const uint32_t header = hd ? 10 : 4;
        for (const Bytes& c : {SpBuilder::setDarea(hd, 100, 1819, 900, 1019), SpBuilder::setDspxa(hd, header, header + 24),
                               SpBuilder::setColor2({}), SpBuilder::setContr2({}), SpBuilder::cmdEnd()})
            first.insert(first.end(), c.begin(), c.end());
        Bytes second = SpBuilder::stpDsp();
        second.push_back(0xFF);
        SpBuilder b;
        b.packet(900000, hd, Bytes(40, 0x11), {{0, first}, {100, second, true}});
        return b.bytes();
    };
    struct Case {
        const char* name;
        TableKind kind;
        size_t subtitles;
        TableCommands expected;   // save bitmaps, export, OCR
        Bytes stream;             // loaded to check the paths too; empty: the rule alone
    };
    const Case cases[] = {
        {"DVD-style", kDvdKind, 1, {true, true, false}, subpicture(false)},
        {"HD DVD", kHdDvdKind, 1, {true, true, true}, subpicture(true)},
        {"Blu-ray", kBluRayKind, 30, {true, true, true}, vantrel::testing::craftedBluRay(2000)},
        {"SRT", kSrtKind, 3, {true, true, false}, {}},
        {"empty DVD-style", kDvdKind, 0, {false, false, false}, {}},
        {"empty HD DVD", kHdDvdKind, 0, {false, false, false}, {}},
        {"empty Blu-ray", kBluRayKind, 0, {false, false, false}, {}},
        {"empty SRT", kSrtKind, 0, {false, false, false}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TableCommands t = tableCommands(c.kind, c.subtitles);
        EXPECT_EQ(t.saveBitmaps, c.expected.saveBitmaps);
        EXPECT_EQ(t.exportStream, c.expected.exportStream);
        EXPECT_EQ(t.ocr, c.expected.ocr);
        if (c.stream.empty()) continue;

        vantrel::testing::TestSession session;
        auto& [host, msg, prog, opt, ctx] = session;
        auto expectRule = [&](const char* when) {
            SCOPED_TRACE(when);
            EXPECT_EQ(prog.controls.bSaveBMP, c.expected.saveBitmaps);
            EXPECT_EQ(prog.controls.bExport, c.expected.exportStream);
            EXPECT_EQ(prog.controls.bOCRall, c.expected.ocr);
        };
        prog.eSUPfile = vantrel::testing::writeTempFile("kind.sup", c.stream);
        ASSERT_EQ(Load(ctx), LoadResult::Loaded);
        ASSERT_EQ(prog.SubKind, c.kind);
        ASSERT_FALSE(prog.Subs.empty());
        expectRule("after loading");
        { JobScope job(ctx, {&Program::ExportingBD, true, false}); }
        expectRule("after a job");
    }
}

// Unsaved work: texts and places changed since the table was loaded or last saved.
TEST(TableState, UnsavedWorkFollowsTextsAndPlacesUntilSaved) {
    Program p;
    EXPECT_FALSE(unsavedWork(p));   // no table, nothing to lose
    p.Subs.resize(3);
    p.Subs[1].text = "line 2";
    markTableSaved(p);
    EXPECT_FALSE(unsavedWork(p));
    p.Subs[1].text = "Hello";
    EXPECT_TRUE(unsavedWork(p));
    markTextsSaved(p);   // an SRT file was written
    EXPECT_FALSE(unsavedWork(p));
    p.Subs[2].obj[0].y1 = 40;   // moved on the screen
    EXPECT_TRUE(unsavedWork(p));
    markLayoutSaved(p);   // a stream was exported
    EXPECT_FALSE(unsavedWork(p));
    p.Subs[0].locked = 1;
    EXPECT_TRUE(unsavedWork(p));
}

// A failed load puts the open table back as it was, the file field included.
TEST(TableState, KeptTableComesBackWhole) {
    Program p;
    p.Subs.resize(2);
    p.Subs[1].text = "kept";
    p.BaseName = "movie.en";
    p.streamFile = "/films/movie.en.sup";
    p.eSUPfile = "/films/broken.sup";   // the field names the file that failed
    p.streamSize = 1234;
    p.SubKind = kBluRayKind;
    p.CurSub = 1;
    p.controls.udSubsMax = 2;
    p.controls.bOCRall = true;
    p.glyphs.review.glyphs.resize(4);
    markTableSaved(p);
    OpenTable open = keepOpenTable(p);

    p.Subs.clear();
    p.BaseName.clear();
    p.eSUPfile = "/films/broken.sup";
    p.streamFile = "/films/broken.sup";
    p.streamSize = 9;
    p.SubKind = kDvdKind;
    p.CurSub = 0;
    p.controls = {};
    p.glyphs.review = {};
    restoreOpenTable(p, std::move(open));
    ASSERT_EQ(p.Subs.size(), 2u);
    EXPECT_EQ(p.Subs[1].text, "kept");
    EXPECT_EQ(p.BaseName, "movie.en");
    EXPECT_EQ(p.eSUPfile, "/films/movie.en.sup");
    EXPECT_EQ(p.streamFile, "/films/movie.en.sup");
    EXPECT_EQ(p.streamSize, 1234);
    EXPECT_EQ(p.SubKind, kBluRayKind);
    EXPECT_EQ(p.CurSub, 1);
    EXPECT_EQ(p.controls.udSubsMax, 2);
    EXPECT_TRUE(p.controls.bOCRall);
    EXPECT_EQ(p.glyphs.review.glyphs.size(), 4u);
    EXPECT_FALSE(unsavedWork(p));
}
