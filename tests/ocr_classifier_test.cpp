// The glyph classifier and its probes on hand-made glyphs.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "ocr/classifier.h"
#include "ocr/probes.h"
#include "ocr_glyph_painter.h"

using namespace vantrel;
using vantrel::testing::InkCanvas;
using vantrel::testing::Rect;

namespace {

constexpr int kLeft = 100;
constexpr int kTop = 200;

// A glyph box at (kLeft, kTop) whose measures are w = right - left and h = bottom - top.
// The line runs from kTop + lineTop to kTop + lineBottom (exclusive) unless given otherwise.
struct Case {
    const char* name;
    int w, h;
    std::vector<Rect> ink;
    std::vector<Rect> holes = {};
    uint16_t ch = 0;
    uint16_t second = 0;
    int lineTop = 0;       // relative to the box's top
    int lineBottom = -1;   // relative to the box's top; -1: one row below the box
};

Recognition classify(const Case& c, bool italic = false, bool paintSlanted = false) {
    InkCanvas canvas;
    const int lineTop = kTop + c.lineTop;
    if (paintSlanted) {
        canvas.slantTop = lineTop;
        canvas.slantMul = 4;
    }
    canvas.glyph(c.ink, c.holes, kLeft, kTop);
    GlyphQuery q;
    q.left = kLeft;
    q.right = kLeft + c.w;
    q.top = kTop;
    q.bottom = kTop + c.h;
    q.italic = italic;
    q.lineTop = lineTop;
    q.lineBottom = kTop + (c.lineBottom < 0 ? c.h + 1 : c.lineBottom);
    return recognize(canvas.plane, q);
}

void runCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Recognition r = classify(c);
        EXPECT_EQ(r.ch, c.ch);
        EXPECT_EQ(r.secondChar, c.second);
    }
}

// A filled triangle with its apex in the middle of the top row and a hole in its middle
// column: the shape of an "A" for wide boxes.
std::vector<Rect> triangle(int w, int h) {
    std::vector<Rect> rows;
    const int c = w / 2;
    for (int y = 0; y <= h; ++y) rows.push_back({std::max(0, c - y), y, std::min(w, c + y), y});
    return rows;
}

}  // namespace

TEST(Classifier, PunctuationAndNarrowGlyphs) {
    runCases({
        {"dot 5x4", 4, 3, {{0, 0, 4, 3}}, {}, '.', 0, -30, 40},
        {"comma near line bottom", 4, 11, {{0, 0, 4, 11}}, {}, ',', 0, -30, 11 + 7},
        {"comma test misses by one row", 4, 11, {{0, 0, 4, 11}}, {}, 0, 0, -30, 11 + 8},
        {"apostrophe near line top", 4, 11, {{0, 0, 4, 11}}, {}, '\'', 0, -5, 60},
        {"apostrophe test misses by one row", 4, 11, {{0, 0, 4, 11}}, {}, 0, 0, -6, 60},
        {"dash 20x3", 19, 2, {{0, 0, 19, 2}}, {}, '-'},
        {"dash 31 wide", 30, 2, {{0, 0, 30, 2}}, {}, '-'},
        {"dash 32 wide is nothing", 31, 2, {{0, 0, 31, 2}}, {}, 0},
        {"bar 35x3 is nothing", 34, 2, {{0, 0, 34, 2}}, {}, 0},
        {"colon", 4, 25, {{0, 0, 4, 4}, {0, 21, 4, 25}}, {}, ':'},
        {"solid bar", 4, 44, {{0, 0, 4, 44}}, {}, 'l'},
        {"dot above stem", 4, 44, {{0, 0, 4, 44}}, {{0, 8, 4, 8}}, 'i'},
        {"stem above dot", 4, 44, {{0, 0, 4, 44}}, {{0, 30, 4, 30}}, '!'},
        // The gap at exactly half the line height: neither "i" nor "!", and nothing later.
        {"gap at half the line", 4, 44, {{0, 0, 4, 44}}, {{0, 22, 4, 22}}, 0},
        {"dot above a narrower stem", 6, 44, {{0, 0, 6, 5}, {2, 8, 4, 44}}, {}, 0x00A1},
        {"[", 12, 44, {{0, 0, 3, 44}, {0, 0, 12, 3}, {0, 41, 12, 44}}, {}, '['},
        {"]", 12, 44, {{9, 0, 12, 44}, {0, 0, 12, 3}, {0, 41, 12, 44}}, {}, ']'},
        // Both bracket tests hold; the second replaces the first.
        {"solid block 13x45", 12, 44, {{0, 0, 12, 44}}, {}, ']'},
        {"t", 12, 44, {{5, 0, 7, 44}}, {}, 't'},
        {"j", 12, 44, {{8, 0, 12, 44}, {0, 40, 12, 44}}, {}, 'j'},
        {"1", 12, 44, {{6, 0, 12, 44}, {0, 4, 5, 8}}, {}, '1'},
        {"(", 12, 44, {{6, 0, 12, 5}, {0, 6, 5, 38}, {6, 39, 12, 44}}, {}, '('},
        {")", 12, 44, {{0, 0, 6, 5}, {7, 6, 12, 38}, {0, 39, 6, 44}}, {}, ')'},
        {"f", 12, 44, {{4, 0, 8, 44}, {9, 0, 12, 3}, {0, 14, 12, 17}}, {}, 'f'},
    });
}

