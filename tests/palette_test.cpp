// Colour conversion and the palette builder for the four kinds of subtitle.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "render/palette.h"
#include "stream/load.h"
#include "support/render_support.h"

using namespace vantrel;
using namespace vantrel::testing;

TEST(YCrCbToRGB, ConvertsStudioRangeAndClamps) {
    struct Case {
        uint8_t y, cr, cb;
        Color expected;
    };
    const Case cases[] = {
        {16, 128, 128, 0x000000},  {235, 128, 128, 0xFFFFFF}, {128, 128, 128, 0x828282},
        {81, 240, 90, 0x0000FE},   {41, 110, 240, 0xFF0000},
        // Out of the studio range: every channel clamps to 0..255.
        {255, 255, 255, 0xFF7DFF}, {0, 0, 0, 0x008700},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::vector<int>{c.y, c.cr, c.cb}));
        EXPECT_EQ(YCrCbToRGB(c.y, c.cr, c.cb), c.expected);
    }
}

TEST(YCrCbToRGB, HdMatrixMovesSaturatedColours) {
    struct Case {
        uint8_t y, cr, cb;
        Color bt601, bt709;
    };
    // Grey is the same in both; saturated red and blue differ by tens of levels.
    const Case cases[] = {
        {128, 128, 128, 0x828282, 0x828282},
        {81, 240, 90, 0x0000FE, 0x0018FF},
        {41, 110, 240, 0xFF0000, 0xFF0F00},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::vector<int>{c.y, c.cr, c.cb}));
        EXPECT_EQ(YCrCbToRGB(c.y, c.cr, c.cb, ColorMatrix::BT601), c.bt601);
        EXPECT_EQ(YCrCbToRGB(c.y, c.cr, c.cb, ColorMatrix::BT709), c.bt709);
    }
}

TEST(NearestColor, PicksTheFirstOfTheNearest) {
    PaletteState pal;
    pal.Palette[7] = 0xFFFFFF;
    pal.Palette[9] = 0xFFFFFF;
    pal.Palette[3] = 0x102030;
    EXPECT_EQ(NearestColor(pal, 255, 255, 255), 7);
    EXPECT_EQ(NearestColor(pal, 0x30, 0x20, 0x10), 3);
    EXPECT_EQ(NearestColor(pal, 250, 250, 240), 7);
    pal.Palette[2] = 0xFFFFFF;
    EXPECT_EQ(NearestColor(pal, 255, 255, 255), 2);
}

namespace {

// A program whose only subtitle has its palette in a file of raw bytes.
struct PaletteRig : RenderSession {
    explicit PaletteRig(uint8_t kind) {
        prog.SubKind = static_cast<TableKind>(kind);
        prog.Subs.resize(1);
    }
    TSUP& sub() { return prog.Subs[0]; }
    PaletteState& pal() { return prog.pal; }

    // Blu-ray entries (index, Y, Cr, Cb, alpha) stored 7 bytes into a file.
    void bluRay(const std::vector<PgsBuilder::Entry>& entries) {
        Bytes file(7, 0xAA);
        for (const auto& e : entries) file.insert(file.end(), {e.index, e.y, e.cr, e.cb, e.alpha});
        prog.streamFile = writeTempFile("pal.sup", file);
        sub().palPos = 7;
        sub().palCount = static_cast<int32_t>(entries.size());
    }
    PictureSize run() {
        PictureSize size{1, 1};
        setpal(ctx, 0, &size);
        return size;
    }
};

constexpr PgsBuilder::Entry kWhite(uint8_t i, uint8_t a = 255) { return {i, 235, 128, 128, a}; }
constexpr PgsBuilder::Entry kBlack(uint8_t i, uint8_t a = 255) { return {i, 16, 128, 128, a}; }

}  // namespace

