// DrawSub: the composed pictures, the modes, the side panel and the saving step.
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/image_io.h"
#include "render/composer.h"
#include "render/decoder.h"
#include "stream/load.h"
#include "support/render_support.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

constexpr Color kDark = 0x313233;
constexpr Color kBlue = 0xFF0000;
constexpr Color kMarker = 0x0A0B0C;

// An 8x4 object: index 0 transparent, 1 white, 2 opaque black, 3 grey at opacity 128.
const IndexPicture kObject{8, 4, {
    0, 1, 1, 1, 1, 1, 1, 0,
    2, 1, 3, 3, 3, 3, 1, 2,
    2, 1, 3, 0, 0, 3, 1, 2,
    0, 2, 2, 2, 2, 2, 2, 0,
}};
const std::vector<PgsBuilder::Entry> kPalette{
    {0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}, {3, 128, 128, 128, 128}};
const Color kColors[4] = {0x000000, 0xFFFFFF, 0x000000, 0x828282};
const int kAlphas[4] = {0, 255, 255, 128};

// One display set showing kObject in window 0 at (100, 900) from 1 s to 2 s.
Bytes oneObjectStream() {
    PgsBuilder b;
    b.pcs(90000, {{0, 0, 100, 900}});
    b.wds(90000, {{0, 100, 900, 8, 4}});
    b.pds(90000, kPalette);
    b.ods(90000, 0, true, true, bluRayRle(kObject), 8, 4);
    b.end(90000);
    b.pcs(180000, {});
    b.wds(180000, {{0, 100, 900, 8, 4}});
    b.end(180000);
    return b.bytes();
}

struct Composer : RenderSession {
    explicit Composer(const Bytes& stream) {
        prog.eSUPfile = writeTempFile("compose.sup", stream);
        Load(ctx);
    }
    Color display(int x, int y) const { return prog.pics.display.at(x, y); }
    uint8_t index(int x, int y) const { return prog.pics.IndexImage.at(x, y); }
};

uint32_t blend(Color p, Color o, int a) {
    Color out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const auto pc = static_cast<int>((p >> shift) & 0xFF);
        const auto oc = static_cast<int>((o >> shift) & 0xFF);
        out |= static_cast<Color>((pc * (255 - a) + oc * a + 127) / 255) << shift;
    }
    return out;
}

// Where two pictures of the same size first differ, and how many pixels do.
template <typename T>
std::string firstDifference(const std::vector<T>& got, const std::vector<T>& expected, int width) {
    size_t count = 0;
    std::string first;
    for (size_t i = 0; i < got.size() && i < expected.size(); ++i) {
        if (got[i] == expected[i]) continue;
        if (count++ == 0)
            first = "(" + std::to_string(i % static_cast<size_t>(width)) + ", " +
                    std::to_string(i / static_cast<size_t>(width)) + "): " + std::to_string(got[i]) +
                    " instead of " + std::to_string(expected[i]);
    }
    return count == 0 ? std::string() : std::to_string(count) + " pixels differ, first " + first;
}

}  // namespace