TEST(Classifier, MidSizeAndTwoLetterGlyphs) {
    runCases({
        {"r: Q = 20", 15, 30, {{0, 0, 15, 30}}, {}, 'r'},
        {"Q = 23 is nothing", 13, 30, {{0, 0, 13, 30}}, {}, 0},
        {"m", 40, 30, {{0, 0, 40, 4}, {0, 0, 4, 30}, {18, 0, 22, 30}, {36, 0, 40, 30}}, {}, 'm'},
        {"w", 40, 30, {{0, 16, 40, 30}}, {}, 'w'},
        {"w test at exactly h div 4", 40, 30, {{0, 7, 40, 30}}, {}, 0},
        {"W", 60, 44, {{0, 0, 60, 44}}, {}, 'W'},
        {"fw", 60, 44, {{0, 1, 60, 44}}, {}, 'f', 'w'},
        {"$", 26, 50, {{12, 0, 14, 50}, {0, 10, 26, 14}}, {}, '$'},
        {"fy", 43, 50, {{0, 0, 43, 50}}, {}, 'f', 'y'},
        {"rw", 58, 30, {{0, 0, 58, 30}}, {}, 'r', 'w'},
    });
}

TEST(Classifier, CapitalsDigitsAndTallLetters) {
    const std::vector<Rect> stems = {{0, 0, 5, 44}, {25, 0, 30, 44}};
    auto with = [](std::vector<Rect> a, const std::vector<Rect>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    runCases({
        {"T", 30, 44, {{0, 0, 30, 5}, {13, 0, 17, 44}}, {}, 'T'},
        // Without the stem's last row the middle column has background: no "T", and the
        // corner tests find the shape of a "7".
        {"T missing its foot", 30, 44, {{0, 0, 30, 5}, {13, 0, 17, 43}}, {}, '7'},
        {"H", 30, 44, with(stems, {{0, 20, 30, 24}}), {}, 'H'},
        {"N", 30, 44, with(stems, {{6, 10, 15, 14}, {16, 30, 24, 34}}), {}, 'N'},
        {"M", 30, 44, with(stems, {{6, 30, 24, 34}}), {}, 'M'},
        {"E", 30, 44, {{0, 0, 5, 44}, {0, 0, 30, 4}, {0, 20, 30, 24}, {0, 40, 30, 44}}, {}, 'E'},
        {"F", 30, 44, {{0, 0, 5, 44}, {0, 0, 30, 4}, {0, 20, 30, 24}}, {}, 'F'},
        {"E with a 9-row top bar", 30, 44, {{0, 0, 5, 44}, {0, 0, 30, 8}, {0, 20, 30, 24}, {0, 40, 30, 44}}, {}, 0},
        {"L", 30, 44, {{0, 0, 5, 44}, {0, 40, 30, 44}}, {}, 'L'},
        {"D", 30, 44, {{0, 0, 5, 44}, {0, 0, 24, 4}, {0, 40, 24, 44}, {25, 5, 30, 39}}, {}, 'D'},
        {"B", 30, 44,
         {{0, 0, 5, 44}, {0, 0, 24, 4}, {0, 40, 24, 44}, {25, 5, 30, 18}, {25, 26, 30, 39}, {0, 20, 27, 24}}, {}, 'B'},
        {"P", 30, 44, {{0, 0, 5, 44}, {0, 0, 24, 4}, {0, 20, 24, 24}, {25, 5, 30, 19}}, {}, 'P'},
        {"R", 30, 44, {{0, 0, 5, 44}, {0, 0, 24, 4}, {0, 20, 24, 24}, {25, 5, 30, 19}, {25, 25, 30, 44}}, {}, 'R'},
        {"h", 30, 44, {{0, 0, 5, 44}, {0, 14, 30, 18}, {25, 14, 30, 44}}, {}, 'h'},
        {"K", 30, 44, {{0, 0, 5, 44}, {24, 0, 30, 2}, {15, 15, 20, 20}, {24, 40, 30, 44}}, {}, 'K'},
        {"r and t", 30, 44, {{0, 10, 30, 14}, {0, 15, 5, 44}, {26, 10, 30, 44}}, {}, 'r', 't'},
        // The same triangle is an "A" when wider than 31 columns and goes to the narrow
        // block otherwise.
        {"A", 31, 44, triangle(31, 44), {{14, 20, 17, 25}}, 'A'},
        {"narrow A", 30, 44, triangle(30, 44), {{14, 20, 16, 25}}, 0x00A3},
        // The "#" test replaces s with a row distance (6) although it names nothing; the
        // "5" test further down needs s = 0 and so does not apply.
        {"s carried past the # test", 30, 44,
         {{5, 0, 30, 6}, {0, 7, 5, 22}, {0, 20, 30, 24}, {25, 25, 30, 39}, {0, 40, 30, 44}}, {}, 0},
    });
}

TEST(Classifier, XHeightLettersAndNote) {
    runCases({
        {"n", 22, 30, vantrel::testing::nShape(), {}, 'n'},
        {"z", 22, 30, {{0, 0, 22, 4}, {0, 26, 22, 30}, {9, 5, 13, 25}}, {}, 'z'},
        {"u", 22, 30, {{0, 0, 5, 30}, {17, 0, 22, 30}, {0, 26, 22, 30}}, {}, 'u'},
        {"note", 24, 38, {{0, 0, 24, 38}}, {}, 0x266B},
        {"note with its corner 3 columns in", 24, 38, {{0, 0, 24, 38}}, {{0, 34, 2, 34}}, 0},
    });
}

TEST(Classifier, ZeroRatioDivisorsDoNotMatch) {
    runCases({
        // w = 0 and h = 18: neither comma nor apostrophe nor colon; Q has no value.
        {"one column 19 rows", 0, 18, {{0, 0, 0, 18}}, {}, 0, 0, -30, 60},
        // h = 0 and w > 30: R has no value.
        {"one row 41 columns", 40, 0, {{0, 0, 40, 0}}, {}, 0},
    });
}

TEST(Classifier, SlantedGeometryReadsAlongTheSlant) {
    const Case bar{"bar", 4, 44, vantrel::testing::barShape()};
    EXPECT_EQ(classify(bar, true, true).ch, 'l');
    // The same leaning bar read upright leaves column 2 after 15 rows: a dot and a stem.
    EXPECT_EQ(classify(bar, false, true).ch, 'i');
    // An upright bar read slanted leans the other way.
    EXPECT_NE(classify(bar, true, false).ch, 'l');
}

TEST(Classifier, BoxesAtThePlaneEdgesReadBackground) {
    InkCanvas canvas;
    canvas.fill({0, 0, 4, 44}, 0, 0);
    canvas.fill({0, 0, 4, 9}, 100, 1070);
    canvas.fill({0, 0, 3, 44}, 1916, 0);
    struct EdgeCase {
        const char* name;
        GlyphQuery q;
        uint16_t ch;
    };
    const EdgeCase cases[] = {
        // Slanted reads of the lower rows fall left of column 0: background from row 15 on.
        {"left edge slanted", {0, 4, 0, 44, true, 0, 45, 4, 19}, 'i'},
        {"left edge upright", {0, 4, 0, 44, false, 0, 45, 4, 19}, 'l'},
        // Rows 1080 and below are background: a 10-row dot over nothing.
        {"past the bottom", {100, 104, 1070, 1114, false, 1070, 1115, 4, 19}, 0x00A1},
        // Column 1920 does not exist; the bar in columns 1916..1919 is still solid.
        {"past the right edge", {1916, 1920, 0, 44, false, 0, 45, 4, 19}, 'l'},
        {"huge box", {-1000000000, 1000000000, -1000000000, 1000000000, true, 0, 45, 4, 19}, 0},
        {"inverted box", {110, 105, 10, 13, false, 0, 45, 4, 19}, '.'},
        // Skew settings below 1 count as 1: a slant of one column per row.
        {"skew settings below 1", {0, 4, 0, 44, true, 0, 45, 0, -5}, 0x00A1},
    };
    for (const EdgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(recognize(canvas.plane, c.q).ch, c.ch);
    }
}

TEST(Classifier, SecondLetterOnlyForTwoLetterGlyphs) {
    // A result without a second letter leaves it 0 even after a two-letter one.
    const Case fw{"fw", 60, 44, {{0, 1, 60, 44}}};
    const Case l{"l", 4, 44, vantrel::testing::barShape()};
    EXPECT_EQ(classify(fw).secondChar, 'w');
    EXPECT_EQ(classify(l).secondChar, 0);
}

TEST(Probes, DistancesAlongColumnsAndRows) {
    InkCanvas canvas;
    // An "L" at (10, 20): stem columns 10..12, foot rows 60..62 to column 30.
    canvas.fill({0, 0, 2, 42}, 10, 20);
    canvas.fill({0, 40, 20, 42}, 10, 20);
    GlyphQuery q{10, 30, 20, 62, false, 20, 63, 4, 19};
    const GlyphProbes p(canvas.plane, q);
    const Target ink = Target::Ink, bg = Target::Background;
    struct ProbeCase {
        const char* name;
        int64_t got, want;
    };
    const ProbeCase cases[] = {
        {"fromTop stem bg", p.fromTop(1, bg), -1},
        {"fromTop foot ink", p.fromTop(10, ink), 40},
        {"fromTop foot bg", p.fromTop(10, bg), 0},
        {"fromBottom foot", p.fromBottom(10, bg), 3},
        {"fromBottom past the box", p.fromBottom(25, ink), -1},
        {"fromLeft row 5", p.fromLeft(5, bg), 3},
        {"fromRight row 5", p.fromRight(5, ink), 18},
        {"fromRight foot", p.fromRight(41, ink), 0},
        // Offsets are not clipped to the box.
        {"fromTop left of the box", p.fromTop(-1, ink), -1},
        {"fromLeft below the box", p.fromLeft(100, bg), 0},
        {"fromLeft below the box ink", p.fromLeft(100, ink), -1},
    };
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.got, c.want);
    }
    // An empty range finds nothing, whatever it looks for.
    GlyphQuery empty = q;
    empty.bottom = empty.top - 1;
    const GlyphProbes e(canvas.plane, empty);
    EXPECT_EQ(e.fromTop(1, bg), -1);
    EXPECT_EQ(e.fromBottom(1, ink), -1);
}

