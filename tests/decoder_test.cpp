// The run-length decoders: code tables, line ends, interlacing, slots, and malformed data.
#include <random>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "render/decoder.h"
#include "render/palette.h"
#include "support/render_support.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

constexpr uint8_t kUnpainted = 0xEE;   // IndexImage value of pixels no run reached

// One subtitle of the given kind with a grey palette (index i has grey i and opacity i)
// and pictures prepared as the composer leaves them before decoding.
struct DecodeRig : RenderSession {
    explicit DecodeRig(uint8_t kind) {
        prog.SubKind = static_cast<TableKind>(kind);
        prog.Subs.resize(1);
        prog.pics.ensureAllocated();
        prog.pics.Overlay.reset(kScreenWidth, kScreenHeight);
        std::fill(prog.pics.IndexImage.pixels.begin(), prog.pics.IndexImage.pixels.end(), kUnpainted);
        for (size_t i = 0; i < 256; ++i) {
            prog.pal.Palette[i] = static_cast<Color>(i) * 0x010101u;
            prog.pal.Alpha[i] = static_cast<uint8_t>(i);
        }
        prog.pal.cutThreshold = cutThresholdFor(128);
    }
    TSUPObject& slot(int k = 0) { return prog.Subs[0].obj[static_cast<size_t>(k)]; }
    void geometry(int k, uint16_t x1, uint16_t y1, uint16_t x2, uint16_t y2) {
        slot(k).x1 = x1;
        slot(k).y1 = y1;
        slot(k).x2 = x2;
        slot(k).y2 = y2;
    }
    // Subpicture data: the whole pixel area in slot 0, bottom field at `bottom`.
    PixelRect decodeFields(const Bytes& data, int64_t bottom) {
        slot(0).parts = 2;
        slot(0).partPos[0] = 1000;
        slot(0).partPos[1] = static_cast<int32_t>(1000 + bottom);
        slot(0).partLen[0] = static_cast<int32_t>(data.size());
        PixelData d = PixelData::fromBytes(data);
        return decodeSubtitle(ctx, 0, 0, d);
    }
    PixelRect decode(const Bytes& data, int slotNo = 0) {
        PixelData d = PixelData::fromBytes(data);
        return decodeSubtitle(ctx, 0, slotNo, d);
    }
    uint8_t index(int x, int y) const { return prog.pics.IndexImage.at(x, y); }
    std::vector<int> row(int x, int y, int count) const {
        std::vector<int> out;
        for (int k = 0; k < count; ++k) out.push_back(index(x + k, y));
        return out;
    }
    uint8_t ink(int x, int y) const { return prog.pics.inkPlane[static_cast<size_t>(y * kScreenWidth + x)]; }
    // Length and colour of the run that starts at (x, y).
    std::pair<int, int> runAt(int x, int y) const {
        const uint8_t c = index(x, y);
        int n = 0;
        while (x + n < kScreenWidth && index(x + n, y) == c) ++n;
        return {n, c};
    }
};

}  // namespace