TEST(SetpalBluRay, UnlistedEntriesAreBlackAndTransparentAlsoWhileExporting) {
    for (bool exporting : {false, true}) {
        SCOPED_TRACE(exporting);
        PaletteRig r(2);
        r.pal().Palette.fill(0x123456);
        r.pal().Alpha.fill(77);
        r.prog.ExportingBD = exporting;
        r.bluRay({kBlack(0, 0), kWhite(1), {5, 128, 128, 128, 255}});
        const PictureSize size = r.run();
        EXPECT_EQ(size.width, 1920);
        EXPECT_EQ(size.height, 1080);
        for (int i : {2, 3, 4, 6, 200, 255}) {
            EXPECT_EQ(r.pal().Palette[static_cast<size_t>(i)], 0u) << i;
            // Players show an index the palette leaves out as transparent; an export that
            // made them opaque would put a black bar behind every subtitle.
            EXPECT_EQ(r.pal().Alpha[static_cast<size_t>(i)], 0) << i;
        }
        EXPECT_EQ(r.pal().Palette[5], 0x828282u);
        EXPECT_EQ(r.pal().Alpha[0], 0);
        EXPECT_EQ(r.pal().TranspIdx, 0);
        EXPECT_EQ(r.pal().BrightIdx, 1);
        EXPECT_EQ(r.pal().DarkIdx, 5);
    }
}

TEST(SetpalBluRay, MatrixFollowsTheVideoHeightAndKeepsTheEntries) {
    struct Case {
        uint16_t height;
        Color red;
    };
    for (const Case c : {Case{480, 0x0000FE}, Case{576, 0x0000FE}, Case{720, 0x0018FF}, Case{1080, 0x0018FF}}) {
        SCOPED_TRACE(c.height);
        PaletteRig r(2);
        r.prog.video = {static_cast<uint16_t>(c.height * 16 / 9), c.height, 1};
        r.bluRay({{3, 81, 240, 90, 255}});
        r.run();
        EXPECT_EQ(r.pal().Palette[3], c.red);
        EXPECT_EQ(r.pal().sourceMatrix, matrixFor(c.height));
        EXPECT_TRUE(r.pal().source[3].defined);
        EXPECT_EQ(r.pal().source[3].cr, 240);
        EXPECT_FALSE(r.pal().source[4].defined);
    }
}

TEST(SetpalBluRay, TrackersPreferTheFirstAndOnlyOpaqueEntries) {
    PaletteRig r(2);
    r.pal().BrightIdx = 99;
    r.pal().DarkIdx = 98;
    // 3: white at 254 (never bright), 4 and 6: white, 7 and 8: black, 9: grey at 0, which
    // is the background although the unlisted 0..2 are as transparent.
    r.bluRay({kWhite(3, 254), kWhite(4), kWhite(6), kBlack(7), kBlack(8), {9, 128, 128, 128, 0}});
    r.run();
    EXPECT_EQ(r.pal().BrightIdx, 4);
    EXPECT_EQ(r.pal().DarkIdx, 7);
    EXPECT_EQ(r.pal().TranspIdx, 9);

    // Only opaque black: no bright entry, the previous one stays.
    PaletteRig b(2);
    b.pal().BrightIdx = 99;
    b.bluRay({kBlack(5), kWhite(6, 200)});
    b.run();
    EXPECT_EQ(b.pal().BrightIdx, 99);
    EXPECT_EQ(b.pal().DarkIdx, 5);
}

TEST(SetpalBluRay, BackgroundIsAnUnlistedIndexWhenEveryListedOneIsMoreOpaque) {
    // Every listed entry opaque or nearly, the pictures' transparent pixels use an unlisted
    // index: the background is the first unlisted index, not an opaque entry, also during a
    // Blu-ray export.
    for (bool exporting : {false, true}) {
        SCOPED_TRACE(exporting);
        PaletteRig r(2);
        r.prog.ExportingBD = exporting;
        r.bluRay({kBlack(0), kWhite(1), kWhite(2, 200), kBlack(3)});
        r.run();
        EXPECT_EQ(r.pal().TranspIdx, 4);
    }
}

