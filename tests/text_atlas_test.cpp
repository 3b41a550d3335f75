// The built-in glyph atlas and its tables, line positions, and measuring and drawing lines.
#include <gtest/gtest.h>

#include <set>

#include "core/encoding.h"
#include "platform/files.h"
#include "platform/image_io.h"
#include "render/palette.h"
#include "support/stream_builder.h"
#include "text/atlas.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;

namespace {

constexpr uint8_t kFill = 1;   // the index the composer fills IndexImage with for text tables

struct Fixture : vantrel::testing::TestSession {
    // One text subtitle whose slot 0 spans `width` columns, pictures ready as the composer
    // leaves them before the text is drawn.
    explicit Fixture(int width = 0) {
        prog.SubKind = kSrtKind;
        prog.Subs.resize(1);
        TSUPObject& slot = prog.Subs[0].obj[0];
        slot.x1 = static_cast<uint16_t>((kScreenWidth - width) / 2);
        slot.x2 = static_cast<uint16_t>(slot.x1 + width);
        slot.y1 = kScreenHeight - 1;
        slot.y2 = 0;
        setpal(ctx, 0);   // the grey ramp of text subtitles
        fillLineY(prog, opt);
        prog.pics.ensureAllocated();
        prog.pics.IndexImage.reset(kScreenWidth, kScreenHeight, kFill);
        prog.pics.Overlay.reset(kScreenWidth, kScreenHeight);
    }
    int16_t measure(std::string_view line) { return DrawLine(ctx, line, 1, nullptr, false); }
    TSUPObject* first() { return &prog.Subs[0].obj[0]; }
    const TSUPObject& slot() const { return prog.Subs[0].obj[0]; }
};

const GlyphMetrics& upright(char c) { return kUprightGlyphs[static_cast<uint8_t>(c)]; }
const GlyphMetrics& italic(char c) { return kItalicGlyphs[static_cast<uint8_t>(c)]; }

// First and last ink row of a glyph box in its band, as atlas rows.
std::pair<int, int> inkRows(const GlyphMetrics& g) {
    const GlyphAtlas& atlas = builtinAtlas();
    const size_t band = static_cast<size_t>(g.row - 1);
    int first = -1, last = -1;
    for (int a = rowTop[band]; a <= rowBottom[band]; ++a)
        for (int u = g.x; u <= g.x + g.width; ++u)
            if (atlas.at(u, a) != 1) {
                if (first < 0) first = a;
                last = a;
            }
    return {first, last};
}

}  // namespace

TEST(AtlasData, TellingRowsAndDefinedCharacters) {
    struct Case {
        int code;
        GlyphMetrics up, it;
    };
    const Case cases[] = {
        {32, {1, 1456, 12, 0, 0}, {1, 1456, 13, 0, 0}},
        {40, {5, 1500, 19, 0, 3}, {5, 941, 24, 0, 3}},
        {65, {3, 10, 46, 1, 0}, {4, 11, 43, 0, -1}},
        {97, {1, 10, 33, 1, 0}, {2, 10, 35, 2, 2}},
        {102, {1, 249, 24, 2, 2}, {2, 280, 27, 2, 9}},
        {106, {1, 368, 16, 4, 1}, {2, 426, 27, 14, 3}},
        {48, {1, 1115, 33, 0, 0}, {2, 1288, 35, 0, 0}},
    };
    auto same = [](const GlyphMetrics& a, const GlyphMetrics& b) {
        return a.row == b.row && a.x == b.x && a.width == b.width && a.kernBefore == b.kernBefore &&
               a.kernAfter == b.kernAfter;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_TRUE(same(kUprightGlyphs[static_cast<size_t>(c.code)], c.up));
        EXPECT_TRUE(same(kItalicGlyphs[static_cast<size_t>(c.code)], c.it));
    }
    // Every printable Windows-1252 character: all but the controls and the five bytes the
    // code page leaves undefined. The soft hyphen is defined and draws nothing.
    std::set<int> defined;
    for (int c = 0x20; c <= 0x7E; ++c) defined.insert(c);
    for (int c = 0x80; c <= 0xFF; ++c) defined.insert(c);
    for (int c : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) defined.erase(c);
    for (const GlyphTable* table : {&kUprightGlyphs, &kItalicGlyphs}) {
        for (int c = 0; c < 256; ++c) {
            SCOPED_TRACE(c);
            const GlyphMetrics& g = (*table)[static_cast<size_t>(c)];
            EXPECT_EQ(g.row != 0, defined.count(c) == 1);
            EXPECT_EQ(g.width == 0, defined.count(c) == 0 || c == 0xAD);
        }
    }
    // The no-break space is a space.
    const GlyphMetrics& space = kUprightGlyphs[' '];
    const GlyphMetrics& nbsp = kUprightGlyphs[0xA0];
    EXPECT_TRUE(nbsp.row == space.row && nbsp.x == space.x && nbsp.width == space.width);
}

