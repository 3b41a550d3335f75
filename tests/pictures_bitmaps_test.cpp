// Saving pictures: folder and file names, the 1280x720 reduction, BMP and PNG files, the
// saving loop with its scripts, cancel and errors, and the command-line front end.
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>

#include "export/encoder.h"
#include "pictures/bitmaps.h"
#include "pictures/scripts.h"
#include "platform/files.h"
#include "platform/image_io.h"
#include "render/palette.h"
#include "stream/load.h"
#include "support/run_command.h"
#include "support/stream_builder.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

// Palette of the test streams: 0 transparent red (so a picture that shows it opaque is
// caught), 1 opaque white, 2 opaque black.
const std::vector<PgsBuilder::Entry> kPalette{{0, 81, 240, 90, 0}, {1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}};

using Times = std::vector<std::pair<uint32_t, uint32_t>>;

// `count` subtitles 4 s apart, each shown for 2 s from 1 s on.
Times spaced(int count) {
    Times t;
    for (uint32_t k = 0; k < static_cast<uint32_t>(count); ++k) t.emplace_back(90000 + 360000 * k, 270000 + 360000 * k);
    return t;
}

// A stream showing `picture` in a window at (x, y), one display set per (start, end).
Bytes pictureStream(const IndexedImage& picture, uint16_t x, uint16_t y, const Times& times) {
    TSUPObject whole;
    whole.x2 = static_cast<uint16_t>(picture.width);
    whole.y2 = static_cast<uint16_t>(picture.height);
    const Bytes rle = encodeBDObject(picture, whole);
    const auto w = static_cast<uint16_t>(picture.width);
    const auto h = static_cast<uint16_t>(picture.height);
    PgsBuilder b;
    for (const auto& [t, end] : times) {
        b.pcs(t, {{0, 0, x, y}});
        b.wds(t, {{0, x, y, w, h}});
        b.pds(t, kPalette);
        b.ods(t, 0, true, true, rle, w, h, static_cast<uint32_t>(rle.size() + 4));
        b.end(t);
        b.pcs(end, {});
        b.wds(end, {{0, x, y, w, h}});
        b.end(end);
    }
    return b.bytes();
}

IndexedImage filled(int w, int h, uint8_t index) {
    IndexedImage img;
    img.reset(w, h, index);
    return img;
}

// A host that sets Cancel when the loop lets messages run for the `cancelAt`-th time.
struct CancellingHost : RecordingHost {
    bool* cancel = nullptr;
    int cancelAt = 0;
    void pumpMessages() override {
        RecordingHost::pumpMessages();
        if (cancel && pumps == cancelAt) *cancel = true;
    }
};

