// Segmentation and text building on hand-made ink planes, and the OCR of one record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ocr/correction.h"
#include "ocr/ocr.h"
#include "ocr_glyph_painter.h"
#include "support/render_support.h"

using namespace vantrel;
using vantrel::testing::InkCanvas;
using vantrel::testing::Rect;
namespace shapes = vantrel::testing;

namespace {

constexpr FontMode kNormal = kFontNormal, kAuto = kFontAuto, kItalic = kFontItalic, kUndecided = kFontUndecided;

std::string textOf(const Segmentation& seg, bool tags = false) {
    bool known = true;
    return buildText(seg, tags, known);
}

// A canvas whose slanted painting leans from row `lineTop`, as italic glyphs do.
InkCanvas leaning(int lineTop) {
    InkCanvas c;
    c.slantTop = lineTop;
    c.slantMul = 4;
    c.slantDiv = 19;
    return c;
}

}  // namespace

TEST(Segment, LineBandsAndTheSixteenRowRule) {
    struct Case {
        const char* name;
        std::vector<Rect> rows;   // ink rows as rectangles over columns 0..9
        std::vector<std::pair<int, int>> lines;   // lineTop, lineBottom
    };
    const Case cases[] = {
        // 15 rows with a gap: the gap and the empty row after the band count as ink until
        // an empty row 16 rows below the top.
        {"band of 15 rows with a gap", {{0, 10, 9, 16}, {0, 18, 9, 24}}, {{10, 26}}},
        {"gap 16 rows below the top ends the line", {{0, 10, 9, 25}, {0, 27, 9, 30}}, {{10, 26}, {27, 43}}},
        {"two lines", {{0, 0, 9, 44}, {0, 60, 9, 104}}, {{0, 45}, {60, 105}}},
        // A band too close to the bottom stays open: a line without glyphs.
        {"open line at the bottom", {{0, 195, 9, 199}}, {{195, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InkCanvas canvas;
        for (const Rect& r : c.rows) canvas.fill(r, 0, 0);
        const Segmentation seg = segment(canvas.plane, 200, 200, kNormal, {});
        ASSERT_EQ(seg.lines.size(), c.lines.size());
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            EXPECT_EQ(seg.lines[i].lineTop, c.lines[i].first);
            EXPECT_EQ(seg.lines[i].lineBottom, c.lines[i].second);
        }
    }
}

TEST(Segment, SpacesFromGapsAndBeforeJ) {
    struct Case {
        const char* name;
        int gap;                 // first ink column of the second glyph minus last of the first
        bool secondIsJ;
        const char* text;
    };
    const Case cases[] = {
        {"19 columns: space", 19, false, "l l"},
        {"18 columns: none", 18, false, "ll"},
        {"j 11 columns right: space", 11, true, "l j"},
        {"j 10 columns right: none", 10, true, "lj"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InkCanvas canvas;
        canvas.glyph(shapes::barShape(), {}, 100, 10);
        canvas.glyph(c.secondIsJ ? shapes::jShape() : shapes::barShape(), {}, 104 + c.gap, 10);
        const Segmentation seg = segment(canvas.plane, 400, 80, kNormal, {});
        ASSERT_EQ(seg.lines.size(), 1u);
        EXPECT_EQ(textOf(seg), c.text);
    }
}

TEST(Segment, SpaceSlotGeometry) {
    InkCanvas canvas;
    canvas.glyph(shapes::barShape(), {}, 100, 10);
    canvas.glyph(shapes::barShape(), {}, 130, 10);
    const Segmentation seg = segment(canvas.plane, 400, 80, kNormal, {});
    ASSERT_EQ(seg.lines.size(), 1u);
    const auto& s = seg.lines[0].slots;
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0].right, 0);   // the sentinel
    EXPECT_EQ(s[1].left, 100);
    EXPECT_EQ(s[1].right, 104);
    EXPECT_EQ(s[1].top, 10);
    EXPECT_EQ(s[1].bottom, 54);
    // The space lies 6 columns inside the gap and 6 rows inside the line.
    EXPECT_EQ(s[2].ch, ' ');
    EXPECT_EQ(s[2].left, 110);
    EXPECT_EQ(s[2].right, 125);
    EXPECT_EQ(s[2].top, 16);
    EXPECT_EQ(s[2].bottom, 49);
    EXPECT_EQ(s[3].left, 130);
}

TEST(Segment, JOpeningALineGetsNoSpace) {
    // The previous slot is the line's sentinel: no glyph, so no space before the "j".
    InkCanvas canvas;
    canvas.glyph(shapes::jShape(), {}, 40, 10);
    canvas.glyph(shapes::jShape(), {}, 40, 70);
    const Segmentation seg = segment(canvas.plane, 400, 130, kNormal, {});
    EXPECT_EQ(textOf(seg), "j|j");
}

TEST(Segment, AutoModeRetriesAWordInTheOtherGeometry) {
    {
        // A dot is as wide slanted as upright, so the word starts upright; its leaning bar
        // is not a glyph upright, and the retry reads the whole word slanted.
        InkCanvas canvas = leaning(10);
        canvas.glyph(shapes::dotShape(), {}, 100, 10);
        canvas.glyph(shapes::barShape(), {}, 118, 10);
        const Segmentation seg = segment(canvas.plane, 400, 80, kUndecided, {});
        EXPECT_EQ(textOf(seg, true), "<i>.l</i>");
        EXPECT_EQ(seg.uprightGlyphs, 2);
        EXPECT_EQ(seg.italicGlyphs, 2);
        EXPECT_EQ(resolveFont(kUndecided, seg), kAuto);
    }
    {
        // A block no rule names: upright, slanted, upright once more, then it stays.
        InkCanvas canvas;
        canvas.fill({0, 0, 19, 19}, 100, 10);
        const Segmentation seg = segment(canvas.plane, 400, 60, kUndecided, {});
        bool known = true;
        EXPECT_EQ(buildText(seg, false, known), std::string(kUnknownMark));
        EXPECT_FALSE(known);
        EXPECT_EQ(seg.uprightGlyphs, 2);
        EXPECT_EQ(seg.italicGlyphs, 1);
    }
    {
        // Normal mode never retries.
        InkCanvas canvas;
        canvas.fill({0, 0, 19, 19}, 100, 10);
        const Segmentation seg = segment(canvas.plane, 400, 60, kNormal, {});
        EXPECT_EQ(seg.uprightGlyphs, 1);
        EXPECT_EQ(seg.italicGlyphs, 0);
    }
}

TEST(Segment, FontModesAndItalicTags) {
    struct Case {
        const char* name;
        bool uprightWord, leaningWord;
        FontMode font;
        FontMode resolved;
        const char* tagged;
    };
    const Case cases[] = {
        {"only upright", true, false, kUndecided, kNormal, "l"},
        {"only leaning", false, true, kUndecided, kItalic, "<i>l</i>"},
        {"both", true, true, kUndecided, kAuto, "l <i>l</i>"},
        {"nothing cut", false, false, kUndecided, kNormal, ""},
        {"Italic reads everything slanted", false, true, kItalic, kItalic, "<i>l</i>"},
        {"Normal reads everything upright", true, false, kNormal, kNormal, "l"},
        {"Auto stays Auto", true, false, kAuto, kAuto, "l"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InkCanvas canvas;
        if (c.uprightWord) canvas.glyph(shapes::barShape(), {}, 100, 10);
        canvas = [&] {
            InkCanvas lean = leaning(10);
            lean.plane = canvas.plane;
            return lean;
        }();
        if (c.leaningWord) canvas.glyph(shapes::barShape(), {}, 200, 10);
        if (!c.uprightWord && !c.leaningWord) canvas.fill({0, 0, 9, 4}, 10, 75);   // an open line
        const Segmentation seg = segment(canvas.plane, 400, 80, c.font, {});
        EXPECT_EQ(resolveFont(c.font, seg), c.resolved);
        EXPECT_EQ(textOf(seg, true), c.tagged);
    }
}

TEST(Segment, TwoLetterGlyphsGetTwoSlots) {
    InkCanvas canvas;
    canvas.glyph({{0, 0, 60, 44}}, {{0, 0, 32, 0}}, 100, 10);
    const Segmentation seg = segment(canvas.plane, 400, 80, kNormal, {});
    ASSERT_EQ(seg.lines.size(), 1u);
    ASSERT_EQ(seg.lines[0].count(), 2);
    EXPECT_EQ(textOf(seg), "fw");
    EXPECT_EQ(seg.lines[0].slots[1].left, seg.lines[0].slots[2].left);
    EXPECT_EQ(seg.uprightGlyphs, 1);
}

TEST(Segment, ManyLinesAndManySlotsFit) {
    // 25 lines of one dash each, then a line of 120 dots: beyond 20 lines and 100 slots.
    InkCanvas canvas;
    for (int l = 0; l < 25; ++l) canvas.glyph(shapes::dashShape(), {}, 50, 20 * l);
    for (int i = 0; i < 120; ++i) canvas.glyph(shapes::dotShape(), {}, 20 + 12 * i, 520);
    const Segmentation seg = segment(canvas.plane, 1500, 540, kNormal, {});
    ASSERT_EQ(seg.lines.size(), 26u);
    EXPECT_EQ(seg.lines[25].count(), 120);
    EXPECT_EQ(seg.slotCount(), 145);
    std::string want;
    for (int l = 0; l < 25; ++l) want += "-|";
    want += std::string(120, '.');
    EXPECT_EQ(textOf(seg), want);
}

TEST(Segment, OddRectanglesAreSafe) {
    InkCanvas canvas;
    canvas.glyph(shapes::barShape(), {}, 1915, 1035);   // at the plane's bottom-right corner
    canvas.glyph(shapes::barShape(), {}, 0, 0);         // at its origin
    struct Case {
        const char* name;
        int w, h;
        FontMode font;
    };
    const Case cases[] = {
        {"larger than the plane", 65535, 65535, kUndecided},
        {"larger than the plane, italic", 65535, 65535, kItalic},
        {"negative width", -20, 100, kUndecided},
        {"negative height", 100, -20, kUndecided},
        {"empty", 0, 0, kUndecided},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Segmentation seg = segment(canvas.plane, c.w, c.h, c.font, {});
        EXPECT_LE(seg.lines.size(), 2u);
    }
    // Settings far out of range only move the scans; nothing runs away.
    OcrSettings wild;
    wild.spaceWidth = 2000000000;
    wild.spaceWidthJ = -2000000000;
    wild.skewMul = 2000000000;
    wild.skewDiv = 1;
    const Segmentation seg = segment(canvas.plane, 1920, 1080, kUndecided, wild);
    EXPECT_EQ(seg.lines.size(), 2u);
}

TEST(Segment, CapitalIFixUps) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"lA", "IA"}, {"AlB", "AIB"}, {"Al", "AI"}, {"al", "al"}, {"la", "la"},
        {"l", "l"},   // one character: no neighbour to read
        {"", ""},     {"AllB", "AllB"}, {"lAlBl", "IAIBI"}, {"ABl|", "ABl|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        std::string t = c.in;
        fixCapitalI(t);
        EXPECT_EQ(t, c.out);
    }
}