TEST(AtlasData, PictureAgreesWithTheTables) {
    const GlyphAtlas& atlas = builtinAtlas();
    ASSERT_EQ(atlas.width, kAtlasWidth);
    ASSERT_EQ(atlas.height, 365);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(atlas.colors[static_cast<size_t>(v)], static_cast<uint32_t>(v) * 0x010101u);

    // Which columns of each band a drawn glyph box claims; no two boxes share a column.
    std::vector<std::vector<int>> owner(6, std::vector<int>(static_cast<size_t>(atlas.width), -1));
    for (const GlyphTable* table : {&kUprightGlyphs, &kItalicGlyphs}) {
        for (int c = 0; c < 256; ++c) {
            const GlyphMetrics& g = (*table)[static_cast<size_t>(c)];
            if (g.width < 1 || c == ' ' || c == 0xA0) continue;   // the spaces' empty box
            SCOPED_TRACE(c);
            ASSERT_TRUE(g.row >= 1 && g.row <= 5);
            ASSERT_TRUE(g.x >= 0 && g.x + g.width < atlas.width);
            for (int u = g.x; u <= g.x + g.width; ++u) {
                auto& o = owner[static_cast<size_t>(g.row)][static_cast<size_t>(u)];
                EXPECT_EQ(o, -1) << "column " << u << " of band " << g.row;
                o = c;
            }
        }
    }
    const std::set<int> levels = {0, 16, 32, 48, 64, 80, 96, 112, 127, 143, 159, 175, 191, 207, 223, 239, 255};
    int outside = 0, badValue = 0;
    for (int a = 0; a < atlas.height; ++a) {
        int band = 0;
        for (int b = 1; b <= 5; ++b)
            if (a >= rowTop[static_cast<size_t>(b - 1)] && a <= rowBottom[static_cast<size_t>(b - 1)]) band = b;
        for (int u = 0; u < atlas.width; ++u) {
            const int v = atlas.at(u, a);
            if (v == 1) continue;
            badValue += levels.count(v) ? 0 : 1;
            outside += (band == 0 || owner[static_cast<size_t>(band)][static_cast<size_t>(u)] < 0) ? 1 : 0;
        }
    }
    EXPECT_EQ(badValue, 0);
    EXPECT_EQ(outside, 0) << "ink outside every glyph box";
    // The space boxes stay empty.
    for (int a = 0; a <= 72; ++a)
        for (int u = 1456; u <= 1469; ++u) EXPECT_EQ(atlas.at(u, a), 1);
}

namespace {

// Columns and rows a text inks on the overlay when drawn alone on the bottom line.
struct InkExtent {
    int left = kScreenWidth, right = -1, top = kScreenHeight, bottom = -1;
    int width() const { return right - left + 1; }
};

// Draws texts one after the other on the bottom line of one fixture, clearing the rows a
// band can reach (58 above the baseline 1010, 15 below) after each.
struct InkProbe {
    Fixture f{200};

    InkExtent inkOf(const std::string& text) {
        DrawLine(f.ctx, text, 1, f.first(), true);
        f.prog.italicOn = false;
        InkExtent e;
        std::vector<uint8_t>& alpha = f.prog.pics.Overlay.alpha;
        for (int y = 1010 - 60; y <= 1010 + 20; ++y) {
            for (int x = 0; x < kScreenWidth; ++x) {
                uint8_t& a = alpha[static_cast<size_t>(y) * kScreenWidth + static_cast<size_t>(x)];
                if (a == 0) continue;
                e.left = std::min(e.left, x);
                e.right = std::max(e.right, x);
                e.top = std::min(e.top, y);
                e.bottom = std::max(e.bottom, y);
                a = 0;
            }
        }
        return e;
    }
};

}  // namespace

