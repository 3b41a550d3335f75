// The learned OCR engine: ink from palettes, lines and segments, alignment of the teacher's
// words, spaces, slant and the I/l choice, and whole streams read with Tesseract.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "export/writers.h"
#include "ocr/learned/glyphs.h"
#include "ocr/learned/languages.h"
#include "ocr/learned/learned.h"
#include "ocr/learned/library.h"
#include "ocr/learned/reading.h"
#include "ocr/learned/relabel.h"
#include "ocr/ocr.h"
#include "ocr/ocr_batch.h"
#include "render/palette.h"
#include "stream/load.h"
#include "support/render_support.h"
#include "support/stream_builder.h"
#include "text/atlas.h"
#include "text/srt_reader.h"
#include "support/recording_host.h"
#include "support/session.h"

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

// A DVD subpicture whose outline takes the white entry of the fixed table: the fill is the
// entry that touches the background least, whichever colour it has.
TEST(LearnedInk, FillOfAFixedTableByItsEdges) {
    PaletteState pal;
    pal.Alpha.fill(0);
    pal.Palette[1] = rgb(255, 255, 255);
    pal.Palette[2] = rgb(0, 0, 0);
    pal.Palette[3] = rgb(204, 204, 204);
    for (size_t i = 1; i <= 3; ++i) pal.Alpha[i] = 255;
    struct Case {
        const char* name;
        uint8_t outline, fill;
    };
    for (const Case& c : {Case{"outline white, fill black", 1, 2}, Case{"outline black, fill white", 2, 1}}) {
        SCOPED_TRACE(c.name);
        // Three strokes 4 px wide with a 2 px outline on a transparent background.
        constexpr int w = 60, h = 40;
        std::vector<uint8_t> plane(w * h, 0);
        for (int k = 0; k < 3; ++k)
            for (int y = 4; y < 36; ++y)
                for (int x = 4 + 18 * k; x < 16 + 18 * k; ++x) {
                    const bool inner = x >= 8 + 18 * k && x < 12 + 18 * k && y >= 8 && y < 32;
                    plane[static_cast<size_t>(y * w + x)] = inner ? c.fill : c.outline;
                }
        const auto ink = inkEntriesByEdges(plane, w, h, pal);
        EXPECT_TRUE(ink[c.fill]);
        EXPECT_FALSE(ink[c.outline]);
        EXPECT_FALSE(ink[0]);
    }
    // Text without an outline: every opaque entry is ink.
    std::vector<uint8_t> plain(40 * 20, 0);
    for (int x = 5; x < 35; ++x) plain[static_cast<size_t>(10 * 40 + x)] = 1;
    EXPECT_TRUE(inkEntriesByEdges(plain, 40, 20, pal)[1]);
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
        // Two upright marks floating above the baseline: « or ». Two periods on it stay two.
        {"guillemet", Canvas(50, 40).rect(2, 16, 4, 10).rect(8, 16, 4, 10).rect(18, 4, 6, 28).rect(28, 4, 6, 28)
                          .rect(38, 4, 6, 28), "2111"},
        {"two periods", Canvas(40, 40).rect(2, 28, 4, 4).rect(10, 28, 4, 4).rect(18, 4, 8, 28), "111"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClusterTable table;
        EXPECT_EQ(shapes(cutLines(c.canvas.m, table), table), c.parts);
    }
}