namespace {

// A program with one subtitle whose slot 0 lies at (100, 800) and whose ink plane holds
// what `paint` puts there.
struct OcrFixture {
    vantrel::testing::RenderSession s;
    InkCanvas canvas;

    explicit OcrFixture(int w = 400, int h = 80) {
        TSUP sub;
        sub.text = "old";
        sub.font = kUndecided;
        sub.obj[0].x1 = 100;
        sub.obj[0].y1 = 800;
        sub.obj[0].x2 = static_cast<uint16_t>(100 + w);
        sub.obj[0].y2 = static_cast<uint16_t>(800 + h);
        s.prog.Subs.push_back(sub);
        s.prog.Subs.push_back(sub);
        s.prog.pics.ensureAllocated();
        s.prog.panel.editorLines = {"editor"};
    }
    TSUP& sub() { return s.prog.Subs[1]; }
    void run(const OcrView& view = {}) {
        s.prog.pics.inkPlane = canvas.plane;
        ocr(s.ctx, 2, view);
    }
};

}  // namespace

TEST(Ocr, StoresTextAndCountsInTheRecord) {
    OcrFixture f;
    f.canvas.glyph(shapes::barShape(), {}, 100, 10);   // "l" before a capital-free word
    f.canvas.glyph(shapes::barShape(), {}, 130, 10);
    f.canvas.fill({0, 0, 19, 19}, 200, 20);             // no rule names it
    f.s.opt.coLang = 1;
    f.run();
    const TSUP& r = f.sub();
    // "l l ·" with the English table: every one-letter word "l" becomes "I".
    EXPECT_EQ(r.text, "I I ·");
    EXPECT_EQ(r.ocrOK, 0);
    EXPECT_EQ(r.font, kAuto);   // the unknown glyph was also tried slanted
    EXPECT_EQ(r.lineCount, 1);
    EXPECT_EQ(r.charCount, 5);
    EXPECT_EQ(f.s.prog.CurSub, 1);
    EXPECT_EQ(f.s.prog.controls.ieSubs, 2);
    EXPECT_EQ(f.s.prog.panel.rgFont, kAuto);
    EXPECT_EQ(f.s.prog.panel.editorLines, TxtToLines(r.text));
}