TEST(AtlasData, LettersOfTheLatinLanguagesDrawInBothStyles) {
    // The letters French, German, Spanish, Italian, Dutch and Portuguese use, and the
    // typographic signs, each with a letter of the same build: its ink must be about as
    // wide (lo..hi percent of the reference), and an accent must reach beyond the letter
    // without it (the reference, or for the i's the dotless "n").
    enum Mark { kNone, kAbove, kBelow };
    struct Case {
        const char* chars;   // UTF-8
        char reference;
        int lo, hi;
        Mark mark;
        char bare = 0;       // the letter the accent must reach beyond, if not the reference
    };
    const Case cases[] = {
        {"àáâãäå", 'a', 85, 115, kAbove},
        {"èéêë", 'e', 85, 115, kAbove},
        {"ìíîï", 'i', 80, 300, kAbove, 'n'},        // ì í î ï: the accent is wider than the i
        {"òóôõö", 'o', 85, 115, kAbove},
        {"ùúûü", 'u', 85, 115, kAbove},
        {"ñ", 'n', 85, 115, kAbove},
        {"ýÿ", 'y', 85, 115, kAbove},
        {"ç", 'c', 85, 115, kBelow},
        {"ÀÁÂÃÄÅ", 'A', 85, 115, kAbove},
        {"ÈÉÊË", 'E', 85, 115, kAbove},
        {"ÌÍÎÏ", 'I', 80, 300, kAbove},
        {"ÒÓÔÕÖ", 'O', 85, 115, kAbove},
        {"ÙÚÛÜ", 'U', 85, 115, kAbove},
        {"Ñ", 'N', 85, 115, kAbove},
        {"Ÿ", 'Y', 85, 115, kAbove},
        {"Ç", 'C', 85, 115, kBelow},
        {"ß", 'B', 80, 115, kNone},
        {"œæ", 'm', 95, 140, kNone},
        {"ŒÆ", 'M', 105, 150, kNone},
        {"ªº", 'o', 60, 100, kNone},
        {"¡", '!', 80, 130, kNone},
        {"¿", '?', 85, 115, kNone},
        {"«»", '<', 80, 120, kNone},
        {"‘’", '\'', 80, 130, kNone},
        {"“”„", '"', 80, 120, kNone},
        {"–", '-', 170, 260, kNone},
        {"—", '-', 300, 450, kNone},
        {"…", '.', 400, 700, kNone},
        {"€", 'C', 70, 110, kNone},
    };
    InkProbe probe;
    for (const char* style : {"", "<i>"}) {
        for (const auto& c : cases) {
            const InkExtent ref = probe.inkOf(style + std::string(1, c.reference));
            const InkExtent bare = c.bare ? probe.inkOf(style + std::string(1, c.bare)) : ref;
            ASSERT_GT(ref.width(), 0);
            for (char32_t ch : toChars(c.chars)) {
                SCOPED_TRACE(std::string(style) + toUtf8(ch));
                const InkExtent e = probe.inkOf(style + toUtf8(ch));
                ASSERT_GT(e.width(), 0) << "no ink";
                EXPECT_GE(e.width() * 100, ref.width() * c.lo);
                EXPECT_LE(e.width() * 100, ref.width() * c.hi);
                if (c.mark == kAbove) {
                    EXPECT_LT(e.top, bare.top);
                }
                if (c.mark == kBelow) {
                    EXPECT_GT(e.bottom, bare.bottom);
                }
                EXPECT_GT(probe.f.measure(style + toUtf8(ch)), 0);
                probe.f.prog.italicOn = false;
            }
        }
    }
}

