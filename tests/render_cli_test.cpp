// "vantrel-cli render": the three pictures and the exit statuses.
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/image_io.h"
#include "support/render_support.h"
#include "support/run_command.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

CommandResult cli(const std::vector<std::string>& args) { return runCommand(VANTREL_CLI, args); }

// A 3x2 object at (600, 1000): white, grey at opacity 128, transparent / black.
std::string streamFile() {
    const IndexPicture object{3, 2, {1, 3, 0, 2, 2, 1}};
    PgsBuilder b;
    b.pcs(90000, {{0, 0, 600, 1000}});
    b.wds(90000, {{0, 600, 1000, 3, 2}});
    b.pds(90000, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}, {3, 128, 128, 128, 128}});
    b.ods(90000, 0, true, true, bluRayRle(object), 3, 2);
    b.end(90000);
    return writeTempFile("render cli.sup", b.bytes());
}

std::string outPath(const std::string& stream, const char* name) {
    return (std::filesystem::path(stream).parent_path() / name).string();
}

}  // namespace

TEST(RenderCli, WritesTheDisplayIndexAndInkPictures) {
    const std::string stream = streamFile();
    const std::string rgb = outPath(stream, "rgb.png");
    auto r = cli({"render", stream, "1", "-o", rgb, "--set", "Borders=1"});
    ASSERT_EQ(r.status, 0) << r.err;
    DecodedPng png = readPngFile(rgb);
    ASSERT_EQ(png.width, 1920);
    ASSERT_EQ(png.height, 1080);
    auto at = [&](int x, int y) { return png.rgb[static_cast<size_t>(y * 1920 + x)] & 0xFFFFFF; };
    EXPECT_EQ(at(600, 1000), 0xFFFFFFu);
    EXPECT_EQ(at(590, 1000), 0xFF0000u);   // a guide line
    EXPECT_EQ(at(602, 1000), 0xFF0000u);   // seen through a transparent pixel
    EXPECT_EQ(at(650, 1000), 0x313233u);   // the viewer's background

    const std::string indexed = outPath(stream, "index.png");
    r = cli({"render", stream, "1", "--out", indexed, "--index"});
    ASSERT_EQ(r.status, 0) << r.err;
    png = readPngFile(indexed);
    ASSERT_TRUE(png.indexed);
    EXPECT_EQ(png.pixels[1000 * 1920 + 601], 3);
    EXPECT_EQ(png.pixels[0], 0);
    EXPECT_EQ(png.colors[3], 0x828282u);
    EXPECT_EQ(png.alpha[3], 128);

    const std::string ink = outPath(stream, "ink.png");
    r = cli({"render", stream, "1", "-o", ink, "--ink"});
    ASSERT_EQ(r.status, 0) << r.err;
    png = readPngFile(ink);
    ASSERT_EQ(png.width, 3);
    ASSERT_EQ(png.height, 2);
    std::vector<uint32_t> grey;
    for (uint32_t v : png.rgb) grey.push_back(v & 0xFF);
    EXPECT_EQ(grey, (std::vector<uint32_t>{255, 0, 0, 0, 0, 255}));
}

TEST(RenderCli, IndexPictureOfTextSubtitleHoldsItsText) {
    const std::string srt = "1\n00:00:01,000 --> 00:00:03,000\nHello there\n\n";
    const std::string path = writeTempFile("render.srt", Bytes(srt.begin(), srt.end()));
    const std::string indexed = outPath(path, "text-index.png");
    const auto r = cli({"render", path, "1", "-o", indexed, "--index"});
    ASSERT_EQ(r.status, 0) << r.err;
    const DecodedPng png = readPngFile(indexed);
    ASSERT_TRUE(png.indexed);
    // The text is drawn with opaque steps of the grey ramp over the transparent background.
    size_t opaque = 0;
    for (const uint8_t p : png.pixels) opaque += png.alpha[p] > 200;
    EXPECT_GT(opaque, 200u);
}

TEST(RenderCli, BadNumbersAndStreamsExitWithTheirError) {
    const std::string stream = streamFile();
    const std::string out = outPath(stream, "x.png");
    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        {{"render", stream, "2", "-o", out}, "Subtitle 2 does not exist: the stream has 1 subtitle."},
        {{"render", stream, "0", "-o", out}, "Subtitle 0 does not exist"},
        {{"render", stream, "1x", "-o", out}, "Invalid subtitle number \"1x\""},
        {{"render", "/nonexistent/s.sup", "1", "-o", out}, "Cannot open file \"/nonexistent/s.sup\"."},
        {{"render", stream, "1", "-o", "/nonexistent/dir/x.png"}, "Cannot open file \"/nonexistent/dir/x.png\"."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const auto r = cli(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(cli({"render", stream, "1"}).status, 2);   // no -o
}