TEST(Ocr, RecognisedTextSetsOcrOK) {
    OcrFixture f;
    f.canvas.glyph(shapes::nShape(), {}, 100, 24);
    f.canvas.glyph(shapes::barShape(), {}, 130, 10);
    f.run();
    EXPECT_EQ(f.sub().text, "nl");
    EXPECT_EQ(f.sub().ocrOK, 1);
}

TEST(Ocr, LockedRecordKeepsItsText) {
    OcrFixture f;
    f.sub().locked = 1;
    f.sub().text = "kept|text";
    f.canvas.glyph(shapes::barShape(), {}, 100, 10);
    f.run();
    EXPECT_EQ(f.sub().text, "kept|text");
    EXPECT_EQ(f.s.prog.panel.editorLines, (std::vector<std::string>{"kept", "text"}));
    EXPECT_EQ(f.sub().ocrOK, 1);   // the rest of the results is stored
    EXPECT_EQ(f.sub().charCount, 1);
}

TEST(Ocr, NoInkChangesNothing) {
    OcrFixture f;
    f.canvas.glyph(shapes::barShape(), {}, 600, 10);   // outside the 400-column rectangle
    const TSUP before = f.sub();
    f.run();
    EXPECT_EQ(f.sub().text, before.text);
    EXPECT_EQ(f.sub().font, before.font);
    EXPECT_EQ(f.sub().lineCount, before.lineCount);
    EXPECT_EQ(f.s.prog.panel.editorLines, std::vector<std::string>{"editor"});
    EXPECT_EQ(f.s.prog.CurSub, 1);
}

TEST(Ocr, OutOfRangeNumbersDoNothing) {
    OcrFixture f;
    for (int n : {0, -1, 3, 1 << 30}) ocr(f.s.ctx, n);
    EXPECT_EQ(f.sub().text, "old");
}

TEST(Ocr, OverlayFramesAndSeparators) {
    for (bool visible : {true, false}) {
        SCOPED_TRACE(visible ? "visible" : "hidden");
        OcrFixture f;
        f.canvas.glyph(shapes::barShape(), {}, 100, 10);
        f.canvas.fill({0, 0, 19, 19}, 200, 20);
        f.s.opt.cbTags = false;
        f.run(OcrView{visible});
        const RgbImage& d = f.s.prog.pics.display;
        // Separators above the line's first row and on its closing row.
        EXPECT_EQ(d.at(100 + 50, 800 + 10 - 1), kOverlayGrey);
        EXPECT_EQ(d.at(100 + 50, 800 + 55), kOverlayGrey);
        // Frames one pixel outside the boxes: green for "l", yellow for the unknown glyph.
        EXPECT_EQ(d.at(100 + 99, 800 + 30) == kFrameUpright, visible);
        EXPECT_EQ(d.at(100 + 199, 800 + 30) == kFrameUnknown, visible);
    }
}