TEST(AtlasData, LettersBeyondTheAtlasDrawInItsLook) {
    // Central European, Greek and Cyrillic letters are drawn by FreeType: on the atlas's
    // baseline, as tall as an atlas letter of the same build, accents above it.
    struct Case {
        const char* letter;
        char reference;
        bool accent;   // reaches above the reference
    };
    const Case cases[] = {
        {"ł", 'l', false}, {"Ł", 'L', false}, {"Ω", 'O', false}, {"Я", 'R', false}, {"ж", 'x', false},
        {"ś", 's', true},  {"ő", 'o', true},  {"Ž", 'Z', true},  {"ά", 'a', true},
    };
    InkProbe probe;
    for (const char* style : {"", "<i>"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(style) + c.letter);
            ASSERT_TRUE(hasGlyph(probe.f.ctx, firstChar(c.letter)));
            const InkExtent ref = probe.inkOf(style + std::string(1, c.reference));
            const InkExtent e = probe.inkOf(style + std::string(c.letter));
            ASSERT_GT(e.width(), 0) << "no ink";
            EXPECT_NEAR(e.bottom, ref.bottom, 1);
            if (c.accent) {
                EXPECT_LT(e.top, ref.top - 4);
            } else {
                EXPECT_NEAR(e.top, ref.top, 2);
            }
            EXPECT_GE(e.width() * 100, ref.width() * 60);
            EXPECT_LE(e.width() * 100, ref.width() * 250);
        }
    }
    // Measuring takes the same pen steps as drawing, and a character no font has is left out.
    EXPECT_GT(DrawLine(probe.f.ctx, "Zażółć gęślą jaźń", 1, nullptr, false), DrawLine(probe.f.ctx, "Zazolc gesla jazn", 1, nullptr, false) - 20);
    EXPECT_FALSE(hasGlyph(probe.f.ctx, 0xE000));
}

TEST(AtlasFiles, LoadingChecksTheFormat) {
    const std::string good = vantrel::testing::writeTempFile("atlas_good.png", vantrel::testing::Bytes(kAtlasPng, kAtlasPng + kAtlasPngSize));
    const GlyphAtlas loaded = loadAtlasFile(good);
    EXPECT_EQ(loaded.pixels, builtinAtlas().pixels);
    EXPECT_EQ(loaded.colors, builtinAtlas().colors);

    EXPECT_THROW(loadAtlasFile(good + ".missing"), PlatformError);
    const vantrel::testing::Bytes garbage = {0x89, 'P', 'N', 'G', 1, 2, 3};
    EXPECT_THROW(decodeAtlas(garbage.data(), garbage.size()), PlatformError);
    // A real PNG of the wrong kind: grey, and paletted of the wrong size.
    const std::vector<uint8_t> grey(16, 255);
    const std::string greyFile = vantrel::testing::writeTempFile("atlas_grey.png", {});
    writeGreyPng(greyFile, 4, 4, grey.data(), 4);
    EXPECT_THROW(loadAtlasFile(greyFile), PlatformError);
    const std::string smallFile = vantrel::testing::writeTempFile("atlas_small.png", {});
    writeIndexedPng(smallFile, 4, 4, grey.data(), 4, builtinAtlas().colors, std::array<uint8_t, 256>{});
    try {
        loadAtlasFile(smallFile);
        ADD_FAILURE() << "a 4x4 atlas was accepted";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find(std::to_string(kAtlasWidth) + "x365"), std::string::npos) << e.what();
    }
    EXPECT_EQ(letterSetFileName(0), "abc.png");
    EXPECT_EQ(letterSetFileName(1), "");
}

TEST(LineY, BaselinesFromTheOptions) {
    Fixture f;
    int32_t y = 0;
    for (int k = 1; k <= 10; ++k) {
        ASSERT_TRUE(lineBaseline(f.prog, k, y));
        EXPECT_EQ(y, 1010 - (k - 1) * 90);
    }
    EXPECT_FALSE(lineBaseline(f.prog, 0, y));
    EXPECT_FALSE(lineBaseline(f.prog, 11, y));
    f.opt.ieLastLine = 100;
    fillLineY(f.prog, f.opt);
    ASSERT_TRUE(lineBaseline(f.prog, 3, y));
    EXPECT_EQ(y, -80);   // above the picture, kept signed
}

