// The learned OCR engine: ink from palettes, lines and segments, alignment of the teacher's
// words, spaces, slant and the I/l choice, and whole streams read with Tesseract.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "export/writers.h"
#include "ocr/learned/glyphs.h"
#include "ocr/learned/learned.h"
#include "ocr/learned/reading.h"
#include "ocr/ocr_batch.h"
#include "render/palette.h"
#include "stream/load.h"
#include "support/stream_builder.h"
#include "text/atlas.h"
#include "text/srt_reader.h"

namespace vantrel {
namespace {

// --- Fixtures drawn in code ---

// A blank mask with filled rectangles and discs.
struct Canvas {
    InkMask m;
    Canvas(int w, int h) {
        m.width = w;
        m.height = h;
        m.bits.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    }
    // Rectangle [x, x + w) x [y, y + h), its columns shifted right by `slant` per row up
    // from `base` (a sheared, italic stroke).
    Canvas& rect(int x, int y, int w, int h, double slant = 0, int base = -1) {
        if (base < 0) base = y + h - 1;
        for (int yy = y; yy < y + h; ++yy) {
            const int shift = static_cast<int>(std::lround(slant * (base - yy)));
            for (int xx = x + shift; xx < x + shift + w; ++xx)
                if (xx >= 0 && yy >= 0 && xx < m.width && yy < m.height)
                    m.bits[static_cast<size_t>(yy) * static_cast<size_t>(m.width) + static_cast<size_t>(xx)] = 1;
        }
        return *this;
    }
};

std::string shapes(const std::vector<TextLine>& lines, const ClusterTable& table) {
    std::string out;
    for (const TextLine& l : lines) {
        if (!out.empty()) out += '|';
        for (const Glyph& g : l.glyphs) out += std::to_string(g.cluster >= 0 ? table[g.cluster].parts : 0);
    }
    return out;
}

// --- Ink from the palette ---

struct InkCase {
    const char* name;
    std::vector<std::pair<Color, uint8_t>> entries;   // colour, alpha of entries 0..n-1
    std::vector<uint32_t> counts;                     // pixels per entry
    std::vector<bool> ink;                            // expected ink per entry
};

Color rgb(int r, int g, int b) { return static_cast<Color>(r | (g << 8) | (b << 16)); }

TEST(LearnedInk, PaletteEntriesBecomeInk) {
    const std::vector<InkCase> cases = {
        {"white fill, black outline, anti-aliased ramp",
         {{0, 0}, {rgb(255, 255, 255), 255}, {rgb(0, 0, 0), 255}, {rgb(200, 200, 200), 255}, {rgb(60, 60, 60), 255}},
         {5000, 800, 900, 60, 50},
         {false, true, false, true, false}},
        {"yellow fill", {{0, 0}, {rgb(255, 255, 0), 255}, {rgb(0, 0, 0), 255}, {rgb(140, 140, 0), 255}},
         {5000, 700, 900, 40},
         {false, true, false, true}},
        {"cyan fill", {{0, 0}, {rgb(0, 255, 255), 255}, {rgb(0, 0, 0), 255}}, {5000, 700, 900}, {false, true, false}},
        {"magenta fill", {{0, 0}, {rgb(255, 0, 255), 255}, {rgb(10, 10, 10), 255}}, {5000, 700, 900}, {false, true, false}},
        {"no outline: every opaque entry, soft edge below half opacity left out",
         {{0, 0}, {rgb(255, 255, 255), 255}, {rgb(255, 255, 255), 180}, {rgb(255, 255, 255), 60}},
         {5000, 700, 80, 80},
         {false, true, true, false}},
        {"one colour", {{rgb(255, 255, 255), 255}}, {4000}, {true}},
        {"grey outline", {{0, 0}, {rgb(250, 250, 250), 255}, {rgb(90, 90, 90), 255}, {rgb(190, 190, 190), 255}},
         {5000, 700, 900, 50},
         {false, true, false, true}},
        {"dark text without outline", {{0, 0}, {rgb(20, 20, 20), 255}}, {5000, 500}, {false, true}},
    };
    for (const InkCase& c : cases) {
        SCOPED_TRACE(c.name);
        PaletteState pal;
        std::array<uint32_t, 256> counts{};
        for (size_t i = 0; i < c.entries.size(); ++i) {
            pal.Palette[i] = c.entries[i].first;
            pal.Alpha[i] = c.entries[i].second;
            counts[i] = c.counts[i];
        }
        const auto ink = inkEntries(pal, counts);
        for (size_t i = 0; i < c.ink.size(); ++i) EXPECT_EQ(ink[i], c.ink[i]) << "entry " << i;
    }
}

// --- Lines and segments ---

TEST(LearnedSegments, StackedPartsJoinAndLinesStayApart) {
    struct Case {
        const char* name;
        Canvas canvas;
        std::string parts;   // part count of each segment, lines joined by '|'
    };
    const std::vector<Case> cases = {
        // i: dot over stem; j: dot over a stem reaching below the baseline.
        {"i and j", Canvas(40, 40).rect(2, 5, 4, 4).rect(2, 12, 4, 20).rect(12, 5, 4, 4).rect(12, 12, 4, 26)
                        .rect(22, 2, 8, 30), "221"},
        // An accent band above a capital, with an empty row between: one line, one glyph.
        {"accent over a capital", Canvas(30, 50).rect(5, 2, 8, 4).rect(3, 9, 12, 30), "2"},
        {"upright colon and semicolon", Canvas(40, 40).rect(2, 14, 4, 4).rect(2, 28, 4, 4).rect(12, 14, 4, 4)
                                            .rect(12, 28, 4, 8).rect(22, 4, 10, 28), "221"},
        // Italic colon: the upper dot lies further right.
        {"italic colon", Canvas(40, 40).rect(6, 14, 4, 4).rect(3, 28, 4, 4).rect(20, 4, 4, 28, 0.2), "21"},
        // Touching glyphs stay one segment.
        {"touching pair", Canvas(40, 40).rect(2, 6, 4, 26).rect(6, 20, 10, 4).rect(16, 6, 4, 26), "1"},
        // Two lines 2 rows apart are not merged.
        {"close lines", Canvas(30, 64).rect(2, 2, 6, 28).rect(12, 2, 6, 28).rect(2, 32, 6, 28), "11|1"},
        // Two raised marks side by side: one quotation mark.
        {"quotation mark", Canvas(40, 40).rect(2, 4, 3, 8).rect(8, 4, 3, 8).rect(16, 4, 8, 28), "21"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClusterTable table;
        EXPECT_EQ(shapes(cutLines(c.canvas.m, table), table), c.parts);
    }
}

TEST(LearnedSegments, IdenticalBitmapsShareACluster) {
    // "lil": the two l are one cluster, the i another.
    Canvas c(40, 40);
    c.rect(2, 4, 4, 28).rect(12, 4, 4, 4).rect(12, 12, 4, 20).rect(22, 4, 4, 28);
    ClusterTable table;
    const auto lines = cutLines(c.m, table);
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].glyphs.size(), 3u);
    EXPECT_EQ(lines[0].glyphs[0].cluster, lines[0].glyphs[2].cluster);
    EXPECT_NE(lines[0].glyphs[0].cluster, lines[0].glyphs[1].cluster);
    EXPECT_EQ(table[lines[0].glyphs[0].cluster].count, 2);
    // A comma and an apostrophe of the same shape stay apart by their place.
    Canvas q(40, 40);
    q.rect(2, 4, 10, 24).rect(14, 4, 3, 7).rect(20, 25, 3, 7);
    ClusterTable t2;
    const auto l2 = cutLines(q.m, t2);
    ASSERT_EQ(l2[0].glyphs.size(), 3u);
    EXPECT_NE(l2[0].glyphs[1].cluster, l2[0].glyphs[2].cluster);
}

TEST(LearnedSegments, OddPicturesEndWithoutHarm) {
    const std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 300}, {300, 1}, {600, 600}};
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        for (uint8_t fill : {0, 1}) {
            InkMask m;
            m.width = w;
            m.height = h;
            m.bits.assign(static_cast<size_t>(w) * static_cast<size_t>(h), fill);
            ClusterTable table;
            const auto lines = cutLines(m, table);
            EXPECT_EQ(lines.size(), fill ? 1u : 0u);
        }
    }
    // A checkerboard: every pixel touches its diagonal neighbours, one segment.
    InkMask m;
    m.width = m.height = 200;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) m.bits.push_back(static_cast<uint8_t>((x + y) % 2));
    ClusterTable table;
    EXPECT_EQ(cutLines(m, table).size(), 1u);
}