// A loaded stream ready to be saved into a fresh output folder; all outputs off.
struct Saver : vantrel::testing::BasicTestSession<CancellingHost> {
    Saver(const Bytes& stream, const std::string& name = "film.sup") {
        prog.eSUPfile = writeTempFile(name, stream);
        EXPECT_EQ(Load(ctx), LoadResult::Loaded);
        opt.eWorkDir = std::filesystem::path(prog.eSUPfile).parent_path().string() + "/out";
        opt.cbPNG = false;
        host.cancel = &prog.Cancel;
        host.lines.clear();
        host.pumps = 0;
    }
    std::string folder() const { return bitmapFolder(prog, opt); }
    void expectIdle() const {
        EXPECT_FALSE(prog.Busy);
        EXPECT_FALSE(prog.Cancel);
        EXPECT_FALSE(prog.SavingPics);
        EXPECT_FALSE(prog.controls.bCancel);
        EXPECT_FALSE(prog.controls.ProgressBar);
        EXPECT_TRUE(prog.controls.WebLink);
        EXPECT_EQ(host.title, "Vantrel");
    }
};

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> listFolder(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// What libpng reads from a PNG's header chunks.
struct PngHeader {
    uint32_t width = 0, height = 0;
    int bitDepth = 0, colorType = -1, interlace = -1;
    int paletteEntries = 0, transparencyEntries = 0;
};

PngHeader pngHeader(const std::string& path) {
    PngHeader h;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return h;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_read_info(png, info);
        png_get_IHDR(png, info, &h.width, &h.height, &h.bitDepth, &h.colorType, &h.interlace, nullptr, nullptr);
        png_colorp palette = nullptr;
        png_get_PLTE(png, info, &palette, &h.paletteEntries);
        png_bytep trans = nullptr;
        png_get_tRNS(png, info, &trans, &h.transparencyEntries, nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return h;
}

// The bounding box of the pixels of a picture where `marked` holds, as
// "left..right x top..bottom", or "none".
std::string box(int width, int height, const std::function<bool(int, int)>& marked) {
    int left = width, right = -1, top = height, bottom = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (marked(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < 0) return "none";
    return std::to_string(left) + ".." + std::to_string(right) + " x " + std::to_string(top) + ".." +
           std::to_string(bottom);
}

std::string inkBox(const IndexedImage& img, uint8_t background) {
    return box(img.width, img.height, [&](int x, int y) { return img.at(x, y) != background; });
}

// Palette index i shows grey level i, opaque; index 0 is the transparent background.
PaletteState greyPalette() {
    PaletteState pal;
    for (int i = 0; i < 256; ++i) {
        pal.Palette[static_cast<size_t>(i)] = static_cast<Color>(i) * 0x010101u;
        pal.Alpha[static_cast<size_t>(i)] = 255;
    }
    pal.Alpha[0] = 0;
    pal.TranspIdx = 0;
    return pal;
}

TSUP subtitleAt(uint16_t x1, uint16_t x2, uint16_t y1, uint16_t y2) {
    TSUP s;
    s.obj[0].x1 = x1;
    s.obj[0].x2 = x2;
    s.obj[0].y1 = y1;
    s.obj[0].y2 = y2;
    return s;
}

}  // namespace

TEST(PictureNames, FolderAndPictureNames) {
    struct Case {
        const char* name;
        uint8_t subKind;
        std::string stream, baseName, workDir;
        std::string folder;
    };
    const Case cases[] = {
        {"stream", 2, "/media/disc/film.sup", "film", "/tmp/w", "/tmp/w/film.sup.bitmaps/"},
        {"work folder with its separator", 2, "/d/movie.sup", "movie", "/out/", "/out/movie.sup.bitmaps/"},
        {"no work folder: relative", 2, "movie.eng.sup", "movie.eng", "", "movie.eng.sup.bitmaps/"},
        {"SRT-made table: the SRT file", 3, "", "/home/u/Tom & Jerry.srt", "/o", "/o/Tom & Jerry.srt.bitmaps/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Program p;
        Options o;
        p.SubKind = static_cast<TableKind>(c.subKind);
        p.streamFile = c.stream;
        p.eSUPfile = c.stream;
        p.BaseName = c.baseName;
        o.eWorkDir = c.workDir;
        EXPECT_EQ(bitmapFolder(p, o), c.folder);
    }

    // The folder follows the stream the table came from, not what the file field says now.
    Program p;
    Options o;
    p.SubKind = kBluRayKind;
    p.streamFile = "/a/loaded.sup";
    p.eSUPfile = "/a/typed-since.sup";
    EXPECT_EQ(bitmapFolder(p, o), "loaded.sup.bitmaps/");

    const std::pair<int64_t, const char*> names[] = {
        {1, "line0001"}, {7, "line0007"}, {12, "line0012"}, {9999, "line9999"}, {10000, "line10000"}, {12345, "line12345"}};
    for (const auto& [n, name] : names) EXPECT_EQ(pictureName(n), name) << n;
}

TEST(Reduce720p, RangesOfTheRectangleClippedToThePictures) {
    const PaletteState pal = greyPalette();
    const IndexedImage source = filled(kScreenWidth, kScreenHeight, 200);
    struct Case {
        const char* name;
        TSUP sub;
        std::string box;
    };
    TSUP twoWindows = subtitleAt(300, 900, 100, 160);
    twoWindows.obj[1].x1 = 300;
    twoWindows.obj[1].x2 = 900;
    twoWindows.obj[1].y1 = 900;
    twoWindows.obj[1].y2 = 1000;
    const Case cases[] = {
        // Columns 2*300/3 .. 2*900/3, rows 2*900/3 .. 2*1000/3.
        {"inside", subtitleAt(300, 900, 900, 1000), "200..600 x 600..666"},
        {"touching the right and bottom edges", subtitleAt(1500, 1920, 1000, 1080), "1000..1279 x 666..719"},
        {"whole screen", subtitleAt(0, 1920, 0, 1080), "0..1279 x 0..719"},
        {"second window included", twoWindows, "200..600 x 66..666"},
        {"reversed rectangle: nothing", subtitleAt(0, 1920, 1079, 0), "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IndexedImage out;
        reduceTo720p(source, pal, c.sub, kBluRayKind, 0, out);
        ASSERT_EQ(out.width, 1280);
        ASSERT_EQ(out.height, 720);
        EXPECT_EQ(inkBox(out, 0), c.box);
        EXPECT_EQ(out.colors, pal.Palette);
        EXPECT_EQ(out.transparency, pal.Alpha);
    }
    // Between the two windows the background stays.
    IndexedImage out;
    reduceTo720p(source, pal, twoWindows, kBluRayKind, 0, out);
    EXPECT_EQ(out.at(400, 300), 0);
    EXPECT_EQ(out.at(400, 100), 200);
}

TEST(Reduce720p, AreaWeightsTransparencyAndOpaqueBackground) {
    // Source greys at columns 0..2, rows 0..2. Target column 0 takes source columns 0 and 1
    // with weights 1 and 0.5, column 1 takes columns 1 and 2 with 0.5 and 1; rows likewise.
    // Each weight is multiplied by 1/1.5^2. Target (0, 0) is thus
    // (100 + 200/2 + 40/2 + 10/4) * 4/9 = 98.9.
    const uint8_t grid[3][3] = {{100, 200, 50}, {40, 10, 21}, {250, 90, 30}};
    struct Case {
        const char* name;
        uint8_t pixel20;        // source pixel (2, 0)
        bool opaqueBackground;  // index 0 opaque black, as the OCR palette makes it
        TableKind subKind;
        uint8_t expected[2][2]; // target rows 0..1, columns 0..1
    };
    const Case cases[] = {
        // (100+200/2+40/2+10/4)4/9 = 98.9; (200/2+50+10/4+21/2)4/9 = 72.4;
        // (40/2+10/4+250+90/2)4/9 = 141.1; (10/4+21/2+90/2+30)4/9 = 39.1
        {"averages", 50, false, kBluRayKind, {{98, 72}, {141, 39}}},
        // One touched pixel as transparent as TranspIdx makes the target TranspIdx.
        {"transparent touch", 0, false, kBluRayKind, {{98, 0}, {141, 39}}},
        // All opaque: no test, the black pixel counts: (200/2+0+10/4+21/2)4/9 = 50.2.
        {"opaque background averaged", 0, true, kBluRayKind, {{98, 50}, {141, 39}}},
        // Text subtitles: the nearest step of the grey ramp at 2..18; every average lies
        // above this palette's ramp, so the top step.
        {"text subtitle ramp", 50, false, kSrtKind, {{18, 18}, {18, 18}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PaletteState pal = greyPalette();
        if (c.opaqueBackground) pal.Alpha[0] = 255;
        IndexedImage source = filled(kScreenWidth, kScreenHeight, 0);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) source.at(x, y) = grid[y][x];
        source.at(2, 0) = c.pixel20;
        IndexedImage out;
        reduceTo720p(source, pal, subtitleAt(0, 2, 0, 2), c.subKind, 0, out);
        for (int ty = 0; ty < 2; ++ty)
            for (int tx = 0; tx < 2; ++tx) EXPECT_EQ(out.at(tx, ty), c.expected[ty][tx]) << tx << "," << ty;
        EXPECT_EQ(out.at(2, 0), 0);   // outside the rectangle: the background
    }
}

TEST(ReduceTo720p, TextKeepsTheLevelsOfItsGreyRamp) {
    // A 30x30 block of one ramp step of the text palette reduces to pixels of that step:
    // the fill keeps its grey and its opacity.
    vantrel::testing::TestSession session;
    auto& [host, msg, prog, opt, ctx] = session;
    prog.SubKind = kSrtKind;
    prog.Subs.resize(1);
    setpal(ctx, 0);
    const PaletteState& pal = prog.pal;
    for (const uint8_t step : {uint8_t{18}, uint8_t{10}, uint8_t{3}}) {
        SCOPED_TRACE(int{step});
        IndexedImage source = filled(kScreenWidth, kScreenHeight, pal.TranspIdx);
        for (int y = 300; y < 330; ++y)
            for (int x = 300; x < 330; ++x) source.at(x, y) = step;
        IndexedImage out;
        reduceTo720p(source, pal, subtitleAt(300, 329, 300, 329), kSrtKind, pal.TranspIdx, out);
        const uint8_t inside = out.at(210, 210);
        EXPECT_EQ(pal.Palette[inside], pal.Palette[step]);
        EXPECT_EQ(pal.Alpha[inside], pal.Alpha[step]);
    }
    EXPECT_EQ(pal.Palette[18], 207u * 0x010101u);
    EXPECT_EQ(pal.Alpha[18], 255);
}

TEST(SaveBitmaps, PngAndBmpFilesOfTheComposedPictures) {
    // A 6x3 white block with a black right column at (300, 900).
    IndexedImage block = filled(6, 3, 1);
    for (int y = 0; y < 3; ++y) block.at(5, y) = 2;
    Saver s(pictureStream(block, 300, 900, spaced(1)));
    s.opt.cbPNG = true;
    s.opt.cbBMP = true;
    const SaveBitmapsResult r = saveBitmaps(s.ctx);
    EXPECT_EQ(r.folder, s.folder());
    EXPECT_EQ(r.saved, 1u);
    EXPECT_EQ(listFolder(r.folder), (std::vector<std::string>{"line0001.bmp", "line0001.png"}));

    const PngHeader h = pngHeader(r.folder + "line0001.png");
    EXPECT_EQ(h.width, 1920u);
    EXPECT_EQ(h.height, 1080u);
    EXPECT_EQ(h.colorType, PNG_COLOR_TYPE_PALETTE);
    EXPECT_EQ(h.bitDepth, 8);
    EXPECT_EQ(h.interlace, PNG_INTERLACE_NONE);
    EXPECT_EQ(h.paletteEntries, 256);
    EXPECT_EQ(h.transparencyEntries, 256);

    // The PNG holds IndexImage with the palette's colours and opacities.
    const DecodedPng png = readPngFile(r.folder + "line0001.png");
    ASSERT_TRUE(png.indexed);
    EXPECT_EQ(png.pixels, s.prog.pics.IndexImage.pixels);
    EXPECT_EQ(png.colors, s.prog.pal.Palette);
    EXPECT_EQ(png.alpha, s.prog.pal.Alpha);
    EXPECT_EQ(png.pixels[900 * 1920 + 300], 1);
    EXPECT_EQ(png.pixels[902 * 1920 + 305], 2);
    EXPECT_EQ(png.alpha[1], 255);
    EXPECT_EQ(png.alpha[png.pixels[0]], 0);

    // The BMP: a 24-bit 1920x1080 file of the display picture, black around the block.
    const std::string bmpBytes = readText(r.folder + "line0001.bmp");
    ASSERT_EQ(bmpBytes.size(), 54u + 1920u * 3u * 1080u);
    auto u32 = [&](size_t at) {
        uint32_t v = 0;
        for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<uint8_t>(bmpBytes[at + static_cast<size_t>(k)]);
        return v;
    };
    EXPECT_EQ(bmpBytes.substr(0, 2), "BM");
    EXPECT_EQ(u32(18), 1920u);
    EXPECT_EQ(u32(22), 1080u);
    EXPECT_EQ(u32(28) & 0xFFFF, 24u);
    const RgbPicture bmp = readPicture(r.folder + "line0001.bmp");
    EXPECT_EQ(bmp.pixels, s.prog.pics.display.pixels);
    EXPECT_EQ(bmp.pixels[900 * 1920 + 300], 0xFFFFFFu);
    EXPECT_EQ(bmp.pixels[900 * 1920 + 299], 0u);
    EXPECT_EQ(bmp.pixels[0], 0u);
}

TEST(SaveBitmaps, ReducedPngOfAStream) {
    // A white 6x3 block at (300, 900): target columns 200..203 and rows 600..601 lie wholly
    // on it; column 204 and row 602 touch transparent pixels.
    struct Case {
        const char* name;
        bool ocr;
    };
    for (const Case c : {Case{"colour", false}, Case{"OCR", true}}) {
        SCOPED_TRACE(c.name);
        Saver s(pictureStream(filled(6, 3, 1), 300, 900, spaced(1)));
        s.opt.cbPNG = true;
        s.opt.cb720p = true;
        s.opt.cbOCR = c.ocr;
        const SaveBitmapsResult r = saveBitmaps(s.ctx);
        const PngHeader h = pngHeader(r.folder + "line0001.png");
        EXPECT_EQ(h.width, 1280u);
        EXPECT_EQ(h.height, 720u);
        EXPECT_EQ(h.colorType, PNG_COLOR_TYPE_PALETTE);
        EXPECT_EQ(h.paletteEntries, 256);
        EXPECT_EQ(h.transparencyEntries, 256);
        const DecodedPng png = readPngFile(r.folder + "line0001.png");
        auto color = [&](int x, int y) { return png.colors[png.pixels[static_cast<size_t>(y * png.width + x)]]; };
        auto alpha = [&](int x, int y) { return png.alpha[png.pixels[static_cast<size_t>(y * png.width + x)]]; };
        EXPECT_EQ(box(png.width, png.height, [&](int x, int y) { return color(x, y) == 0xFFFFFFu && alpha(x, y) == 255; }),
                  "200..203 x 600..601");
        // Around the block: transparent, or with OCR opaque black (every index is opaque then,
        // and the block must not vanish into a plain rectangle).
        for (const auto& [x, y] : {std::pair{204, 600}, std::pair{201, 602}, std::pair{0, 0}, std::pair{1279, 719}}) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            EXPECT_EQ(alpha(x, y), c.ocr ? 255 : 0);
            if (c.ocr) {
                EXPECT_EQ(color(x, y), 0u);
            }
        }
    }
}

TEST(SaveBitmaps, ScriptsLogAndStateOfAWholeRun) {
    // Two subtitles from 1 s to 2 s and from 3 s to 4.5 s at 25 frames per second.
    const Bytes stream = pictureStream(filled(4, 2, 1), 100, 100, {{90000, 180000}, {270000, 405000}});
    Saver s(stream, "movie.sup");
    s.opt.cbBDN = true;
    s.opt.rgFrame = 2;
    ASSERT_EQ(s.prog.Subs.size(), 2u);
    const SaveBitmapsResult r = saveBitmaps(s.ctx);
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(listFolder(r.folder), (std::vector<std::string>{"subtitles.bdn.xml", "subtitles.scn-sst"}));

    const std::string bdn =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<BDN Version=\"0.93\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:noNamespaceSchemaLocation=\"BD-03-006-0093b BDN File Format.xsd\">\r\n"
        "  <Description>\r\n"
        "    <Name Title=\"movie\" Content=\"\"/>\r\n"
        "    <Language Code=\"eng\"/>\r\n"
        "    <Format VideoFormat=\"1080p\" FrameRate=\"25\" DropFrame=\"False\"/>\r\n"
        "    <Events Type=\"Graphic\" FirstEventInTC=\"00:00:01:00\" LastEventOutTC=\"00:00:04:12\" "
        "NumberofEvents=\"2\"/>\r\n"
        "  </Description>\r\n"
        "  <Events>\r\n"
        "    <Event InTC=\"00:00:01:00\" OutTC=\"00:00:02:00\" Forced=\"False\">\r\n"
        "      <Graphic Width=\"1920\" Height=\"1080\" X=\"0\" Y=\"0\">line0001.png</Graphic>\r\n"
        "    </Event>\r\n"
        "    <Event InTC=\"00:00:03:00\" OutTC=\"00:00:04:12\" Forced=\"False\">\r\n"
        "      <Graphic Width=\"1920\" Height=\"1080\" X=\"0\" Y=\"0\">line0002.png</Graphic>\r\n"
        "    </Event>\r\n"
        "  </Events>\r\n"
        "</BDN>\r\n";
    EXPECT_EQ(readText(r.folder + "subtitles.bdn.xml"), bdn);
    const std::string scn =
        "St_Format 4\r\n"
        "Display_Area  (0 2 1919 1079)\r\n"
        "TV_Type NTSC\r\n"
        "SubTitle movie.sup\r\n"
        "##########################\r\n"
        "SP_NUMBER START END FILE_NAME\r\n"
        "1 00:00:01:00 00:00:02:00 line0001.png\r\n"
        "2 00:00:03:00 00:00:04:12 line0002.png\r\n";
    EXPECT_EQ(readText(r.folder + "subtitles.scn-sst"), scn);

    EXPECT_EQ(s.host.logText(), "Saving subpicture bitmaps to " + r.folder + "\nDone.\n\n");
    EXPECT_EQ(s.host.status.panel[0].text, " Ready");
    EXPECT_EQ(s.host.progressPosition, 2);
    EXPECT_EQ(s.host.pumps, 2);
    s.expectIdle();
}

TEST(SaveBitmaps, SuppliedEndsAreWrittenAndLogged) {
    Saver s(pictureStream(filled(4, 2, 1), 100, 100, spaced(2)), "gap.sup");
    s.opt.cbBDN = true;
    s.opt.rgFrame = 2;
    // Subtitle 1 lost its end: the next start (5 s) is used; subtitle 2 ends at 7 s.
    s.prog.Subs[0].endPTS = 0;
    const SaveBitmapsResult r = saveBitmaps(s.ctx);
    const std::string scn = readText(r.folder + "subtitles.scn-sst");
    EXPECT_NE(scn.find("1 00:00:01:00 00:00:05:00 line0001.png\r\n"), std::string::npos) << scn;
    EXPECT_NE(scn.find("2 00:00:05:00 00:00:07:00 line0002.png\r\n"), std::string::npos) << scn;
    EXPECT_EQ(s.host.logText(), "Saving subpicture bitmaps to " + r.folder + "\n\n" +
                                    endSuppliedMessage(s.prog.Subs[0], 450000) + "\nDone.\n\n");
}

TEST(SaveBitmaps, CancelKeepsTheFilesAndClosesTheScripts) {
    Saver s(pictureStream(filled(4, 2, 1), 100, 100, spaced(3)));
    s.opt.cbPNG = true;
    s.opt.cbBDN = true;
    s.host.cancelAt = 2;   // during subtitle 2
    const SaveBitmapsResult r = saveBitmaps(s.ctx);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.saved, 2u);
    EXPECT_EQ(listFolder(r.folder), (std::vector<std::string>{"line0001.png", "line0002.png", "subtitles.bdn.xml",
                                                              "subtitles.scn-sst"}));
    const std::string bdn = readText(r.folder + "subtitles.bdn.xml");
    // The head counts the whole table; the events list holds the subtitles done.
    EXPECT_NE(bdn.find("NumberofEvents=\"3\""), std::string::npos);
    EXPECT_NE(bdn.find("line0002.png"), std::string::npos);
    EXPECT_EQ(bdn.find("line0003.png"), std::string::npos);
    EXPECT_TRUE(bdn.ends_with("    </Event>\r\n  </Events>\r\n</BDN>\r\n"));
    EXPECT_TRUE(readText(r.folder + "subtitles.scn-sst").ends_with(" line0002.png\r\n"));
    EXPECT_EQ(s.host.logText().find("Done."), std::string::npos);
    s.expectIdle();
}

TEST(SaveBitmaps, NothingChosenStillComposesAndMakesTheFolder) {
    Saver s(pictureStream(filled(4, 2, 1), 100, 100, spaced(2)));
    const SaveBitmapsResult r = saveBitmaps(s.ctx);
    EXPECT_EQ(r.saved, 2u);
    EXPECT_TRUE(folderExists(r.folder));
    EXPECT_TRUE(listFolder(r.folder).empty());
    EXPECT_EQ(s.prog.CurSub, 1);   // subtitle 2 was composed last

    // An empty table: the scripts list no events and name no times of missing subtitles.
    vantrel::testing::TestSession session;
    auto& [host, msg, prog, opt, ctx] = session;
    prog.SubKind = kBluRayKind;
    prog.streamFile = writeTempFile("empty.sup", {});
    opt.eWorkDir = std::filesystem::path(prog.streamFile).parent_path().string();
    opt.cbBDN = true;
    const SaveBitmapsResult empty = saveBitmaps(ctx);
    EXPECT_EQ(empty.saved, 0u);
    const std::string bdn = readText(empty.folder + "subtitles.bdn.xml");
    EXPECT_NE(bdn.find("FirstEventInTC=\"00:00:00:00\" LastEventOutTC=\"00:00:00:00\" NumberofEvents=\"0\""),
              std::string::npos);
    EXPECT_TRUE(bdn.ends_with("  <Events>\r\n  </Events>\r\n</BDN>\r\n"));
}

TEST(SaveBitmaps, ErrorsEndTheRunWithTheStateRestored) {
    struct Case {
        const char* name;
        // Prepares the output folder so that one step fails.
        std::function<void(Saver&)> spoil;
        std::vector<std::string> left;   // what the picture folder holds afterwards
    };
    const Case cases[] = {
        {"folder cannot be created",
         [](Saver& s) {
             std::filesystem::create_directories(s.opt.eWorkDir);
             writeWholeFile(s.opt.eWorkDir + "/film.sup.bitmaps", "x", 1);
         },
         {}},
        {"script cannot be created: no picture written",
         [](Saver& s) { std::filesystem::create_directories(s.folder() + "subtitles.bdn.xml"); },
         // Scripts are written whole or not at all: only the folder in the way is left.
         {"subtitles.bdn.xml"}},
        {"second picture cannot be written",
         [](Saver& s) { std::filesystem::create_directories(s.folder() + "line0002.png"); },
         {"line0001.png", "line0002.png"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Saver s(pictureStream(filled(4, 2, 1), 100, 100, spaced(3)));
        s.opt.cbPNG = true;
        s.opt.cbBDN = true;
        c.spoil(s);
        EXPECT_THROW(saveBitmaps(s.ctx), PlatformError);
        s.expectIdle();
        const bool made = folderExists(s.folder());
        EXPECT_EQ(made ? listFolder(s.folder()) : std::vector<std::string>{}, c.left);
    }
}

TEST(SaveBitmaps, TitleWithMarkupCharactersStaysWellFormed) {
    Saver s(pictureStream(filled(4, 2, 1), 100, 100, spaced(1)), "Tom & Jerry \"<1>\".sup");
    s.opt.cbBDN = true;
    const SaveBitmapsResult r = saveBitmaps(s.ctx);
    const std::string bdn = readText(r.folder + "subtitles.bdn.xml");
    EXPECT_NE(bdn.find("    <Name Title=\"Tom &amp; Jerry &quot;&lt;1&gt;&quot;\" Content=\"\"/>\r\n"), std::string::npos)
        << bdn;
    EXPECT_NE(readText(r.folder + "subtitles.scn-sst").find("SubTitle Tom & Jerry \"<1>\".sup\r\n"), std::string::npos);
}

TEST(SaveBitmaps, CommandLine) {
    const std::string stream = writeTempFile("cli film.sup", pictureStream(filled(4, 2, 1), 100, 100, spaced(2)));
    const std::string out = std::filesystem::path(stream).parent_path().string() + "/pictures";
    const CommandResult r = runCommand(VANTREL_CLI, {"bitmaps", stream, "--out", out, "--set", "SaveBMP=1", "--set",
                                                     "720p=1", "--set", "Scenarist=1", "--set", "Frame=2"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string folder = out + "/cli film.sup.bitmaps/";
    EXPECT_EQ(r.out, folder + "\n");
    EXPECT_EQ(listFolder(folder), (std::vector<std::string>{"line0001.bmp", "line0001.png", "line0002.bmp",
                                                            "line0002.png", "subtitles.bdn.xml", "subtitles.scn-sst"}));
    EXPECT_EQ(pngHeader(folder + "line0002.png").width, 1280u);
    const std::string bdn = readText(folder + "subtitles.bdn.xml");
    EXPECT_NE(bdn.find("VideoFormat=\"720p\" FrameRate=\"25\""), std::string::npos) << bdn;
    EXPECT_NE(r.err.find("Done."), std::string::npos) << r.err;

    const CommandResult bad = runCommand(VANTREL_CLI, {"bitmaps", stream, "--set", "Nonsense=1"});
    EXPECT_EQ(bad.status, 2);
    const CommandResult missing = runCommand(VANTREL_CLI, {"bitmaps", out + "/missing.sup"});
    EXPECT_EQ(missing.status, 1);
}