TEST(DrawLineMeasure, Widths) {
    const GlyphMetrics& K = upright('K');
    const GlyphMetrics& T = upright('T');
    struct Case {
        const char* line;
        int spacing;
        int expected;
    };
    const Case cases[] = {
        {"a", 4, 33},
        {"a", 11, 33},
        {"aa", 4, 33 + 4 - 0 - 1 + 33},
        {"<i>a", 4, 35},
        {"<i>aa", 4, 35 + 4 - 2 - 2 + 35},
        {"<i>a</i>a", 4, 35 + 4 - 2 - 1 + 33},
        {"Ka", 4, K.width + 4 - K.kernAfter - 1 + 33 - 2},
        {"KA", 4, K.width + 4 - K.kernAfter - 1 + 46},
        {"Ta", 4, T.width + 4 - T.kernAfter - 1 + 33 - 3},
        {"a a", 4, 33 + 4 + 12 + 4 - 1 + 33},       // the space advances 12 + spacing
        {"a a", 7, 33 + 7 + 12 + 7 - 1 + 33},
        {"<i>a a", 4, 35 + 4 - 2 + 13 + 4 - 2 + 35},  // 13 + spacing in italics
        {"a\x81" "a", 4, 33 + 4 + 4 - 1 + 33},      // no glyph (an undefined byte): the spacing only
        {"a\x7F" "a", 4, 33 + 4 + 4 - 1 + 33},
        {"\x81", 4, 0},
        {"", 4, 0},
        {"<i></i>", 4, 0},
        {"<i><i>a", 4, 35},                          // tags in a row are all taken
        {"</i><i>a", 4, 35},
        {"(a", 4, 19 + 4 - 3 - 1 + 33},
        {"0f", 4, 33 + 4 - 0 - 2 + 24},
        {"aj", 4, 33 + 4 - 0 - 4 + 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Fixture f;
        f.opt.ieSpacing = c.spacing;
        EXPECT_EQ(f.measure(c.line), c.expected);
    }
    // "gj": the j moves one column right.
    Fixture f;
    const GlyphMetrics& g = upright('g');
    EXPECT_EQ(f.measure("gj"), g.width + 4 - g.kernAfter - 4 + 1 + 16);
    // Tags in other forms are text.
    EXPECT_GT(f.measure("<I>a"), 33 + 4);
    EXPECT_FALSE(f.prog.italicOn);
}

TEST(DrawLineMeasure, ItalicCarriesOverAndNothingElseChanges) {
    Fixture f;
    f.prog.pics = Pictures{};
    EXPECT_EQ(f.measure("<i>a"), 35);
    EXPECT_TRUE(f.prog.italicOn);
    EXPECT_EQ(f.measure("a"), 35);
    EXPECT_EQ(f.measure("a</i>"), 35);
    EXPECT_EQ(f.measure("a"), 33);
    EXPECT_TRUE(f.prog.pics.display.pixels.empty());
    EXPECT_EQ(f.slot().y1, kScreenHeight - 1);
    EXPECT_EQ(f.slot().y2, 0);
    // A line far wider than 16 bits can hold stays positive.
    EXPECT_EQ(f.measure(std::string(2000, 'm')), 32767);
}

TEST(DrawLineDraw, OverlayGetsTheScaledGreysAndRowsAreRecorded) {
    for (int maxColor : {255, 220}) {
        SCOPED_TRACE(maxColor);
        Fixture f(33);
        f.opt.ieMaxColor = maxColor;
        setpal(f.ctx, 0);
        DrawLine(f.ctx, "a", 1, f.first(), true);

        const GlyphMetrics& a = upright('a');
        const GlyphAtlas& atlas = builtinAtlas();
        const int left = (kScreenWidth - 33) / 2;
        int full = 0, wrong = 0;
        for (int row = rowTop[0]; row <= rowBottom[0]; ++row) {
            for (int u = a.x; u <= a.x + a.width; ++u) {
                const int t = left + u - a.x, y = 1010 + row - 57;
                const size_t i = static_cast<size_t>(y) * kScreenWidth + static_cast<size_t>(t);
                const uint8_t v = atlas.at(u, row);
                if (v == 1) {
                    wrong += f.prog.pics.Overlay.alpha[i] != 0;
                    continue;
                }
                const uint32_t grey = v * static_cast<uint32_t>(maxColor) / 255;
                wrong += f.prog.pics.Overlay.color[i] != grey * 0x010101u;
                wrong += f.prog.pics.Overlay.alpha[i] != f.prog.pal.Alpha[f.prog.pal.GreyMap[v]];
                if (v == 255) {
                    ++full;
                    EXPECT_EQ(f.prog.pics.Overlay.color[i], maxColor == 255 ? 0xFFFFFFu : 0xDCDCDCu);
                    EXPECT_EQ(f.prog.pics.Overlay.alpha[i], 255);
                }
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(full, 0);
        // Nothing else was touched: not IndexImage outside export and saving, not the display.
        size_t overlayInk = 0;
        for (uint8_t alpha : f.prog.pics.Overlay.alpha) overlayInk += alpha != 0;
        size_t atlasInk = 0;
        for (int row = rowTop[0]; row <= rowBottom[0]; ++row)
            for (int u = a.x; u <= a.x + a.width; ++u) atlasInk += atlas.at(u, row) != 1;
        EXPECT_EQ(overlayInk, atlasInk);
        for (uint8_t v : f.prog.pics.IndexImage.pixels) ASSERT_EQ(v, kFill);
        const auto [first, last] = inkRows(a);
        EXPECT_EQ(f.slot().y1, 1010 + first - 57);
        EXPECT_EQ(f.slot().y2, 1010 + last - 57);
    }
}

TEST(DrawLineDraw, TwoLinesWidenTheRectangleAndSpacesInkNothing) {
    Fixture f(100);
    DrawLine(f.ctx, "   ", 1, f.first(), true);
    EXPECT_EQ(f.slot().y1, kScreenHeight - 1);
    EXPECT_EQ(f.slot().y2, 0);
    DrawLine(f.ctx, "A", 2, f.first(), true);   // capital, upper line
    DrawLine(f.ctx, "g", 1, f.first(), true);   // descender, bottom line
    const auto [aTop, aBottom] = inkRows(upright('A'));
    const auto [gTop, gBottom] = inkRows(upright('g'));
    EXPECT_EQ(f.slot().y1, 920 + aTop - 203);
    EXPECT_EQ(f.slot().y2, 1010 + gBottom - 57);
    (void)aBottom;
    (void)gTop;
}

TEST(DrawLineDraw, ModesChooseThePictures) {
    const GlyphMetrics& a = upright('a');
    const GlyphAtlas& atlas = builtinAtlas();
    const int left = (kScreenWidth - 33) / 2;
    struct Case {
        const char* name;
        bool exportBD, saving, png, bmp, ocr;
        bool index, twoTone, display, overlay, rows;
    };
    const Case cases[] = {
        {"export", true, false, false, false, false, true, false, false, true, false},
        {"export ignores the OCR option", true, false, false, false, true, true, false, false, true, false},
        {"saving PNG", false, true, true, false, false, true, false, false, false, true},
        {"saving PNG two-tone", false, true, true, false, true, true, true, false, false, true},
        {"saving BMP", false, true, false, true, false, false, false, true, false, true},
        {"normal", false, false, true, true, true, false, false, false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f(33);
        f.prog.ExportingBD = c.exportBD;
        f.prog.SavingPics = c.saving;
        f.opt.cbPNG = c.png;
        f.opt.cbBMP = c.bmp;
        f.opt.cbOCR = c.ocr;
        DrawLine(f.ctx, "a", 1, f.first(), true);
        int wrong = 0;
        for (int row = rowTop[0]; row <= rowBottom[0]; ++row) {
            for (int u = a.x; u <= a.x + a.width; ++u) {
                const int t = left + u - a.x, y = 1010 + row - 57;
                const size_t i = static_cast<size_t>(y) * kScreenWidth + static_cast<size_t>(t);
                const uint8_t v = atlas.at(u, row);
                const uint8_t mapped = f.prog.pal.GreyMap[v];
                uint8_t index = kFill;
                if (c.index && v != 1)
                    index = c.twoTone ? (f.prog.pal.Palette[mapped] >= f.prog.pal.cutThreshold ? 18 : 19) : mapped;
                wrong += f.prog.pics.IndexImage.at(t, y) != index;
                const Color colour = v == 1 ? 0 : (v * 220u / 255) * 0x010101u;
                wrong += f.prog.pics.display.at(t, y) != (c.display ? colour : 0);
                wrong += f.prog.pics.Overlay.alpha[i] != (c.overlay && v != 1 ? f.prog.pal.Alpha[mapped] : 0);
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(f.slot().y1 != kScreenHeight - 1, c.rows);
    }
}

TEST(DrawLineDraw, OverlappingBoxesKeepTheEarlierInk) {
    // Italic "f" reaches into the box of the letter after it.
    Fixture alone(60), both(60);
    alone.prog.ExportingHD = both.prog.ExportingHD = true;
    DrawLine(alone.ctx, "<i>f", 1, alone.first(), true);
    DrawLine(both.ctx, "<i>fa", 1, both.first(), true);
    const GlyphMetrics& f = italic('f');
    const GlyphMetrics& a = italic('a');
    const int fLeft = (kScreenWidth - 60) / 2;
    const int aLeft = fLeft + f.width + 4 - f.kernAfter - a.kernBefore;
    ASSERT_LT(aLeft, fLeft + f.width);
    int shared = 0, lost = 0;
    const GlyphAtlas& atlas = builtinAtlas();
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int t = aLeft; t <= fLeft + f.width; ++t) {
            const uint8_t fInk = alone.prog.pics.IndexImage.at(t, y);
            const int row = y - 1010 + 130;
            if (fInk == kFill || row < rowTop[1] || row > rowBottom[1]) continue;
            if (atlas.at(a.x + t - aLeft, row) != 1) continue;   // the "a" itself inks here
            ++shared;
            lost += both.prog.pics.IndexImage.at(t, y) != fInk;
        }
    }
    EXPECT_GT(shared, 0);
    EXPECT_EQ(lost, 0);
}

TEST(DrawLineDraw, WritesStayInsideThePictures) {
    struct Case {
        const char* name;
        int lastLine;
        int width;       // slot width: wider than the screen starts the line left of column 0
        bool exporting;
        const char* line;
    };
    const std::string longLine(120, 'W');
    const Case cases[] = {
        {"descenders below the bottom", 1075, 300, false, "gjpqy(,"},
        {"caps above the top", 20, 300, true, "\xC1\xC9\xCD\xD3"},
        {"baseline far above", -500, 300, false, "Agj"},
        {"baseline far below", 3000, 300, true, "Agj"},
        {"past the right edge", 1010, 0, true, longLine.c_str()},
        {"past the left edge", 1010, 6000, false, longLine.c_str()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f(c.width > kScreenWidth ? 0 : c.width);
        if (c.width > kScreenWidth) f.prog.Subs[0].obj[0].x2 = static_cast<uint16_t>(c.width);
        f.prog.ExportingBD = c.exporting;
        f.opt.ieLastLine = c.lastLine;
        fillLineY(f.prog, f.opt);
        DrawLine(f.ctx, c.line, 1, f.first(), true);
        EXPECT_LE(f.slot().y2, kScreenHeight - 1);
        EXPECT_LE(f.slot().y1, kScreenHeight - 1);
    }
    // Ink reaches the last column and the last row.
    Fixture right(0);
    right.prog.ExportingBD = true;
    right.opt.ieLastLine = 1075;
    fillLineY(right.prog, right.opt);
    DrawLine(right.ctx, "gggg" + longLine, 1, right.first(), true);
    bool lastColumn = false, lastRow = false;
    for (int y = 0; y < kScreenHeight; ++y) lastColumn |= right.prog.pics.IndexImage.at(kScreenWidth - 1, y) != kFill;
    for (int t = 0; t < kScreenWidth; ++t) lastRow |= right.prog.pics.IndexImage.at(t, kScreenHeight - 1) != kFill;
    EXPECT_TRUE(lastColumn);
    EXPECT_TRUE(lastRow);
    // Nothing cut off at the right edge came back on the left of the next row.
    int wrapped = 0;
    for (int y = 0; y < kScreenHeight; ++y)
        for (int t = 0; t < 200; ++t) wrapped += right.prog.pics.IndexImage.at(t, y) != kFill;
    EXPECT_EQ(wrapped, 0);
}

TEST(DrawLineDraw, NothingDrawnWithoutPlaceOrOverlay) {
    struct Case {
        const char* name;
        uint8_t lineNo;
        bool slot;
    };
    const Case cases[] = {{"line 0", 0, true}, {"line 11", 11, true}, {"no slot", 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f(33);
        DrawLine(f.ctx, "<i>a", c.lineNo, c.slot ? f.first() : nullptr, true);
        EXPECT_TRUE(f.prog.italicOn);   // the tags still count
        EXPECT_EQ(f.slot().y1, kScreenHeight - 1);
        for (uint8_t alpha : f.prog.pics.Overlay.alpha) ASSERT_EQ(alpha, 0);
    }
    // No overlay this call: the rows are still recorded.
    Fixture f(33);
    f.prog.pics.Overlay = OverlayImage{};
    DrawLine(f.ctx, "a", 1, f.first(), true);
    EXPECT_EQ(f.slot().y2, 1010 + inkRows(upright('a')).second - 57);
}