TEST(SetpalBluRay, WithoutPaletteKeepsTheOneDrawnBefore) {
    PaletteRig r(2);
    r.pal().Palette[4] = 0xABCDEF;
    r.pal().Alpha[4] = 12;
    r.pal().TranspIdx = 4;
    r.prog.streamFile = writeTempFile("empty.sup", Bytes(16, 0));
    r.sub().palPos = 0;
    r.sub().palCount = 3;
    const PictureSize size = r.run();
    EXPECT_EQ(size.width, 1);   // not set
    EXPECT_EQ(r.pal().Palette[4], 0xABCDEFu);
    EXPECT_EQ(r.pal().Alpha[4], 12);
    EXPECT_EQ(r.pal().TranspIdx, 4);
}

TEST(SetpalBluRay, MalformedCountsStayInsideTheTables) {
    // 300 entries: indexes 0..255 and then 0..43 again; the later entries win.
    std::vector<PgsBuilder::Entry> entries;
    for (int i = 0; i < 300; ++i)
        entries.push_back({static_cast<uint8_t>(i % 256), static_cast<uint8_t>(i < 256 ? 16 : 235), 128, 128, 255});
    PaletteRig r(2);
    r.bluRay(entries);
    r.run();
    EXPECT_EQ(r.pal().Palette[43], 0xFFFFFFu);
    EXPECT_EQ(r.pal().Palette[44], 0u);

    // A count that reaches past the end of the file, or one that no file could hold.
    for (int32_t count : {3, 1 << 30, -5}) {
        SCOPED_TRACE(count);
        PaletteRig t(2);
        t.bluRay({kWhite(1), kWhite(2)});
        t.sub().palCount = count;
        if (count < 0) {
            t.run();   // nothing to read
            continue;
        }
        try {
            t.run();
            FAIL() << "no error";
        } catch (const PlatformError& e) {
            EXPECT_STREQ(e.what(), "Stream read error");
        }
    }
}

TEST(SetpalBluRay, PaletteUpdatesChangeOnlyTheEntriesTheyList) {
    // Within an epoch a palette segment updates the entries it lists, the others keep their
    // values; an epoch start forgets them, and another palette id keeps its own entries.
    const PgsBuilder::Entry red{2, 81, 240, 90, 255};
    PgsBuilder b;
    auto show = [&](uint32_t t, uint8_t state, const std::vector<PgsBuilder::Entry>& entries, uint8_t paletteId) {
        b.paletteRef(paletteId).pcs(t, {{0, 0, 100, 900}}, state);
        if (state == 0x80) b.wds(t, {{0, 100, 900, 8, 4}});
        b.pds(t, entries, paletteId);
        if (state == 0x80) b.ods(t, 0, true, true, Bytes(8, 1), 8, 4);
        b.end(t);
    };
    show(1000, 0x80, {kWhite(1), kBlack(2), {3, 128, 128, 128, 128}}, 0);
    show(2000, 0x00, {red}, 0);
    show(3000, 0x00, {kBlack(2), {3, 128, 128, 128, 0}}, 0);
    show(4000, 0x00, {red}, 1);
    show(5000, 0x80, {kWhite(1)}, 0);
    struct Case {
        int alpha1, alpha2, alpha3;
        Color colour2;
    };
    const Case cases[] = {
        {255, 255, 128, 0x000000}, {255, 255, 128, 0x0018FF}, {255, 255, 0, 0x000000}, {0, 255, 0, 0x0018FF},
        {255, 0, 0, 0x000000},
    };
    RenderSession r;
    r.prog.eSUPfile = writeTempFile("palette-versions.sup", b.bytes());
    ASSERT_EQ(Load(r.ctx), LoadResult::Loaded);
    ASSERT_EQ(r.prog.Subs.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        setpal(r.ctx, static_cast<int32_t>(i));
        EXPECT_EQ(r.prog.pal.Alpha[1], c.alpha1);
        EXPECT_EQ(r.prog.pal.Alpha[2], c.alpha2);
        EXPECT_EQ(r.prog.pal.Alpha[3], c.alpha3);
        EXPECT_EQ(r.prog.pal.Palette[2], c.colour2);
        EXPECT_EQ(r.prog.pal.Palette[1], c.alpha1 ? 0xFFFFFFu : 0u);
    }
}