// Two lines of one object with tight leading: line 1's descenders and line 2's ascenders
// share rows, and one pair touches through a pixel. The lines come apart at the valley
// between their bodies, the touching pair is cut where it is thinnest, and no glyph stacks
// parts of both lines.
TEST(LearnedSegments, LinesSharingRowsComeApart) {
    Canvas c(110, 70);
    for (int k = 0; k < 6; ++k) c.rect(2 + 12 * k, 10, 8, 20).rect(2 + 12 * k, 44, 8, 20);
    c.rect(74, 10, 6, 30);    // a descender of line 1, rows 10..39
    c.rect(76, 40, 1, 1);     // touching ...
    c.rect(74, 41, 6, 23);    // ... an ascender of line 2, rows 41..63
    c.rect(88, 33, 6, 31);    // an ascender of line 2 beside the descender, rows 33..63
    c.rect(100, 4, 4, 4);     // a mark over line 1, of no letter
    ClusterTable table;
    const auto lines = cutLines(c.m, table);
    ASSERT_EQ(shapes(lines, table), "11111111|11111111");
    // The descender ends where it met the ascender; line 2 starts with its ascenders.
    EXPECT_EQ(lines[0].glyphs[6].top, 10);
    EXPECT_LE(lines[0].glyphs[6].bottom, 40);
    EXPECT_GE(lines[1].glyphs[6].top, 40);
    // A band of accents or serifs over one line is no line of its own.
    Canvas accents(80, 50);
    for (int k = 0; k < 6; ++k) accents.rect(2 + 12 * k, 4, 6, 5).rect(2 + 12 * k, 16, 8, 24);
    ClusterTable t2;
    EXPECT_EQ(cutLines(accents.m, t2).size(), 1u);
    // Tight lines: the lower line's dots share rows with the upper line's descender, so the
    // only empty rows lie between those dots and their stems. The dots stay with their stems.
    Canvas tight(80, 62);
    for (int k = 0; k < 6; ++k) tight.rect(2 + 12 * k, 4, 8, 20).rect(2 + 12 * k, 38, 4, 20);
    for (int k = 0; k < 6; k += 2) tight.rect(3 + 12 * k, 32, 2, 3);   // dots over every other stem
    tight.rect(74, 4, 4, 32);   // a descender of line 1 down to row 35, beside the dots
    ClusterTable t3;
    EXPECT_EQ(shapes(cutLines(tight.m, t3), t3), "1111111|212121");
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
        {"the ellipsis is three dots", {nullptr, nullptr, nullptr, nullptr, nullptr}, "no…", "0=n 1=o 2=. 3=. 4=.", 0,
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
    // A vote must fit the glyph's place: no letter is a raised mark, no small letter a short
    // mark hanging below the baseline (a comma misaligned with a "u").
    EXPECT_FALSE(riseFits("a", Rise::Raised));
    EXPECT_TRUE(riseFits("’", Rise::Raised));
    EXPECT_FALSE(riseFits("u", Rise::Below, true));
    EXPECT_FALSE(riseFits("о", Rise::Below, true));
    EXPECT_TRUE(riseFits(",", Rise::Below, true));
    EXPECT_TRUE(riseFits("u", Rise::Below, false));   // a letter whose foot met the next line
    EXPECT_TRUE(riseFits("y", Rise::Below, true));
}

// --- Spaces, slant, I and l ---

// Touching pairs as narrow as one usual letter ("fi" in "fifty", "rt" in "Warte"): once the
// stream's widths are known, a segment as wide as two letters reads both, and a vote for
// one letter on a segment far wider than that letter is not given.
TEST(LearnedAlign, TouchingPairsByTheStreamsWidths) {
    const TypicalWidth widths = [](unsigned char c) {
        switch (c) {
            case 'f': return 12;
            case 'i': return 6;
            case 't': return 10;
            case 'y': return 16;
            case 'r': return 11;
            case 'a': return 15;
            default: return 0;
        }
    };
    struct Case {
        const char* name;
        std::string text;
        std::vector<int> widths;   // of the unknown segments
        std::string votes;
    };
    const Case cases[] = {
        {"fi touching", "fifty", {16, 12, 10, 16}, "0=fi 1=f 2=t 3=y"},
        {"rt touching", "Warte", {0, 15, 19, 0}, "0=W 1=a 2=rt 3=e"},
        {"letters apart", "fifty", {12, 6, 12, 10, 16}, "0=f 1=i 2=f 3=t 4=y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<AlignSegment> segs;
        for (size_t i = 0; i < c.widths.size(); ++i) segs.push_back({static_cast<int32_t>(i), nullptr, false, 1, c.widths[i]});
        std::string got;
        for (const AlignVote& v : alignWord(segs, c.text, widths)) {
            if (!got.empty()) got += ' ';
            got += std::to_string(v.segment) + "=" + v.text;
        }
        EXPECT_EQ(got, c.votes);
    }
}

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

TEST(LearnedText, LookAlikeLettersTakeTheirWordsScript) {
    struct Case {
        const char* in;
        Script fallback;
        const char* out;
    };
    const Case cases[] = {
        {"cтoл", Script::Latin, "стол"},          // Latin c and o in a Russian word
        {"Мoscow", Script::Cyrillic, "Moscow"},   // a Cyrillic М in an English word
        {"Пpивeт", Script::Latin, "Привет"},
        {"Aθήνα", Script::Latin, "Αθήνα"},        // Latin A in a Greek word
        {"οκ", Script::Latin, "οκ"},              // κ tells: Greek
        {"ocean", Script::Cyrillic, "ocean"},     // n tells: Latin
        {"ос", Script::Latin, "oc"},              // nothing tells: the language's script
        {"oc", Script::Cyrillic, "ос"},
        {"µου", Script::Latin, "μου"},            // the micro sign in a Greek word is μ
        {"10µm", Script::Latin, "10µm"},
        {"Łódź", Script::Cyrillic, "Łódź"},       // Latin letters of their own tell
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        std::u32string word = toChars(c.in);
        writeInOneScript(word, c.fallback);
        EXPECT_EQ(toUtf8(word), c.out);
    }
    // Words of other scripts keep their I-like letters for this step.
    EXPECT_EQ(chooseIl("Іван", nullptr), "Іван");
    // Letters drawn in two pieces are joined when the text is written.
    EXPECT_EQ(joinSplitLetters("zlut\u030Coucky d\u030Cabel"), "zluťoucky ďabel");
    EXPECT_EQ(joinSplitLetters("\u0301Ηταν"), "Ήταν");
    EXPECT_EQ(joinSplitLetters("бьıл ЬІ ЬI"), "был Ы Ы");
    EXPECT_EQ(joinSplitLetters("tı l\u030C"), "tı ľ");
}

// --- Whole streams ---

struct StreamSession : vantrel::testing::TestSession {
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
    ASSERT_EQ(importSrt(src.ctx, path), static_cast<int>(texts.size()));
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
    // A stream of capitals alone: its glyphs are as tall as its x-height, and still capitals.
    StreamSession caps;
    exportedStream(caps, {"TEST", "STOP HERE", "EXIT TO THE EAST"}, "capitals");
    LearnedTotals capsTotals;
    ASSERT_TRUE(runLearnedEngine(caps.ctx, {1, 2, 3}, {}, capsTotals)) << caps.host.logText();
    EXPECT_EQ(caps.prog.Subs[0].text, "TEST");
    EXPECT_EQ(caps.prog.Subs[2].text, "EXIT TO THE EAST");
}

// The reading keeps its glyphs: every text is rebuilt from them exactly, and what the user
// confirms goes to the library, from which the next stream in the font is read without the
// teacher.
TEST(LearnedStream, KeptGlyphsRebuildTheTextsAndTheLibraryTeachesTheNextStream) {
    const std::vector<std::string> first = {
        "Where are you going?\nI don't know yet.",
        "<i>Somewhere far away</i>\n<i>a bell was ringing.</i>",
        "We should leave now, okay?",
    };
    StreamSession a;
    exportedStream(a, first, "library episode 1");
    LearnedTotals totals;
    ASSERT_TRUE(runLearnedEngine(a.ctx, {1, 2, 3}, {}, totals)) << a.host.logText();
    const GlyphReview& review = a.prog.glyphs.review;
    ASSERT_EQ(review.glyphs.size(), static_cast<size_t>(totals.clusters));
    ASSERT_EQ(review.texts.size(), first.size());
    for (const ReviewText& t : review.texts) {
        SCOPED_TRACE(t.subtitle);
        EXPECT_EQ(buildReviewText(review, t).text, a.prog.Subs[static_cast<size_t>(t.subtitle - 1)].text);
    }
    int64_t places = 0;
    for (const ReviewGlyph& g : review.glyphs) {
        places += static_cast<int64_t>(g.places.size());
        EXPECT_TRUE(g.known);
        EXPECT_NE(g.naming, GlyphNaming::Unknown);
        EXPECT_NE(g.naming, GlyphNaming::Library);
    }
    EXPECT_EQ(places, totals.glyphs);

    a.prog.glyphs.library.path = testing::writeTempFile("library episode.lib", {});
    for (size_t i = 0; i < review.glyphs.size(); ++i)
        ASSERT_TRUE(confirmGlyph(a.ctx, static_cast<int32_t>(i))) << review.glyphs[i].label;

    const std::vector<std::string> second = {"I don't know where you are going.", "<i>a bell far away</i>"};
    StreamSession b;
    exportedStream(b, second, "library episode 2");
    b.prog.glyphs.library.path = a.prog.glyphs.library.path;
    loadGlyphLibrary(b.prog.glyphs.library);
    LearnedTotals next;
    ASSERT_TRUE(runLearnedEngine(b.ctx, {1, 2}, {}, next)) << b.host.logText();
    EXPECT_EQ(next.teacherLines, 0);
    EXPECT_EQ(b.prog.Subs[0].text, second[0]);
    EXPECT_EQ(b.prog.Subs[1].text, second[1]);
    for (const ReviewGlyph& g : b.prog.glyphs.review.glyphs) EXPECT_EQ(g.naming, GlyphNaming::Library);
    // Without the library the teacher reads again.
    StreamSession c;
    exportedStream(c, second, "library episode 2 alone");
    ASSERT_TRUE(runLearnedEngine(c.ctx, {1, 2}, {}, next)) << c.host.logText();
    EXPECT_GT(next.teacherLines, 0);
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
    ocrAll(s.ctx);
    EXPECT_NE(s.host.logText().find("Using the rule engine instead."), std::string::npos) << s.host.logText();
    EXPECT_EQ(s.prog.Subs[0].lineCount, 1);
    // A code that could reach outside the data folder is refused before any file is tried.
    s.opt.ocrLanguage = "../eng";
    EXPECT_FALSE(runLearnedEngine(s.ctx, {1}, {}, totals));
}

TEST(LearnedStream, LanguagesAsUsersTypeThem) {
    struct Case {
        const char* typed;
        const char* code;   // null: refused
    };
    const Case cases[] = {
        {"eng", "eng"}, {"fr", "fra"},  {"FR", "fra"},           {"fre", "fra"},  {"ger", "deu"},
        {"German", "deu"}, {"dut", "nld"}, {"eng+fr", "eng+fra"}, {"xx", nullptr}, {"", nullptr},
        {"eng+", nullptr}, {"../eng", nullptr}, {"en_US", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const auto code = ocrLanguageCode(c.typed);
        if (c.code) {
            ASSERT_TRUE(code.has_value());
            EXPECT_EQ(*code, c.code);
        } else {
            EXPECT_FALSE(code.has_value()) << *code;
        }
    }
}

// --- Bad input ---

// A picture of palette indexes filled with one index.
testing::IndexPicture filled(int width, int height, uint8_t index) {
    return {width, height, std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height), index)};
}

// Index 1 strokes on index 0: rectangles [x, x + w) x [y, y + h) that stay inside.
void strokes(testing::IndexPicture& p, const std::vector<std::array<int, 4>>& rects) {
    for (const auto& [x, y, w, h] : rects)
        for (int yy = std::max(0, y); yy < std::min(p.height, y + h); ++yy)
            for (int xx = std::max(0, x); xx < std::min(p.width, x + w); ++xx)
                p.pixels[static_cast<size_t>(yy) * static_cast<size_t>(p.width) + static_cast<size_t>(xx)] = 1;
}

// "l l" as two bars on a 200 x 60 picture.
testing::IndexPicture barPair() {
    testing::IndexPicture p = filled(200, 60, 0);
    strokes(p, {{20, 5, 5, 45}, {50, 5, 5, 45}});
    return p;
}

using Palette = std::vector<testing::PgsBuilder::Entry>;
const Palette kTwoColours = {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}};

