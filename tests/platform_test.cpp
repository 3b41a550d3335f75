// File reading and picture files.
#include <array>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/image_io.h"
#include "support/stream_builder.h"

using namespace vantrel;
using vantrel::testing::writeTempFile;

TEST(InputFile, ReadsBigEndianAndFailsPastTheEnd) {
    const auto path = writeTempFile("a.bin", {0x50, 0x47, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07});
    InputFile f(path);
    EXPECT_EQ(f.size(), 9);
    EXPECT_EQ(f.readWord(), 0x5047);
    EXPECT_EQ(f.read24(), 0x010203u);
    EXPECT_EQ(f.readDWord(), 0x04050607u);
    EXPECT_THROW(f.readByte(), PlatformError);
    f.seek(2);
    EXPECT_EQ(f.readDWordLE(), 0x04030201u);
    uint8_t buf[8];
    f.seek(7);
    EXPECT_EQ(f.read(buf, 8), 2u);
    try {
        f.seek(8);
        f.readExact(buf, 2);
        FAIL() << "no error";
    } catch (const PlatformError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
}

TEST(InputFile, MissingFileNamesTheFile) {
    try {
        InputFile f("/nonexistent/x.sup");
        FAIL() << "no error";
    } catch (const PlatformError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"/nonexistent/x.sup\". ", 0), 0u) << e.what();
    }
}

// Every file is written beside its target and takes the target's place only when complete:
// an older file survives any failure, and nothing else is left in the folder.
TEST(OutputFile, ReplacesTheTargetOnlyWhenComplete) {
    const std::string target = writeTempFile("keep.srt", {'o', 'l', 'd'});
    const auto folder = std::filesystem::path(target).parent_path();
    auto entries = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
        return names;
    };
    {
        OutputFile f(target);
        f.write("new text");
        EXPECT_EQ(readWholeFile(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
        // Abandoned without close(), as on an error: the older file stays.
    }
    EXPECT_EQ(readWholeFile(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(entries(), std::vector<std::string>{"keep.srt"});
    {
        OutputFile f(target);
        f.write("new");
        f.close();
    }
    EXPECT_EQ(readWholeFile(target), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(entries(), std::vector<std::string>{"keep.srt"});

    // A folder in the target's place is refused before anything is written.
    EXPECT_THROW(OutputFile{folder.string()}, PlatformError);
    // A device is written as it stands: /dev/full reports the full disk, and the message says so.
    try {
        writeWholeFile("/dev/full", "x", 1);
        FAIL() << "no error";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos) << e.what();
    }
}

// Writing a picture to a full disk says why it failed.
TEST(Pictures, WriteErrorsKeepTheSystemsReason) {
    // Noise, so that the compressed rows outgrow the write buffer and libpng meets the error.
    std::vector<uint8_t> pixels(256 * 256);
    uint32_t seed = 1;
    for (auto& p : pixels) p = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    std::array<uint32_t, 256> colors{};
    std::array<uint8_t, 256> alpha{};
    try {
        writeIndexedPng("/dev/full", 256, 256, pixels.data(), 256, colors, alpha);
        FAIL() << "no error";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos) << e.what();
    }
}

TEST(FileNames, CutExtAndExtension) {
    EXPECT_EQ(CutExt("a.b.sup"), "a.b");
    EXPECT_EQ(CutExt("noext"), "noext");
    EXPECT_EQ(CutExt("dir.x/noext"), "dir.x/noext");
    EXPECT_EQ(fileExt("/p/movie.SUP"), ".SUP");
    EXPECT_EQ(fileNameOnly("/p/q/movie.sup"), "movie.sup");
}

TEST(Pictures, IndexedPngAndBmpRoundTrip) {
    const int w = 5, h = 3;
    std::vector<uint8_t> idx(w * h);
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<uint8_t>(i * 17);
    std::array<uint32_t, 256> colors{};
    std::array<uint8_t, 256> alpha{};
    for (size_t i = 0; i < 256; ++i) {
        colors[i] = static_cast<uint32_t>(i | (255 - i) << 8 | (i / 2) << 16);
        alpha[i] = static_cast<uint8_t>(255 - i);
    }
    const auto png = writeTempFile("i.png", {});
    writeIndexedPng(png, w, h, idx.data(), w, colors, alpha);
    const DecodedPng d = readPngFile(png);
    ASSERT_TRUE(d.indexed);
    EXPECT_EQ(d.paletteSize, 256);
    EXPECT_EQ(d.pixels, idx);
    EXPECT_EQ(d.colors, colors);
    EXPECT_EQ(d.alpha, alpha);

    std::vector<uint32_t> rgb(w * h);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint32_t>(i * 0x0A0B0C);
    const auto bmp = writeTempFile("p.bmp", {});
    writeBmp(bmp, w, h, rgb.data(), w);
    const RgbPicture back = readPicture(bmp);
    EXPECT_EQ(back.width, w);
    EXPECT_EQ(back.pixels, rgb);
    const auto rgbPng = writeTempFile("p.png", {});
    writeRgbPng(rgbPng, w, h, rgb.data(), w);
    EXPECT_EQ(readPicture(rgbPng).pixels, rgb);
}

TEST(Pictures, DamagedFilesFailCleanly) {
    const std::vector<std::vector<uint8_t>> files = {
        {},
        {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13},
        {'B', 'M', 0, 0},
    };
    for (const auto& bytes : files) {
        const auto path = writeTempFile("bad.pic", bytes);
        EXPECT_THROW(readPicture(path), PlatformError);
    }
    // A BMP header that claims more rows than the file holds.
    std::vector<uint8_t> bmp(54, 0);
    bmp[0] = 'B'; bmp[1] = 'M'; bmp[10] = 54; bmp[14] = 40;
    bmp[18] = 100; bmp[22] = 100; bmp[26] = 1; bmp[28] = 24;
    EXPECT_THROW(readPicture(writeTempFile("short.bmp", bmp)), PlatformError);
}

// A picture larger than the caller accepts is refused before its pixels are decoded.
TEST(Pictures, LargerThanAcceptedIsRefused) {
    const std::vector<uint32_t> rgb(100 * 10, 0x123456);
    const std::vector<uint8_t> indexes(100 * 10, 3);
    std::array<uint32_t, 256> colors{};
    std::array<uint8_t, 256> alpha{};
    const std::string bmp = writeTempFile("wide.bmp", {});
    const std::string png = writeTempFile("wide.png", {});
    writeBmp(bmp, 100, 10, rgb.data(), 100);
    writeIndexedPng(png, 100, 10, indexes.data(), 100, colors, alpha);
    for (const std::string& path : {bmp, png}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(readPicture(path, 100).width, 100);
        try {
            readPicture(path, 64);
            FAIL() << "no error";
        } catch (const PlatformError& e) {
            EXPECT_NE(std::string(e.what()).find("Picture too large"), std::string::npos) << e.what();
        }
    }
}