TEST(Probes, SlantAndShortPlanes) {
    GlyphQuery q{0, 10, 0, 44, true, 0, 45, 4, 19};
    const std::vector<uint8_t> none;
    const GlyphProbes p(none, q);
    EXPECT_EQ(p.slant(19), 4);
    EXPECT_EQ(p.slant(-19), -4);   // truncated toward zero
    EXPECT_EQ(p.slant(18), 3);
    // An empty or short buffer has no rows: everything is background.
    EXPECT_EQ(p.fromTop(0, Target::Ink), -1);
    EXPECT_EQ(p.fromTop(0, Target::Background), 0);
    // A huge box costs no more than a plane row or column.
    const GlyphProbes huge(none, GlyphQuery{-1000000000, 1000000000, -1000000000, 1000000000, true, 0, 45, 4, 19});
    EXPECT_EQ(huge.fromLeft(1000000005, Target::Ink), -1);
    EXPECT_EQ(huge.fromBottom(1000000000, Target::Background), 0);
    const std::vector<uint8_t> oneRowAndABit(1920 + 5, 1);
    EXPECT_EQ(InkPlaneView(oneRowAndABit).rows(), 1);
    const GlyphProbes r(oneRowAndABit, GlyphQuery{0, 3, 0, 3, false, 0, 4, 4, 19});
    EXPECT_EQ(r.fromTop(0, Target::Background), 1);
    EXPECT_EQ(r.fromBottom(0, Target::Ink), 3);
}