// One subtitle per picture, each shown for one second in a video of the given size, all
// with one palette.
testing::Bytes pictureStream(const std::vector<testing::IndexPicture>& pictures, const Palette& palette,
                             uint16_t videoWidth = 1920, uint16_t videoHeight = 1080) {
    testing::PgsBuilder b;
    uint16_t number = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const testing::IndexPicture& pic = pictures[i];
        const auto start = static_cast<uint32_t>(90000u * (2 * i + 1));
        const auto w = static_cast<uint16_t>(pic.width), h = static_cast<uint16_t>(pic.height);
        const uint16_t x = w < videoWidth ? 16 : 0, y = h < videoHeight ? 16 : 0;
        const testing::Bytes rle = testing::bluRayRle(pic);
        b.pcs(start, {{0, 0, x, y}}, 0x80, number++, videoWidth, videoHeight);
        b.wds(start, {{0, x, y, w, h}});
        b.pds(start, palette);
        b.ods(start, 0, true, true, rle, w, h, static_cast<uint32_t>(rle.size() + 4));
        b.end(start);
        b.pcs(start + 90000, {}, 0x00, number++, videoWidth, videoHeight);
        b.wds(start + 90000, {{0, x, y, w, h}});
        b.end(start + 90000);
    }
    return b.bytes();
}