TEST(SetpalHdDvd, ReadsTriplesAndContrastFromTheControlArea) {
    PaletteRig r(1);
    // Pixel data of 10 bytes at 20; the control area follows at 30 with the colour
    // operand at +4 and the contrast operand at +4 + 768.
    Bytes file(30 + 4 + 768 + 256, 0);
    auto triple = [&](int i, uint8_t y, uint8_t cr, uint8_t cb) {
        file[static_cast<size_t>(34 + 3 * i)] = y;
        file[static_cast<size_t>(35 + 3 * i)] = cr;
        file[static_cast<size_t>(36 + 3 * i)] = cb;
    };
    for (int i = 0; i < 256; ++i) triple(i, 16, 128, 128);
    triple(1, 235, 128, 128);
    triple(2, 41, 110, 240);
    const size_t contrast = 34 + 768;
    for (size_t i = 0; i < 256; ++i) file[contrast + i] = 255;
    file[contrast + 1] = 0;
    file[contrast + 2] = 0;
    file[contrast + 3] = 55;
    r.prog.streamFile = writeTempFile("hd.sup", file);
    r.sub().obj[0].partPos[0] = 20;
    r.sub().obj[0].partLen[0] = 10;
    r.sub().ctrlPalOffset = 4;
    r.sub().ctrlAlphaOffset = 4 + 768;
    const PictureSize size = r.run();
    EXPECT_EQ(size.width, 1920);
    EXPECT_EQ(r.pal().Palette[1], 0xFFFFFFu);
    EXPECT_EQ(r.pal().Palette[2], 0xFF0F00u);   // 1080 lines: BT.709
    EXPECT_EQ(r.pal().Alpha[0], 0);     // contrast 255
    EXPECT_EQ(r.pal().Alpha[1], 255);   // contrast 0
    EXPECT_EQ(r.pal().Alpha[3], 200);
    EXPECT_EQ(r.pal().TranspIdx, 0);
    EXPECT_EQ(r.pal().BrightIdx, 1);
    EXPECT_EQ(r.pal().DarkIdx, 2);

    // The contrast table past the end of the file.
    r.sub().ctrlAlphaOffset = 4 + 768 + 10;
    EXPECT_THROW(r.run(), PlatformError);
}

TEST(SetpalDvd, FixedFourColoursAndPictureSize) {
    PaletteRig r(0);
    r.prog.streamFile = writeTempFile("dvd.sup", Bytes(4, 0));
    r.pal().Palette[9] = 0x445566;
    r.pal().TranspIdx = 200;   // left by an earlier table
    r.pal().DarkIdx = 201;
    const PictureSize size = r.run();
    EXPECT_EQ(size.width, 720);
    EXPECT_EQ(size.height, 576);
    EXPECT_EQ((std::vector<Color>{r.pal().Palette[0], r.pal().Palette[1], r.pal().Palette[2], r.pal().Palette[3]}),
              (std::vector<Color>{0x000000, 0xFFFFFF, 0x000000, 0xCCCCCC}));
    EXPECT_EQ((std::vector<int>{r.pal().Alpha[0], r.pal().Alpha[1], r.pal().Alpha[2], r.pal().Alpha[3]}),
              (std::vector<int>{0, 255, 255, 255}));
    EXPECT_EQ(r.pal().Palette[9], 0x445566u);
    EXPECT_EQ(r.pal().BrightIdx, 1);
    EXPECT_EQ(r.pal().TranspIdx, 0);
    EXPECT_EQ(r.pal().DarkIdx, 2);
}