TEST(DrawSub, ComposesTheDisplayPictureIndexImageAndInkPlane) {
    Composer c(oneObjectStream());
    c.opt.cbBorders = true;
    DrawSub(c.ctx, 1);

    // Dark fill, blue guide lines 10 pixels past the corners, then the object blended over
    // them in its palette colours at its palette opacities.
    std::vector<Color> display(static_cast<size_t>(kScreenWidth) * kScreenHeight, kDark);
    auto put = [&](int x, int y, Color v) { display[static_cast<size_t>(y * kScreenWidth + x)] = v; };
    for (int x = 90; x <= 117; ++x) {
        put(x, 900, kBlue);
        put(x, 903, kBlue);
    }
    for (int y = 890; y <= 913; ++y) {
        put(107, y, kBlue);
        put(100, y, kBlue);
    }
    std::vector<uint8_t> index(static_cast<size_t>(kScreenWidth) * kScreenHeight, 0);
    std::vector<uint8_t> ink(static_cast<size_t>(kScreenWidth) * kScreenHeight, 0);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            const uint8_t v = kObject.at(x, y);
            const size_t at = static_cast<size_t>((900 + y) * kScreenWidth + 100 + x);
            display[at] = blend(display[at], kColors[v], kAlphas[v]);
            index[at] = v;
            ink[static_cast<size_t>(y * kScreenWidth + x)] = v == 1;
        }
    }
    EXPECT_EQ(firstDifference(c.prog.pics.display.pixels, display, kScreenWidth), "");
    EXPECT_EQ(firstDifference(c.prog.pics.IndexImage.pixels, index, kScreenWidth), "");
    EXPECT_EQ(firstDifference(c.prog.pics.inkPlane, ink, kScreenWidth), "");
    EXPECT_EQ(c.prog.pics.IndexImage.colors[1], 0xFFFFFFu);
    EXPECT_EQ(c.prog.pics.IndexImage.transparency[3], 128);

    const SidePanel& p = c.prog.panel;
    EXPECT_EQ(p.lStartEnd, "00:00:01,000 - 00:00:02,000");
    EXPECT_EQ(p.lArea, "(100, 900) - (108, 904)  8x4");
    EXPECT_EQ(p.lMaxline, "/ 1");
    EXPECT_EQ(p.lArea2, "");
    EXPECT_EQ(p.scrollY, 890);
    EXPECT_EQ(p.editorLines, std::vector<std::string>{"line 1"});
    EXPECT_TRUE(p.ieSubsEnabled && p.mSubtextEnabled && p.bOCREnabled);
    EXPECT_FALSE(p.rgFontEnabled);   // font mode 4: not decided, controls left alone
    EXPECT_EQ(p.rgFont, 1);
    EXPECT_EQ(c.prog.CurSub, 0);

    // Without "FS" (cbFull) no guide lines.
    DrawSub(c.ctx, 1, DrawSubView{false, {}});
    EXPECT_EQ(c.display(90, 900), kDark);
}

TEST(DrawSub, NoSubtitleClearsThePanelAndStillSaves) {
    Composer c(oneObjectStream());
    DrawSub(c.ctx, 1);
    for (int n : {0, -3, 2}) {
        SCOPED_TRACE(n);
        c.prog.SavingPics = true;
        std::vector<int> saved;
        DrawSub(c.ctx, n, DrawSubView{true, [&](Context&, int32_t k) { saved.push_back(k); }});
        EXPECT_EQ(saved, std::vector<int>{n});
        const SidePanel& p = c.prog.panel;
        EXPECT_EQ(p.lStartEnd, "");
        EXPECT_TRUE(p.editorLines.empty());
        EXPECT_FALSE(p.ieSubsEnabled || p.mSubtextEnabled || p.rgFontEnabled || p.bOCREnabled);
        EXPECT_EQ(c.prog.CurSub, n < 1 ? n - 1 : -1);
        EXPECT_EQ(c.display(104, 901), 0u);
        EXPECT_EQ(c.display(0, 0), 0u);
    }
}