// A stream read by "O&CR all" with the learned engine.
struct BadInputRun {
    StreamSession s;
    OcrBatchResult result;
    std::string log;

    BadInputRun(const testing::Bytes& stream, const std::string& name) {
        s.opt.ocrEngine = kOcrLearned;
        s.opt.ocrLanguage = "eng";
        s.prog.eSUPfile = testing::writeTempFile(name, stream);
        EXPECT_EQ(Load(s.ctx), LoadResult::Loaded);
        s.host.lines.clear();
        result = ocrAll(s.ctx);
        log = s.host.logText();
    }
    // The run ended with its totals, read by the learned engine.
    void expectTotals() const {
        EXPECT_FALSE(result.refused);
        EXPECT_FALSE(result.cancelled);
        EXPECT_NE(log.find("Learned OCR (eng): "), std::string::npos) << log;
        EXPECT_NE(log.find(" characters recognized."), std::string::npos) << log;
        EXPECT_NE(log.find("Done."), std::string::npos) << log;
        EXPECT_EQ(log.find("Using the rule engine instead."), std::string::npos) << log;
    }
    // The engine's count of glyphs nobody named, from its log line.
    int64_t unknown() const {
        const size_t end = log.find(" glyphs unknown.");
        if (end == std::string::npos) return -1;
        size_t begin = end;
        while (begin > 0 && std::isdigit(static_cast<unsigned char>(log[begin - 1]))) --begin;
        return std::stoll(log.substr(begin, end - begin));
    }
    int64_t marks() const {
        int64_t n = 0;
        for (const TSUP& sub : s.prog.Subs) n += countUnknownMarks(sub.text);
        return n;
    }
};