TEST(SetpalText, GreyRampFollowsTheBrightness) {
    struct Case {
        int maxColor;
        std::vector<int> levels;   // grey of indexes 2..18
    };
    const Case cases[] = {
        {255, {0, 16, 32, 48, 64, 80, 96, 112, 127, 143, 159, 175, 191, 207, 223, 239, 255}},
        {220, {0, 0, 16, 32, 48, 64, 80, 96, 95, 111, 127, 143, 159, 175, 191, 191, 207}},
        // So dark that level(8) is 0: the entry stays black instead of wrapping around.
        {20, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 15, 15, 15, 15}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxColor);
        PaletteRig r(3);
        r.prog.streamFile = "/nonexistent/never-opened.sup";
        r.opt.ieMaxColor = c.maxColor;
        const PictureSize size = r.run();
        EXPECT_EQ(size.width, 1);   // untouched
        for (int i = 0; i <= 16; ++i) {
            const auto v = static_cast<Color>(c.levels[static_cast<size_t>(i)]);
            EXPECT_EQ(r.pal().Palette[static_cast<size_t>(2 + i)], v * 0x010101u) << i;
        }
        EXPECT_EQ(r.pal().Alpha[2], 154);
        EXPECT_EQ(r.pal().Alpha[9], 224);
        EXPECT_EQ(r.pal().Alpha[10], 223);
        EXPECT_EQ(r.pal().Alpha[18], 255);
        EXPECT_EQ(r.pal().Alpha[0], 255);
        EXPECT_EQ(r.pal().Alpha[1], 0);
        EXPECT_EQ(r.pal().Palette[1], 0x0000FFu);
        EXPECT_EQ(r.pal().Palette[19], 0u);
        EXPECT_EQ(r.pal().Alpha[19], 255);
        EXPECT_EQ((std::vector<int>{r.pal().TranspIdx, r.pal().BrightIdx, r.pal().DarkIdx}),
                  (std::vector<int>{1, 18, 19}));
        EXPECT_EQ(r.pal().GreyMap[0], 2);
        EXPECT_EQ(r.pal().GreyMap[112], 9);
        EXPECT_EQ(r.pal().GreyMap[127], 10);
        EXPECT_EQ(r.pal().GreyMap[255], 18);
        EXPECT_EQ(r.pal().GreyMap[128], 1);
    }
}

TEST(Setpal, OcrViewMakesEveryIndexOpaqueExceptDuringExport) {
    struct Case {
        bool exportingBD, exportingHD;
        int alphaOfUnlisted;
    };
    for (const Case c : {Case{false, false, 255}, Case{true, false, 0}, Case{false, true, 0}}) {
        PaletteRig r(2);
        r.opt.cbOCR = true;
        r.prog.ExportingBD = c.exportingBD;
        r.prog.ExportingHD = c.exportingHD;
        r.bluRay({kWhite(1, 100)});
        r.run();
        EXPECT_EQ(r.pal().Alpha[1], c.exportingBD || c.exportingHD ? 100 : 255);
        EXPECT_EQ(r.pal().Alpha[7], c.alphaOfUnlisted);
    }
}

TEST(Setpal, CutThresholdAndMissingStream) {
    PaletteRig r(2);
    r.opt.ieCutLevel = 145;
    r.bluRay({kWhite(1)});
    r.run();
    EXPECT_EQ(r.pal().cutThreshold, 0x919191u);

    r.pal().Palette[1] = 0x010203;
    r.prog.streamFile = "/nonexistent/gone.sup";
    try {
        r.run();
        FAIL() << "no error";
    } catch (const PlatformError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"/nonexistent/gone.sup\". ", 0), 0u) << e.what();
    }
    EXPECT_EQ(r.pal().Palette[1], 0x010203u);
}