// --- Alignment ---

TEST(LearnedAlign, TeacherWordsVoteForUnknownSegments) {
    const std::string k = "k", I = "I";
    struct Case {
        const char* name;
        std::vector<const std::string*> labels;   // null: unknown segment
        std::string text;
        std::string votes;   // "segment=text" joined by ' '; empty: no votes
        size_t marks = 0;    // the first `marks` segments are raised marks
        std::string parts = {};   // part count per segment (none: not known)
        std::vector<int> widths = {};
    };
    const std::vector<Case> cases = {
        {"one to one", {nullptr, nullptr, nullptr}, "cat", "0=c 1=a 2=t"},
        {"two letters never share one", {nullptr, nullptr, nullptr, nullptr}, "Yo", ""},
        {"known segment anchors", {nullptr, &k, nullptr}, "aks", "0=a 2=s"},
        {"touching pair takes two characters", {nullptr, nullptr, nullptr}, "barn", "0=b 1=a 2=rn"},
        {"two marks share a quotation mark", {nullptr, nullptr, nullptr, nullptr}, "\"Yo", "2=Y 3=o", 2},
        {"disagreeing anchor still aligns", {&I, nullptr, nullptr}, "lit", "1=i 2=t"},
        {"touching pair before a two-part sign", {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}, "puerta!",
         "0=p 1=u 2=e 3=rt 4=a 5=!", 0, "111112", {10, 11, 9, 13, 9, 3}},
        {"the ellipsis is three dots", {nullptr, nullptr, nullptr, nullptr, nullptr}, "no\x85", "0=n 1=o 2=. 3=. 4=.", 0,
         "11111", {10, 10, 3, 3, 3}},
        {"a stray sign is left out", {nullptr, nullptr, nullptr}, "was_", "0=w 1=a 2=s"},
        {"nothing alike", {&k, &k, &k, &k}, "xyzw", ""},
        {"one segment, long text", {nullptr}, "abcdef", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<AlignSegment> segs;
        for (size_t i = 0; i < c.labels.size(); ++i) segs.push_back({static_cast<int32_t>(i), c.labels[i], i < c.marks, i < c.parts.size() ? c.parts[i] - '0' : 0,
                            i < c.widths.size() ? c.widths[i] : 0});
        std::string got;
        for (const AlignVote& v : alignWord(segs, c.text)) {
            if (!got.empty()) got += ' ';
            got += std::to_string(v.segment) + "=" + v.text;
        }
        EXPECT_EQ(got, c.votes);
    }
}

// --- Spaces, slant, I and l ---

TEST(LearnedText, SpaceThresholdSplitsLetterAndWordGaps) {
    for (int scale : {1, 2, 3}) {
        SCOPED_TRACE(scale);
        std::vector<int32_t> gaps;
        for (int i = 0; i < 60; ++i) gaps.push_back(scale * (1 + i % 5));
        for (int i = 0; i < 15; ++i) gaps.push_back(scale * (16 + i % 6));
        const int32_t t = spaceThreshold(gaps, 20 * scale);
        EXPECT_GT(t, scale * 5);
        EXPECT_LE(t, scale * 16);
    }
    // Letter gaps only: a share of the text height, not the middle of the letter gaps.
    EXPECT_EQ(spaceThreshold({1, 2, 3, 2, 1, 3, 2, 1}, 30), 9);
}

TEST(LearnedText, SlantTellsItalicFromUpright) {
    struct Case {
        const char* name;
        double shear;
        int height;
        bool italic;
    };
    const std::vector<Case> cases = {
        {"upright stem", 0, 30, false}, {"italic stem", 0.2, 30, true},   {"small italic", 0.22, 14, true},
        {"large italic", 0.18, 90, true}, {"large upright", 0, 90, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // An n-like glyph: two stems and a bar on top.
        const int w = c.height / 2 + static_cast<int>(c.shear * c.height) + 2;
        Canvas cv(w + 4, c.height);
        const int stroke = std::max(2, c.height / 8);
        cv.rect(0, 0, stroke, c.height, c.shear).rect(c.height / 3, 0, stroke, c.height, c.shear)
            .rect(0, 0, c.height / 3 + stroke, stroke, c.shear, c.height - 1);
        Cluster cl;
        cl.width = cv.m.width;
        cl.height = cv.m.height;
        cl.bits = cv.m.bits;
        EXPECT_EQ(slantOf(cl).lean, c.italic ? 1 : -1) << slantOf(cl).slant;
    }
    // A symmetric V leans both ways: not italic.
    Canvas v(30, 30);
    v.rect(0, 0, 4, 30, 0.4).rect(12, 0, 4, 30, -0.4);
    Cluster cl;
    cl.width = 30;
    cl.height = 30;
    cl.bits = v.m.bits;
    EXPECT_EQ(slantOf(cl).lean, 0);
}

TEST(LearnedText, IOrLByDictionaryAndContext) {
    const std::set<std::string> words = {"Island", "little", "Ill", "ill"};
    auto known = [&](const std::string& w) { return words.count(w) > 0; };
    struct Case {
        const char* in;
        const char* out;
        bool dictionary;
    };
    const std::vector<Case> cases = {
        {"lsland", "Island", true}, {"IittIe", "little", true}, {"l", "I", true},     {"l", "I", false},
        {"WlLL", "WILL", false},   {"alI", "all", false},       {"Ill", "Ill", true}, {"l'homme", "l'homme", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(chooseIl(c.in, c.dictionary ? std::function<bool(const std::string&)>(known) : nullptr), c.out);
    }
}

// --- Whole streams ---

struct StreamSession {
    RecordingHost host;
    MessageLog msg{host};
    Program prog;
    Options opt;
    Context ctx{prog, opt, msg};
};

// Sets SRT text with the glyph atlas, exports it as a Blu-ray stream and loads that.
void exportedStream(StreamSession& s, const std::vector<std::string>& texts, const std::string& name) {
    std::string srt;
    for (size_t i = 0; i < texts.size(); ++i) {
        const int start = static_cast<int>(i) * 3 + 1;
        srt += std::to_string(i + 1) + "\n00:00:" + (start < 10 ? "0" : "") + std::to_string(start) +
               ",000 --> 00:00:" + (start + 2 < 10 ? "0" : "") + std::to_string(start + 2) + ",000\n" + texts[i] + "\n\n";
    }
    StreamSession src;
    fillLineY(src.prog, src.opt);
    const std::string path = testing::writeTempFile(name + ".srt", testing::Bytes(srt.begin(), srt.end()));
    src.prog.BaseName = path;
    ASSERT_EQ(ReadSRT(src.ctx, path), static_cast<int>(texts.size()));
    const std::string out = path + ".sup";
    ASSERT_EQ(exportStream(src.ctx, out), ExportResult::Done);
    s.prog.eSUPfile = out;
    ASSERT_EQ(Load(s.ctx), LoadResult::Loaded);
}

TEST(LearnedStream, ExportedTextReadsBack) {
    const std::vector<std::string> texts = {
        "Where are you going?\nI don't know yet.",
        "The quick brown fox jumps\nover the lazy dog.",
        "HELLO WORLD, 2024!\nMeet me at 10:30, okay?",
        "It's not what I said.\nWe should leave now.",
        "<i>Somewhere far away</i>\n<i>a bell was ringing.</i>",
        "I will call you later.",
    };
    StreamSession s;
    exportedStream(s, texts, "learned roundtrip");
    std::vector<int32_t> numbers;
    for (size_t i = 1; i <= texts.size(); ++i) numbers.push_back(static_cast<int32_t>(i));
    LearnedTotals totals;
    ASSERT_TRUE(runLearnedEngine(s.ctx, numbers, {}, totals)) << s.host.logText();
    EXPECT_EQ(totals.subtitles, static_cast<int32_t>(texts.size()));
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        std::string want = texts[i];
        std::replace(want.begin(), want.end(), '\n', '|');
        EXPECT_EQ(s.prog.Subs[i].text, want);
        EXPECT_EQ(s.prog.Subs[i].ocrOK, 1);
    }
    EXPECT_EQ(s.prog.Subs[4].font, 2);
    EXPECT_EQ(s.prog.Subs[0].font, 0);
    // The teacher read a few lines of word crops, not every line.
    EXPECT_GT(totals.teacherLines, 0);
    EXPECT_GT(totals.teacherCrops, 0);
    EXPECT_GE(totals.teacherGlyphs, totals.teacherCrops);
    EXPECT_EQ(totals.unknown, 0);
}

TEST(LearnedStream, MissingLanguageFallsBackToTheRules) {
    StreamSession s;
    exportedStream(s, {"Hello"}, "learned fallback");
    s.opt.ocrLanguage = "xx_none";
    LearnedTotals totals;
    EXPECT_FALSE(runLearnedEngine(s.ctx, {1}, {}, totals));
    EXPECT_NE(s.host.logText().find("tesseract-ocr-xx-none"), std::string::npos) << s.host.logText();
    EXPECT_EQ(s.prog.Subs[0].lineCount, 0);   // untouched
    // The batch hands over to the rule engine and says so.
    bOCRallClick(s.ctx);
    EXPECT_NE(s.host.logText().find("Using the rule engine instead."), std::string::npos) << s.host.logText();
    EXPECT_EQ(s.prog.Subs[0].lineCount, 1);
    // A code that could reach outside the data folder is refused before any file is tried.
    s.opt.ocrLanguage = "../eng";
    EXPECT_FALSE(runLearnedEngine(s.ctx, {1}, {}, totals));
}

}  // namespace
}  // namespace vantrel