// Whatever the picture's size or palette the run ends with its totals. A picture without
// ink is left as it was, as the rule engine leaves it; a block or a speck of ink is no text:
// no characters are written for it and it is marked for review.
TEST(LearnedBadInput, PicturesOfAnySizeAndOneColourPalettes) {
    const Palette oneColour = {{0, 235, 128, 128, 255}, {1, 235, 128, 128, 255}};
    const Palette invisible = {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 0}};
    struct Case {
        const char* name;
        testing::IndexPicture picture;
        Palette palette;
        uint16_t videoWidth, videoHeight;
        int lines;          // of the picture's subtitle
        const char* text;   // its text
        int barLines;       // of the "l l" subtitle after it, in the same palette
        bool noText;        // marked as a picture without text
    };
    const Case cases[] = {
        {"1 x 1 ink", filled(1, 1, 1), kTwoColours, 1920, 1080, 0, "", 1, true},
        {"1 x 1 transparent", filled(1, 1, 0), kTwoColours, 1920, 1080, 0, "line 1", 1, false},
        {"0 x 0", filled(0, 0, 0), kTwoColours, 1920, 1080, 0, "line 1", 1, false},
        {"4096 x 4096 all ink", filled(4096, 4096, 1), kTwoColours, 4096, 4096, 0, "", 1, true},
        {"4096 x 4096 empty", filled(4096, 4096, 0), kTwoColours, 4096, 4096, 0, "line 1", 1, false},
        {"1920 x 1080 all ink", filled(1920, 1080, 1), kTwoColours, 1920, 1080, 0, "", 1, true},
        // Background and strokes alike are ink: one block too large to be a glyph.
        {"one opaque colour", barPair(), oneColour, 1920, 1080, 0, "", 0, true},
        {"one transparent colour", barPair(), invisible, 1920, 1080, 0, "line 1", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BadInputRun run(pictureStream({c.picture, barPair()}, c.palette, c.videoWidth, c.videoHeight), "bad input.sup");
        run.expectTotals();
        ASSERT_EQ(run.s.prog.Subs.size(), 2u);
        const TSUP& sub = run.s.prog.Subs[0];
        EXPECT_EQ(sub.lineCount, c.lines);
        EXPECT_EQ(sub.text, c.text);
        EXPECT_EQ(sub.noText, c.noText ? 1 : 0);
        if (c.noText) {
            EXPECT_EQ(sub.ocrOK, 0);
        }
        EXPECT_EQ(run.s.prog.Subs[1].lineCount, c.barLines);
        EXPECT_EQ(run.unknown(), run.marks());
    }
}