TEST(DrawSub, Modes) {
    struct Case {
        const char* name;
        bool ocr, saving, exportBD, cbOCR;
        Color background, white, grey;   // display at (0, 0), at a white and a grey pixel
        int indexBackground, indexWhite, indexGrey;
        bool saved;
    };
    const Color greyOverDark = blend(kDark, 0x828282, 128);
    const Case cases[] = {
        {"normal", false, false, false, false, kDark, 0xFFFFFF, greyOverDark, 0, 1, 3, false},
        // Every index opaque in its own colours; the paletted background is the dark index.
        {"normal, cbOCR", false, false, false, true, kDark, 0xFFFFFF, 0x828282, 2, 1, 3, false},
        // Two-tone on black; grey is below the cut level.
        {"ocr", true, false, false, false, 0, 0xCCCCCC, 0, 0, 1, 3, false},
        {"saving", false, true, false, false, 0, 0xFFFFFF, blend(0, 0x828282, 128), 0, 1, 3, true},
        {"saving, cbOCR", false, true, false, true, 0, 0xCCCCCC, 0, 2, 1, 2, true},
        // Only the paletted picture: the display keeps what it had.
        {"export", false, false, true, true, kMarker, kMarker, kMarker, 0, 1, 3, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        Composer c(oneObjectStream());
        c.prog.pics.ensureAllocated();
        std::fill(c.prog.pics.display.pixels.begin(), c.prog.pics.display.pixels.end(), kMarker);
        c.prog.panel.lArea = "before";
        c.opt.cbOCR = k.cbOCR;
        c.opt.cbBorders = true;
        c.opt.cbPalette = true;
        c.prog.ocrRunning = k.ocr;
        c.prog.SavingPics = k.saving;
        c.prog.ExportingBD = k.exportBD;
        bool saved = false;
        DrawSub(c.ctx, 1, DrawSubView{true, [&](Context&, int32_t) { saved = true; }});
        EXPECT_EQ(c.display(0, 0), k.background);
        EXPECT_EQ(c.display(101, 900), k.white);
        EXPECT_EQ(c.display(102, 901), k.grey);
        EXPECT_EQ(c.index(0, 0), k.indexBackground);
        EXPECT_EQ(c.index(101, 900), k.indexWhite);
        EXPECT_EQ(c.index(102, 901), k.indexGrey);
        EXPECT_EQ(saved, k.saved);
        EXPECT_EQ(c.prog.panel.lArea == "before", k.exportBD);
        // Guide lines and the palette strip belong to the normal display only.
        const bool normal = !k.ocr && !k.saving && !k.exportBD;
        EXPECT_EQ(c.display(90, 900) == kBlue, normal);
        EXPECT_EQ(c.display(22, 12) == 0xFFFFFF, normal);
    }
}

TEST(DrawSub, PaletteStripOnTheDisplayAndTheOverlay) {
    Composer c(oneObjectStream());
    c.opt.cbPalette = true;
    DrawSub(c.ctx, 1);
    // Index 1 (row 0, column 1) on the display: a black 9x9 cell without corners at (20, 10)
    // holding a white 7x7 cell without corners.
    EXPECT_EQ(c.display(20, 10), kDark);     // corner
    EXPECT_EQ(c.display(21, 10), 0u);
    EXPECT_EQ(c.display(21, 11), 0u);        // corner of the inner cell
    EXPECT_EQ(c.display(22, 12), 0xFFFFFFu);
    EXPECT_EQ(c.display(10 + 30 + 4, 14), 0x828282u);   // index 3
    // On the overlay 170 columns further right, white at each index's opacity, blended twice.
    EXPECT_EQ(c.display(210, 10), kDark);
    EXPECT_EQ(c.display(211, 11), 0u);
    EXPECT_EQ(c.display(212, 12), blend(blend(kDark, 0xFFFFFF, 128), 0xFFFFFF, 128));
    EXPECT_EQ(c.display(192, 12), 0xFFFFFFu);   // index 1, opaque
    EXPECT_EQ(c.display(182, 12), kDark);       // index 0, transparent: the black cell is covered
    EXPECT_EQ(c.display(181, 10), 0u);
}

TEST(DrawSub, TwoWindowsAndAnEmptyFirstSlot) {
    // Object 1 in window 0 at (100, 100), object 2 in window 1 at (300, 800).
    PgsBuilder b;
    b.pcs(90000, {{1, 0, 100, 100}, {2, 1, 300, 800}});
    b.wds(90000, {{0, 100, 100, 8, 4}, {1, 300, 800, 8, 4}});
    b.pds(90000, kPalette);
    b.ods(90000, 1, true, true, bluRayRle(kObject), 8, 4);
    b.ods(90000, 2, true, true, bluRayRle(kObject), 8, 4);
    b.end(90000);
    Composer c(b.bytes());
    c.opt.cbBorders = true;
    DrawSub(c.ctx, 1);
    EXPECT_EQ(c.prog.panel.lArea2, "(300, 800) - (308, 804)");
    EXPECT_EQ(c.index(101, 100), 1);
    EXPECT_EQ(c.index(301, 800), 1);
    EXPECT_EQ(c.display(90, 100), kBlue);
    EXPECT_EQ(c.display(290, 800), kBlue);
    EXPECT_EQ(c.display(317, 803), kBlue);
    // The ink plane holds both objects where they lie to each other, its origin at the
    // corner of their union (100, 100): the OCR reads every line of both windows.
    IndexPicture other{8, 4, std::vector<uint8_t>(32, 1)};
    PgsBuilder inkOnly;
    inkOnly.pcs(90000, {{1, 0, 100, 100}, {2, 1, 300, 800}});
    inkOnly.wds(90000, {{0, 100, 100, 8, 4}, {1, 300, 800, 8, 4}});
    inkOnly.pds(90000, kPalette);
    inkOnly.ods(90000, 1, true, true, bluRayRle(kObject), 8, 4);
    inkOnly.ods(90000, 2, true, true, bluRayRle(other), 8, 4);
    inkOnly.end(90000);
    Composer k(inkOnly.bytes());
    k.prog.ocrRunning = true;
    DrawSub(k.ctx, 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(k.prog.pics.inkPlane[static_cast<size_t>(y * 1920 + x)], kObject.at(x, y) == 1 ? 1 : 0) << x << "," << y;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(k.prog.pics.inkPlane[static_cast<size_t>((700 + y) * 1920 + 200 + x)], 1) << x << "," << y;
    EXPECT_EQ(k.index(301, 801), 1);   // the second window is still drawn

    // Only window 1 gets an object: the composition's first object fills slot 0, so it is
    // decoded at window 1's place and the texts and the scroll position follow it.
    PgsBuilder one;
    one.pcs(90000, {{2, 1, 300, 800}});
    one.wds(90000, {{0, 100, 100, 8, 4}, {1, 300, 800, 8, 4}});
    one.pds(90000, kPalette);
    one.ods(90000, 2, true, true, bluRayRle(kObject), 8, 4);
    one.end(90000);
    Composer s(one.bytes());
    DrawSub(s.ctx, 1);
    EXPECT_EQ(s.index(101, 100), 0);
    EXPECT_EQ(s.index(301, 800), 1);
    EXPECT_EQ(s.prog.pics.inkPlane[1], 1);   // relative to window 1's corner
    EXPECT_EQ(s.prog.panel.lArea, "(300, 800) - (308, 804)  8x4");
    EXPECT_EQ(s.prog.panel.scrollY, 790);
}

TEST(DrawSub, CroppedCompositionShowsItsCroppingRectangle) {
    // A 24x12 object of indexes 1..3 in a pattern; the composition shows the part its
    // cropping rectangle takes, with that part's corner at the composition's position.
    IndexPicture object{24, 12, {}};
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 24; ++x) object.pixels.push_back(static_cast<uint8_t>(1 + (x / 4 + y / 3 + x % 2) % 3));
    struct Case {
        const char* name;
        uint16_t cropX, cropY, cropW, cropH;
        int shownW, shownH;   // the rectangle shown, cut to the object
    };
    const Case cases[] = {
        {"inside the object", 4, 3, 8, 6, 8, 6},
        {"reaching past the object", 16, 8, 20, 20, 8, 4},
        {"the whole object", 0, 0, 24, 12, 24, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PgsBuilder b;
        PgsBuilder::CompObject o{0, 0, 300, 200, true, false, c.cropX, c.cropY, c.cropW, c.cropH};
        b.pcs(90000, {o});
        b.wds(90000, {{0, 300, 200, 24, 12}});
        b.pds(90000, kPalette);
        b.ods(90000, 0, true, true, bluRayRle(object), 24, 12);
        b.end(90000);
        Composer k(b.bytes());
        const TSUPObject& slot = k.prog.Subs.at(0).obj[0];
        EXPECT_EQ((std::vector<int>{slot.x1, slot.y1, slot.x2, slot.y2}),
                  (std::vector<int>{300, 200, 300 + c.shownW, 200 + c.shownH}));
        DrawSub(k.ctx, 1);
        PixelData data;
        loadSlot(k.prog.streamFile, slot, data);
        IndexPlane plane;
        ASSERT_TRUE(decodeSlotPlane(k.ctx, 0, 0, data, plane));
        // Exactly the part shown: a column or row more would hold an index nobody drew.
        EXPECT_EQ(plane.width, c.shownW);
        EXPECT_EQ(plane.height, c.shownH);
        for (int y = -1; y <= c.shownH; ++y) {
            for (int x = -1; x <= c.shownW; ++x) {
                const bool shown = x >= 0 && y >= 0 && x < c.shownW && y < c.shownH;
                const uint8_t want = shown ? object.at(c.cropX + x, c.cropY + y) : 0;
                ASSERT_EQ(k.index(300 + x, 200 + y), want) << x << "," << y;
                // The OCR's plane of the slot holds the same part.
                if (shown) {
                    ASSERT_EQ(plane.pixels[static_cast<size_t>(y * plane.width + x)], want) << x << "," << y;
                }
            }
        }
    }
}

TEST(DrawSub, DvdStyleDrawsOnA720x576Picture) {
    // Top field: "11 01" 3 pixels of 1, "01 10" 1 pixel of 2; bottom field "11 11" "01 11":
    // 4 pixels of 3. Display area (100, 500) - (103, 501).
    SpBuilder b;
    Bytes first = SpBuilder::staDsp();
    for (const Bytes& cmd : {SpBuilder::setDarea(false, 100, 103, 500, 501), SpBuilder::setDspxa(false, 4, 5),
                             SpBuilder::cmdEnd()})
        first.insert(first.end(), cmd.begin(), cmd.end());
    b.packet(90000, false, {0xD6, 0xF7}, {{0, first}, {100, {0x02, 0xFF}, true}});
    Composer c(b.bytes());
    ASSERT_EQ(c.prog.SubKind, 0);
    DrawSub(c.ctx, 1);
    EXPECT_EQ(c.display(719, 575), kDark);
    EXPECT_EQ(c.display(720, 0), 0u);
    EXPECT_EQ(c.display(0, 576), 0u);
    EXPECT_EQ(c.display(100, 500), 0xFFFFFFu);
    EXPECT_EQ(c.display(103, 500), 0u);
    EXPECT_EQ(c.display(100, 501), 0xCCCCCCu);
    EXPECT_EQ(c.index(103, 501), 3);
    EXPECT_EQ(c.prog.panel.lArea, "(100, 500) - (103, 501)  3x1");
    EXPECT_FALSE(c.prog.panel.bOCREnabled);   // never enabled for DVD-style tables
}

TEST(DrawSub, BackgroundPicture) {
    const std::vector<Color> picture{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const auto dir = std::filesystem::path(writeTempFile("x", {})).parent_path();
    const std::string bmp = (dir / "back.bmp").string();
    writeBmp(bmp, 4, 3, picture.data(), 4);
    Composer c(oneObjectStream());
    c.opt.cbBack = true;
    c.opt.cbBorders = true;
    c.opt.eBackground = bmp;
    DrawSub(c.ctx, 1);
    EXPECT_EQ(c.display(0, 0), 1u);
    EXPECT_EQ(c.display(3, 2), 12u);
    EXPECT_EQ(c.display(4, 0), 0u);   // padded with black
    EXPECT_EQ(c.display(0, 3), 0u);
    EXPECT_EQ(c.display(90, 900), 0u);   // guide lines fall outside the 4x3 picture
    EXPECT_EQ(c.display(101, 900), 0xFFFFFFu);

    // The picture is decoded once and kept while its file stays the same; a new file under
    // the same name is read again.
    EXPECT_EQ(c.prog.pics.backgroundName, bmp);
    c.prog.pics.backgroundPixels[0] = 99;
    DrawSub(c.ctx, 1);
    EXPECT_EQ(c.display(0, 0), 99u);
    const std::vector<Color> wider(5 * 3, 7);
    const std::string other = (dir / "other.bmp").string();
    writeBmp(other, 5, 3, wider.data(), 5);
    std::filesystem::rename(other, bmp);
    DrawSub(c.ctx, 1);
    EXPECT_EQ(c.display(0, 0), 7u);
    EXPECT_EQ(c.display(4, 2), 7u);

    // A background that cannot be read fails after the side panel is filled.
    c.opt.eBackground = (dir / "missing.bmp").string();
    c.prog.panel.lStartEnd.clear();
    EXPECT_THROW(DrawSub(c.ctx, 1), PlatformError);
    EXPECT_EQ(c.prog.panel.lStartEnd, "00:00:01,000 - 00:00:02,000");
}

TEST(DrawSub, ReadsTheStreamTheTableCameFrom) {
    Composer c(oneObjectStream());
    const std::string loaded = c.prog.streamFile;
    c.prog.eSUPfile = "/nonexistent/typed-later.sup";
    DrawSub(c.ctx, 1);
    EXPECT_EQ(c.index(101, 900), 1);

    std::filesystem::remove(loaded);
    try {
        DrawSub(c.ctx, 1);
        FAIL() << "no error";
    } catch (const PlatformError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + loaded + "\". ", 0), 0u) << e.what();
    }
}

TEST(DrawSub, FontAndLockControls) {
    Composer c(oneObjectStream());
    c.prog.Subs[0].font = kFontItalic;
    c.prog.Subs[0].locked = 1;
    DrawSub(c.ctx, 1);
    EXPECT_EQ(c.prog.panel.rgFont, 2);
    EXPECT_TRUE(c.prog.panel.rgFontEnabled);
    EXPECT_TRUE(c.prog.panel.cbLock);

    // A font mode no OCR has decided leaves the font controls as they are.
    c.prog.panel.rgFont = 0;
    c.prog.Subs[0].font = kFontUndecided;
    c.prog.Subs[0].locked = 0;
    DrawSub(c.ctx, 1);
    EXPECT_EQ(c.prog.panel.rgFont, 0);
    EXPECT_FALSE(c.prog.panel.cbLock);
}

TEST(DrawSub, TextSubtitleResetsItsRowsUnlessExporting) {
    for (bool exporting : {false, true}) {
        SCOPED_TRACE(exporting);
        RenderSession s;
        s.prog.SubKind = kSrtKind;
        s.prog.Subs.resize(1);
        TSUP& t = s.prog.Subs[0];
        t.text = "   |  ";   // spaces are never drawn
        t.lineCount = 2;
        t.obj[0] = TSUPObject{};
        t.obj[0].x1 = 800;
        t.obj[0].x2 = 1100;
        t.obj[0].y1 = 500;
        t.obj[0].y2 = 600;
        s.prog.ExportingHD = exporting;
        DrawSub(s.ctx, 1);
        EXPECT_EQ(t.obj[0].y1, exporting ? 500 : 1079);
        EXPECT_EQ(t.obj[0].y2, exporting ? 600 : 0);
        EXPECT_EQ(t.obj[0].x1, 800);
        EXPECT_EQ(s.prog.pics.IndexImage.at(0, 0), 1);   // TranspIdx of the grey ramp
    }
}

namespace {

constexpr int64_t k2GiB = int64_t{1} << 31;
constexpr int64_t k4GiB = int64_t{1} << 32;

// An HD DVD packet drawing 48 rows of 40 pixels at (100, 900): the top field's 24 rows in
// colours 1, 2, 3, 1, ..., the bottom field's in 3, 2, 1, 3, ... One row is "10 cc 1 0000000",
// a run of colour cc to the end of the line, padded to two bytes.
Bytes fieldPacket(uint32_t pts) {
    Bytes top, bottom;
    for (int row = 0; row < 24; ++row) {
        const auto a = static_cast<uint8_t>(1 + row % 3);
        const auto b = static_cast<uint8_t>(3 - row % 3);
        top.insert(top.end(), {static_cast<uint8_t>(0x80 | a << 4 | 0x08), 0x00});
        bottom.insert(bottom.end(), {static_cast<uint8_t>(0x80 | b << 4 | 0x08), 0x00});
    }
    Bytes pixels = top;
    pixels.insert(pixels.end(), bottom.begin(), bottom.end());
    Bytes first = SpBuilder::staDsp();
    for (const Bytes& c : {SpBuilder::setDarea(true, 100, 139, 900, 947), SpBuilder::setDspxa(true, 10, 10 + 48),
                           SpBuilder::setColor2({}), SpBuilder::setContr2({}), SpBuilder::cmdEnd()})
        first.insert(first.end(), c.begin(), c.end());
    SpBuilder b;
    b.packet(pts, true, pixels, {{0, first, true}});
    return b.bytes();
}

// The head of an HD DVD packet whose control area (one sequence holding only CMD_END) lies
// so far on that the next packet starts at `next`; its pixel area is a hole of the file.
void writeBridge(const std::string& path, int64_t at, int64_t next) {
    const int64_t spu = at + 10;
    const int64_t control = next - 7 - spu;
    Bytes head{'S', 'P'};
    putLE(head, 0, 8);
    putBE(head, 0, 2);
    putBE(head, static_cast<uint64_t>(control + 7), 4);
    putBE(head, static_cast<uint64_t>(control), 4);
    writeAt(path, at, head);
    Bytes area;
    putBE(area, 0, 2);
    putBE(area, static_cast<uint64_t>(control), 4);
    area.push_back(0xFF);
    writeAt(path, spu + control, area);
}

}  // namespace

// A stream of more than 4 GiB, mostly holes: the same packet at offset 0, with its fields on
// both sides of 2 GiB, and on both sides of 4 GiB. Every copy loads to its own offsets and
// draws the picture of the first.
TEST(DrawSub, StreamsPastTwoAndFourGiBDrawLikeTheirStart) {
    const Bytes packet = fieldPacket(90000);
    const std::string path = writeTempFile("far.sup", packet);
    // SPU starts 20 bytes before the limit: the top field lies before it, the bottom after.
    const int64_t starts[] = {k2GiB - 20, k4GiB - 20};
    int64_t end = static_cast<int64_t>(packet.size());
    for (int64_t spu : starts) {
        writeBridge(path, end, spu - 10);
        writeAt(path, spu - 10, packet);
        end = spu - 10 + static_cast<int64_t>(packet.size());
    }
    RenderSession s;
    s.prog.eSUPfile = path;
    ASSERT_EQ(Load(s.ctx), LoadResult::Loaded) << s.host.logText();
    ASSERT_EQ(s.prog.Subs.size(), 5u);   // the packets and the two bridges between them

    DrawSub(s.ctx, 1);
    const std::vector<uint8_t> first = s.prog.pics.IndexImage.pixels;
    EXPECT_EQ(s.prog.pics.IndexImage.at(100, 900), 1);
    EXPECT_EQ(s.prog.pics.IndexImage.at(139, 901), 3);
    EXPECT_EQ(s.prog.pics.IndexImage.at(120, 946), 3);   // the last rows of both fields
    EXPECT_EQ(s.prog.pics.IndexImage.at(120, 947), 1);
    for (size_t k = 0; k < 2; ++k) {
        SCOPED_TRACE(k == 0 ? "2 GiB" : "4 GiB");
        const TSUPObject& o = s.prog.Subs[2 + 2 * k].obj[0];
        EXPECT_EQ(o.partPos[0], starts[k] + 10);
        EXPECT_EQ(o.partPos[1], starts[k] + 10 + 48);
        EXPECT_EQ(o.partLen[0], 96);
        std::fill(s.prog.pics.IndexImage.pixels.begin(), s.prog.pics.IndexImage.pixels.end(), 0);
        DrawSub(s.ctx, static_cast<int32_t>(3 + 2 * k));
        EXPECT_EQ(firstDifference(s.prog.pics.IndexImage.pixels, first, kScreenWidth), "");
    }
    std::filesystem::remove(path);
}

// A Blu-ray subtitle whose palette entries and picture data lie past 2 GiB and 4 GiB
// (straddling them or beyond) draws the same pictures as from the start of the file.
TEST(DrawSub, BluRayTablesPastTwoAndFourGiB) {
    struct Case {
        const char* name;
        int64_t palette;
        int64_t data;
    };
    const Case cases[] = {
        {"both straddle 2 GiB", k2GiB - 7, k2GiB + 100 - 9},
        {"both straddle 4 GiB", k4GiB - 3, k4GiB + 100 - 11},
        {"both past 4 GiB", k4GiB + 4096, k4GiB + 8192},
    };
    Composer c(oneObjectStream());
    DrawSub(c.ctx, 1);
    const std::vector<Color> display = c.prog.pics.display.pixels;
    const std::vector<uint8_t> index = c.prog.pics.IndexImage.pixels;
    const Bytes file = readWholeFile(c.prog.streamFile);
    const TSUP original = c.prog.Subs[0];
    const auto bytesAt = [&](int64_t at, int64_t count) {
        return Bytes(file.begin() + at, file.begin() + at + count);
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        TSUP& s = c.prog.Subs[0];
        s = original;
        writeAt(c.prog.streamFile, k.palette, bytesAt(original.palPos, original.palCount * 5));
        writeAt(c.prog.streamFile, k.data, bytesAt(original.obj[0].partPos[0], original.obj[0].partLen[0]));
        s.palPos = k.palette;
        s.obj[0].partPos[0] = k.data;
        // The file grew on purpose: the table now stands for it as written.
        c.prog.streamSize = -1;
        c.prog.pics.display.pixels.assign(display.size(), 0);
        c.prog.pics.IndexImage.pixels.assign(index.size(), 0);
        DrawSub(c.ctx, 1);
        EXPECT_EQ(firstDifference(c.prog.pics.display.pixels, display, kScreenWidth), "");
        EXPECT_EQ(firstDifference(c.prog.pics.IndexImage.pixels, index, kScreenWidth), "");
    }
    std::filesystem::remove(c.prog.streamFile);
}

// Subtitle 65,537 of a text table draws with its own rectangle and leaves subtitle 1's alone.
TEST(DrawSub, TextSubtitlePast65536UsesItsOwnSlot) {
    RenderSession s;
    s.prog.SubKind = kSrtKind;
    s.prog.Subs.resize(65537);
    TSUP& first = s.prog.Subs[0];
    first.text = "i";
    first.lineCount = 1;
    first.obj[0].x1 = 955;
    first.obj[0].x2 = 965;
    first.obj[0].y1 = 1000;
    first.obj[0].y2 = 1040;
    const TSUPObject before = first.obj[0];
    TSUP& last = s.prog.Subs[65536];
    last.text = "A much longer line of subtitle text";
    last.lineCount = 1;
    last.obj[0].x1 = 400;
    last.obj[0].x2 = 1520;
    DrawSub(s.ctx, 65537);
    EXPECT_EQ(first.obj[0].y1, before.y1);
    EXPECT_EQ(first.obj[0].y2, before.y2);
    EXPECT_LT(last.obj[0].y1, last.obj[0].y2);   // the rows its glyphs inked
    // The line starts at the left edge of its own 1120-pixel rectangle, not near the middle.
    const OverlayImage& ov = s.prog.pics.Overlay;
    int leftmost = kScreenWidth;
    for (int y = last.obj[0].y1; y <= last.obj[0].y2 && y < ov.height; ++y)
        for (int x = 0; x < ov.width; ++x)
            if (ov.alpha[static_cast<size_t>(y * ov.width + x)] != 0) leftmost = std::min(leftmost, x);
    EXPECT_GE(leftmost, 400);
    EXPECT_LT(leftmost, 420);
}