TEST(BluRayDecoder, CodesAndLineEnds) {
    struct Case {
        const char* name;
        Bytes data;
        std::vector<int> row0;   // from x1, 8 pixels
        std::vector<int> row1;   // from x1, 2 pixels
    };
    const Case cases[] = {
        // 05 | 05 | 00 01: one pixel of 0 | 00 83 07: 3 pixels of 7 | 00 00: end of line | 09
        {"mixed line", {0x05, 0x05, 0x00, 0x01, 0x00, 0x83, 0x07, 0x00, 0x00, 0x09},
         {5, 5, 0, 7, 7, 7, kUnpainted, kUnpainted}, {9, kUnpainted}},
        // Six pixels fill the 6-wide window; the line still goes on until 00 00.
        {"width-exact line ends at its code", {1, 2, 3, 4, 5, 6, 0x00, 0x00, 0x09},
         {1, 2, 3, 4, 5, 6, kUnpainted, kUnpainted}, {9, kUnpainted}},
        // Without the code the seventh pixel lands one past the window, then the row ends.
        {"pixel past the width", {1, 2, 3, 4, 5, 6, 8, 0x09},
         {1, 2, 3, 4, 5, 6, 8, kUnpainted}, {9, kUnpainted}},
        // 00 80 07: length 0 fills the rest of the line (through x2, one past the window).
        {"colour to the end", {0x03, 0x00, 0x80, 0x07, 0x0A}, {3, 7, 7, 7, 7, 7, 7, kUnpainted}, {10, kUnpainted}},
        // 00 41 2C: 300 pixels of 0 (14-bit) run past the window, which ends the row.
        {"14-bit zeros", {0x00, 0x41, 0x2C, 0x0B}, {0, 0, 0, 0, 0, 0, 0, 0}, {11, kUnpainted}},
        // 00 C0 03 0C: 3 pixels of 12 in the 14-bit colour form.
        {"14-bit colour", {0x00, 0xC0, 0x03, 0x0C, 0x00, 0x00, 0x0D}, {12, 12, 12, kUnpainted, kUnpainted,
         kUnpainted, kUnpainted, kUnpainted}, {13, kUnpainted}},
        // Data that ends inside a code reads zeros: 00 at the very end is an end of line.
        {"truncated code", {0x05, 0x00}, {5, kUnpainted, kUnpainted, kUnpainted, kUnpainted, kUnpainted,
         kUnpainted, kUnpainted}, {kUnpainted, kUnpainted}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DecodeRig r(2);
        r.geometry(0, 100, 200, 106, 210);
        r.slot(0).partLen[0] = static_cast<int32_t>(c.data.size());
        r.decode(c.data);
        EXPECT_EQ(r.row(100, 200, 8), c.row0);
        EXPECT_EQ(r.row(100, 201, 2), c.row1);
    }
}

TEST(HdDvdDecoder, CodeTable) {
    struct Case {
        const char* code;
        int length, color;
    };
    const Case cases[] = {
        {"00 11", 1, 3},
        {"01 10000001", 1, 129},
        {"10 10 0 011", 5, 2},
        {"10 01 1 0000011", 12, 1},
        {"10 01 1 0000000", 40, 1},            // to the end of the 40-pixel line
        {"11 00000111 0 111", 9, 7},
        {"11 00000111 1 0000001", 10, 7},
        {"11 11111111 1 1111111", 136, 255},   // a run may overshoot the line
        {"11 11111111 1 0000000", 40, 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        DecodeRig r(1);
        r.geometry(0, 10, 20, 49, 40);   // 40 pixels: x2 is the last column
        r.decodeFields(bits(c.code), 100);
        EXPECT_EQ(r.runAt(10, 20), (std::pair<int, int>{c.length, c.color}));
    }
}

TEST(DvdDecoder, CodeTable) {
    struct Case {
        const char* code;
        int length, color;
    };
    const Case cases[] = {
        {"01 10", 1, 2},
        {"11 01", 3, 1},
        {"00 0100 11", 4, 3},
        {"00 1111 01", 15, 1},
        {"0000 010000 10", 16, 2},
        {"0000 111111 01", 63, 1},
        {"000000 01000000 11", 64, 3},
        {"000000 11111111 01", 255, 1},
        {"00000000000000 10", 300, 2},   // to the end of the 300-pixel line
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        DecodeRig r(0);
        r.geometry(0, 0, 0, 299, 20);
        r.decodeFields(bits(c.code), 100);
        EXPECT_EQ(r.runAt(0, 0), (std::pair<int, int>{c.length, c.color}));
    }
}

TEST(SubpictureDecoder, FullLinesMoveTwoRowsDownAndRealign) {
    // HD DVD, a slot one pixel wide: the fill code paints that pixel, four bits of padding
    // follow, and the next line starts at the next byte.
    {
        DecodeRig r(1);
        r.geometry(0, 50, 60, 50, 70);
        r.decodeFields(bits("10 01 1 0000000 1111  00 10 0000"), 100);
        EXPECT_EQ(r.row(50, 60, 2), (std::vector<int>{1, kUnpainted}));
        EXPECT_EQ(r.index(50, 61), kUnpainted);
        EXPECT_EQ(r.index(50, 62), 2);
    }
    // A 3-pixel line of three 4-bit codes fills at bit 12 without an end code; the next
    // code is read from byte 2 (the 1111 in between is skipped), on the row two below.
    for (uint8_t kind : {0, 1}) {
        SCOPED_TRACE(int{kind});
        DecodeRig r(kind);
        r.geometry(0, 0, 0, 2, 10);
        const char* line = kind == 1 ? "0001 0001 0001 1111  0010 0000" : "0101 0101 0101 1111  0110 0000";
        r.decodeFields(bits(line), 100);
        EXPECT_EQ(r.row(0, 0, 4), (std::vector<int>{1, 1, 1, kUnpainted}));
        EXPECT_EQ(r.index(0, 2), 2);
        EXPECT_EQ(r.index(0, 1), kUnpainted);
    }
}

TEST(SubpictureDecoder, SwitchesToTheBottomFieldAtItsOffset) {
    // 120 bytes of top field: 240 one-pixel codes "00 01" in a line 1000 pixels wide, so the
    // top field never completes a row. Bottom field at 120: a run of 5 pixels of colour 2.
    Bytes data(120, 0x11);
    const Bytes bottom = bits("10 10 0 011");
    data.insert(data.end(), bottom.begin(), bottom.end());
    DecodeRig r(1);
    r.geometry(0, 0, 100, 999, 200);
    r.decodeFields(data, 120);
    EXPECT_EQ(r.runAt(0, 100), (std::pair<int, int>{240, 1}));
    EXPECT_EQ(r.runAt(0, 101), (std::pair<int, int>{5, 2}));
    EXPECT_EQ(r.index(0, 102), kUnpainted);

    // A bottom field placed before the top field starts at the beginning of the data.
    DecodeRig b(1);
    b.geometry(0, 0, 0, 999, 50);
    b.decodeFields(bits("01 00001001 00"), -5000);
    EXPECT_EQ(b.index(0, 0), 9);
    EXPECT_EQ(b.index(0, 1), 9);
    // ... and one past the data ends the top field with the data.
    DecodeRig e(1);
    e.geometry(0, 0, 0, 999, 50);
    e.decodeFields(bits("01 00001001 00"), 1 << 30);
    EXPECT_EQ(e.index(0, 0), 9);
    EXPECT_EQ(e.index(0, 1), kUnpainted);
}

TEST(BluRayDecoder, StartsFromSlotOneAtItsOwnPlace) {
    DecodeRig r(2);
    r.geometry(0, 100, 100, 200, 150);
    r.geometry(1, 300, 700, 304, 702);
    r.slot(1).partLen[0] = 4;
    const PixelRect painted = r.decode({0x00, 0x84, 0x21, 0x00}, 1);   // 4 pixels of 0x21
    EXPECT_EQ(r.row(300, 700, 5), (std::vector<int>{0x21, 0x21, 0x21, 0x21, kUnpainted}));
    EXPECT_EQ(r.index(100, 100), kUnpainted);
    EXPECT_EQ(painted.left, 300);
    EXPECT_EQ(painted.top, 700);
    EXPECT_EQ(painted.right, 304);
    EXPECT_EQ(painted.bottom, 701);
}

TEST(Decoder, InkAtAndAboveTheCutThresholdRelativeToTheSlot) {
    DecodeRig r(2);
    r.prog.pal.Palette[6] = r.prog.pal.cutThreshold - 1;
    r.prog.pal.Palette[7] = r.prog.pal.cutThreshold;
    r.prog.pal.Palette[8] = 0xFF0000;   // blue outweighs everything: ink
    r.geometry(0, 500, 900, 504, 902);
    r.decode({6, 7, 8, 0x00, 0x00, 0x00, 0x82, 7});
    EXPECT_EQ((std::vector<int>{r.ink(0, 0), r.ink(1, 0), r.ink(2, 0), r.ink(3, 0)}), (std::vector<int>{0, 1, 1, 0}));
    EXPECT_EQ((std::vector<int>{r.ink(0, 1), r.ink(1, 1), r.ink(2, 1)}), (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(r.ink(500, 900), 0);
}

TEST(Decoder, RunsPaintByMode) {
    // Colour 200 is ink (grey 200 >= 128), colour 50 is not.
    struct Case {
        const char* name;
        bool ocr, saving, cbOCR, exporting;
        Color pen200, pen50;
        int index200, index50;
        bool overlay;
    };
    const Case cases[] = {
        {"display", false, false, false, false, 0xC8C8C8, 0x323232, 200, 50, true},
        {"display, cbOCR", false, false, true, false, 0xC8C8C8, 0x323232, 200, 50, true},
        {"ocr", true, false, false, false, 0xCCCCCC, 0x000000, 200, 50, true},
        {"saving", false, true, false, false, 0xC8C8C8, 0x323232, 200, 50, true},
        {"saving, cbOCR", false, true, true, false, 0xCCCCCC, 0x000000, 3, 4, true},
        {"export", false, false, false, true, 0, 0, 200, 50, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DecodeRig r(2);
        r.prog.ocrRunning = c.ocr;
        r.prog.SavingPics = c.saving;
        r.prog.ExportingHD = c.exporting;
        r.opt.cbOCR = c.cbOCR;
        r.prog.pal.BrightIdx = 3;
        r.prog.pal.DarkIdx = 4;
        r.geometry(0, 10, 10, 20, 20);
        const PixelRect painted = r.decode({0x00, 0x82, 200, 0x00, 0x82, 50});
        const OverlayImage& ov = r.prog.pics.Overlay;
        const size_t at = 10 * kScreenWidth + 10;
        EXPECT_EQ(ov.color[at + 1], c.pen200);
        EXPECT_EQ(ov.color[at + 2], c.pen50);
        EXPECT_EQ(ov.alpha[at + 1], c.overlay ? 200 : 0);
        EXPECT_EQ(ov.alpha[at + 3], c.overlay ? 50 : 0);
        EXPECT_EQ(painted.empty(), !c.overlay);
        EXPECT_EQ(r.row(10, 10, 4), (std::vector<int>{c.index200, c.index200, c.index50, c.index50}));
        EXPECT_EQ(r.ink(1, 0), 1);
        EXPECT_EQ(r.ink(2, 0), 0);
    }
}

TEST(Decoder, PixelsOutsideThePicturesAreDropped) {
    // A window hanging over the bottom-right corner: 14-bit runs of 200 pixels on 10 rows.
    DecodeRig r(2);
    r.geometry(0, 1900, 1075, 2100, 1085);
    Bytes line{0x00, 0xC0, 0xC8, 0x09, 0x00, 0x00};
    Bytes data;
    for (int k = 0; k < 10; ++k) data.insert(data.end(), line.begin(), line.end());
    const PixelRect painted = r.decode(data);
    EXPECT_EQ(r.runAt(1900, 1075), (std::pair<int, int>{20, 9}));
    EXPECT_EQ(r.index(1919, 1079), 9);
    EXPECT_EQ(r.index(0, 1076), kUnpainted);   // no wrap into the next row
    EXPECT_EQ(painted.right, 1920);
    EXPECT_EQ(painted.bottom, 1080);

    // Ink rows past the plane's last row and columns past its width are dropped, not wrapped.
    DecodeRig t(2);
    t.geometry(0, 0, 0, 3000, 2000);
    Bytes tall{0x00, 0xC9, 0xC4, 0xFF, 0x00, 0x00};   // 2500 pixels of 255, end of line
    for (int k = 0; k < 1100; ++k) tall.insert(tall.end(), {0xFF, 0x00, 0x00});
    t.decode(tall);
    EXPECT_EQ(t.ink(1919, 0), 1);
    EXPECT_EQ(t.ink(0, 1), 1);   // the next line's own pixel
    EXPECT_EQ(t.ink(1, 1), 0);   // not the wrapped end of row 0
    EXPECT_EQ(t.ink(0, 1079), 1);
}

TEST(Decoder, MalformedDataEndsCleanly) {
    std::mt19937 rng(12345);
    const uint16_t corners[][4] = {
        {0, 0, 1919, 1079}, {1910, 1070, 2000, 1200}, {500, 500, 100, 100},   // x2 < x1
        {65000, 65000, 65535, 65535}, {0, 0, 0, 0}, {2047, 2047, 2047, 2047},
    };
    for (uint8_t kind : {0, 1, 2}) {
        for (const auto& g : corners) {
            for (int round = 0; round < 4; ++round) {
                SCOPED_TRACE(std::to_string(kind) + " " + std::to_string(g[0]) + " " + std::to_string(round));
                Bytes data(static_cast<size_t>(rng() % 3000));
                for (auto& b : data) b = static_cast<uint8_t>(rng());
                if (round == 1) std::fill(data.begin(), data.end(), 0x00);   // end codes only
                if (round == 2) std::fill(data.begin(), data.end(), 0xFF);
                DecodeRig r(kind);
                r.geometry(0, g[0], g[1], g[2], g[3]);
                r.geometry(1, g[1], g[0], g[3], g[2]);
                if (kind == 2) {
                    r.slot(0).partLen[0] = static_cast<int32_t>(data.size());
                    r.decode(data, round % 2);
                } else {
                    r.decodeFields(data, static_cast<int64_t>(rng() % 4000) - 1000);
                }
            }
        }
    }
}

TEST(LoadSlot, ConcatenatesFragmentsOfAnySize) {
    // Ten fragments of 60000 bytes, 600000 in all, each preceded by 3 bytes of filler: a
    // 1920-wide window of rows "01 02 ... 00 00" (1922 bytes each) for 312 rows and a bit.
    Bytes stream;
    Bytes rows;
    for (int y = 0; rows.size() < 600000; ++y) {
        for (int x = 0; x < 1920; ++x) rows.push_back(static_cast<uint8_t>(1 + (x + y) % 200));
        rows.insert(rows.end(), {0x00, 0x00});
    }
    rows.resize(600000);
    TSUPObject slot;
    slot.parts = 10;
    for (size_t i = 0; i < 10; ++i) {
        stream.insert(stream.end(), {0xAA, 0xBB, 0xCC});
        slot.partPos[i] = static_cast<int32_t>(stream.size());
        slot.partLen[i] = 60000;
        stream.insert(stream.end(), rows.begin() + static_cast<ptrdiff_t>(i * 60000),
                      rows.begin() + static_cast<ptrdiff_t>((i + 1) * 60000));
    }
    const std::string path = writeTempFile("big.sup", stream);
    PixelData data;
    loadSlot(path, slot, data);
    ASSERT_EQ(data.dataLen, 600000);
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), data.bytes.begin()));
    EXPECT_EQ(data.bytes.size(), 600000 + kPixelDataSpare);

    DecodeRig r(2);
    r.geometry(0, 0, 0, 1920, 1080);
    r.slot(0) = TSUPObject{slot};
    r.geometry(0, 0, 0, 1920, 1080);
    decodeSubtitle(r.ctx, 0, 0, data);
    // Row 312 holds the last 600000 - 312 * 1922 = 336 pixels of data.
    EXPECT_EQ(r.index(0, 311), 1 + 311 % 200);
    EXPECT_EQ(r.index(335, 312), 1 + (335 + 312) % 200);
    EXPECT_EQ(r.index(336, 312), kUnpainted);

    // A subpicture slot: the bottom-field start is a fragment of no bytes, which may point
    // anywhere, even past the end of the file.
    TSUPObject fields;
    fields.parts = 2;
    fields.partPos[0] = slot.partPos[0];
    fields.partLen[0] = 100;
    fields.partPos[1] = static_cast<int32_t>(stream.size() + 1000);
    loadSlot(path, fields, data);
    EXPECT_EQ(data.dataLen, 100);

    // A fragment past the end of the file fails before anything is allocated for it.
    slot.partLen[9] = INT32_MAX;
    try {
        loadSlot(path, slot, data);
        FAIL() << "no error";
    } catch (const PlatformError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
}