// A long stream of small pictures: every subtitle is read and counted.
TEST(LearnedBadInput, TwentyThousandSubtitles) {
    const std::vector<testing::IndexPicture> kinds = {barPair(), filled(24, 30, 1), filled(1, 1, 1)};
    constexpr size_t kCount = 20000;
    std::vector<testing::IndexPicture> pictures;
    for (size_t i = 0; i < kCount; ++i) pictures.push_back(kinds[i % kinds.size()]);
    BadInputRun run(pictureStream(pictures, kTwoColours), "twenty thousand.sup");
    run.expectTotals();
    ASSERT_EQ(run.s.prog.Subs.size(), kCount);
    EXPECT_EQ(run.result.recognised, static_cast<int32_t>(kCount));
    // The single pixels are specks, not text: every third subtitle has no line.
    const int64_t lines = static_cast<int64_t>(kCount - kCount / 3);
    EXPECT_EQ(run.result.totalLines, lines);
    EXPECT_NE(run.log.find(std::to_string(lines) + " lines, "), std::string::npos) << run.log;
    EXPECT_EQ(run.unknown(), run.marks());
}

// A subtitle of isolated specks over a whole 1920-wide picture: cutting it stays within a
// budget (the parts are sorted, each looks at its neighbours only), and it is a picture
// without text, kept and marked, with no junk written for it.
TEST(LearnedBadInput, ManySmallParts) {
    // Specks every 3 columns are more parts than any text has; every 8 columns they are cut
    // and found to be no text.
    for (int step : {3, 8}) {
        SCOPED_TRACE(step);
        constexpr int kRows = 60;
        testing::IndexPicture specks = filled(1900, kRows, 0);
        for (int y = 0; y < kRows; y += 3)
            for (int x = (y / 3) % 2; x < 1900; x += step) specks.pixels[static_cast<size_t>(y) * 1900 + static_cast<size_t>(x)] = 1;
        BadInputRun run(pictureStream({barPair(), specks}, kTwoColours), "specks.sup");
        run.expectTotals();
        const TSUP& sub = run.s.prog.Subs.at(1);
        EXPECT_EQ(sub.noText, 1);
        EXPECT_EQ(sub.ocrOK, 0);
        EXPECT_EQ(sub.text, "");
    }
}

// Glyphs of a script the teacher does not read: boxes of strokes such as Japanese
// characters are made of, set without spaces. The teacher may take some for Latin letters;
// the rest stay "·", and the run ends with its totals.
TEST(LearnedBadInput, NonLatinGlyphs) {
    uint32_t seed = 12345;
    auto next = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % static_cast<uint32_t>(n));
    };
    // 40 characters of 44 x 44 pixels: a frame or a stem, and bars across and down.
    std::vector<std::vector<std::array<int, 4>>> glyphs;
    for (int g = 0; g < 40; ++g) {
        std::vector<std::array<int, 4>> r;
        if (g % 3 == 0) r.push_back({0, 0, 44, 4}), r.push_back({0, 40, 44, 4}), r.push_back({0, 0, 4, 44}), r.push_back({40, 0, 4, 44});
        else r.push_back({20, 0, 4, 44});
        for (int k = 0, n = 2 + next(3); k < n; ++k) r.push_back({next(12), 6 + next(32), 20 + next(24), 4});
        for (int k = 0, n = 1 + next(2); k < n; ++k) r.push_back({6 + next(32), next(12), 4, 20 + next(24)});
        glyphs.push_back(r);
    }
    std::vector<testing::IndexPicture> pictures;
    for (int sub = 0; sub < 60; ++sub) {
        const int n = 4 + next(10);
        testing::IndexPicture p = filled(16 + n * 52, 76, 0);
        for (int k = 0; k < n; ++k) {
            std::vector<std::array<int, 4>> r = glyphs[static_cast<size_t>(next(40))];
            for (auto& rect : r) rect[0] += 8 + k * 52, rect[1] += 16;
            strokes(p, r);
        }
        pictures.push_back(p);
    }
    BadInputRun run(pictureStream(pictures, kTwoColours), "non latin.sup");
    run.expectTotals();
    for (const TSUP& sub : run.s.prog.Subs) {
        EXPECT_EQ(sub.lineCount, 1);
        EXPECT_FALSE(sub.text.empty());
        // A glyph nobody named leaves the subtitle for the error navigation.
        if (sub.text.find(kUnknownMark) != std::string::npos) {
            EXPECT_EQ(sub.ocrOK, 0);
        }
    }
    EXPECT_EQ(run.unknown(), run.marks());
    // The log says the text looks like another script, and which packs would read it.
    EXPECT_NE(run.log.find("the text looks like another script"), std::string::npos) << run.log;
}

// The single OCR with the learned engine frames the glyphs on the shown picture as the rule
// engine's does, the separators above and below each line included.
TEST(LearnedStream, SingleOcrDrawsTheGlyphFrames) {
    for (bool visible : {true, false}) {
        SCOPED_TRACE(visible ? "visible" : "hidden");
        StreamSession s;
        s.opt.ocrEngine = kOcrLearned;
        s.opt.ocrLanguage = "eng";
        s.prog.eSUPfile = testing::writeTempFile("frames.sup", pictureStream({barPair()}, kTwoColours));
        ASSERT_EQ(Load(s.ctx), LoadResult::Loaded);
        s.prog.pics.ensureAllocated();
        bOCRClick(s.ctx, 1, OcrCommandView{{}, visible});
        ASSERT_EQ(s.prog.Subs[0].lineCount, 1) << s.host.logText();
        const RgbImage& d = s.prog.pics.display;
        // The picture lies at (16, 16); the bars take columns 20..24 and 50..54, rows 5..49.
        EXPECT_EQ(d.at(16 + 40, 16 + 5 - 1), kOverlayGrey);
        EXPECT_EQ(d.at(16 + 40, 16 + 50), kOverlayGrey);
        for (int x : {19, 25, 49, 55}) {
            const Color c = d.at(16 + x, 16 + 30);
            EXPECT_EQ(c == kFrameUpright || c == kFrameUnknown, visible) << x;
        }
        EXPECT_EQ(d.at(16 + 35, 16 + 30) == kFrameUpright, false);
    }
}

}  // namespace
}  // namespace vantrel
