// Stream export: encoders, the two writers, file names, and round trips through the readers.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

#include "core/context.h"
#include "export/encoder.h"
#include "export/writers.h"
#include "platform/files.h"
#include "render/composer.h"
#include "stream/load.h"
#include "stream/pgs_check.h"
#include "text/atlas.h"
#include "text/srt_reader.h"
#include "support/run_command.h"
#include "support/stream_builder.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;
using vantrel::testing::slotRect;
using vantrel::testing::Bytes;
using vantrel::testing::PgsBuilder;
using vantrel::testing::writeTempFile;

namespace {

IndexedImage picture(int w, int h) {
    IndexedImage img;
    img.reset(w, h);
    return img;
}

}  // namespace

// A size patched into bytes not written yet is a writer's miscount: reported, not skipped.
TEST(OutBuffer, Patch24WritesInsideAndRefusesPastTheEnd) {
    OutBuffer out;
    for (int k = 0; k < 5; ++k) out.putByte(0);
    out.patch24(2, 0x123456);
    EXPECT_EQ(out.bytes(), (Bytes{0, 0, 0x12, 0x34, 0x56}));
    for (size_t at : {size_t{3}, size_t{5}, size_t{6}, SIZE_MAX - 1}) {
        SCOPED_TRACE(at);
        EXPECT_THROW(out.patch24(at, 0xFFFFFF), std::out_of_range);
    }
    EXPECT_EQ(out.bytes(), (Bytes{0, 0, 0x12, 0x34, 0x56}));
}

TEST(BluRayEncoder, RunForms) {
    struct Case {
        const char* name;
        std::vector<uint8_t> line;
        Bytes expected;
    };
    const Case cases[] = {
        {"mixed line", {5, 5, 0, 7, 7, 7}, {0x05, 0x05, 0x00, 0x01, 0x00, 0x83, 0x07, 0x00, 0x00}},
        {"colour 0 once", {0, 9}, {0x00, 0x01, 0x09, 0x00, 0x00}},
        {"long colour run", std::vector<uint8_t>(300, 4), {0x00, 0xC1, 0x2C, 0x04, 0x00, 0x00}},
        {"long colour 0 run", std::vector<uint8_t>(64, 0), {0x00, 0x40, 0x40, 0x00, 0x00}},
        {"63 pixels", std::vector<uint8_t>(63, 8), {0x00, 0xBF, 0x08, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IndexedImage img = picture(1920, 4);
        std::copy(c.line.begin(), c.line.end(), img.pixels.begin() + 1920);
        EXPECT_EQ(encodeBDObject(img, slotRect(0, 1, static_cast<uint16_t>(c.line.size()), 2)), c.expected);
    }
    IndexedImage blank = picture(1920, 1);
    EXPECT_EQ(encodeBDObject(blank, slotRect(0, 0, 1920, 1)), (Bytes{0x00, 0x47, 0x80, 0x00, 0x00}));
    EXPECT_TRUE(encodeBDObject(blank, slotRect(5, 0, 5, 1)).empty());
    // A rectangle past the picture reads colour 0 there instead of leaving the picture.
    EXPECT_EQ(encodeBDObject(blank, slotRect(1900, 0, 2000, 2)), (Bytes{0x00, 0x40, 0x64, 0x00, 0x00, 0x00, 0x40, 0x64, 0x00, 0x00}));
}

TEST(HdDvdEncoder, RunFormsAndFields) {
    {
        IndexedImage img = picture(8, 1);
        img.pixels[0] = 2;
        OutBuffer out;
        encodeHDField(out, img, slotRect(0, 0, 1, 0), 0);
        EXPECT_EQ(out.bytes(), (Bytes{0xA8, 0x00}));
    }
    {
        // 200 pixels of colour 9 and then one of colour 1: a 136-pixel code, a 64-pixel code,
        // then the last pixel as a run to the end of the line.
        IndexedImage img = picture(201, 1);
        std::fill(img.pixels.begin(), img.pixels.begin() + 200, 9);
        img.pixels[200] = 1;
        OutBuffer out;
        encodeHDField(out, img, slotRect(0, 0, 201, 0), 0);
        OutBuffer expected;
        expected.putBits(0b11, 2), expected.putBits(9, 8), expected.putBits(0x80 | 127, 8);
        expected.putBits(0b11, 2), expected.putBits(9, 8), expected.putBits(0x80 | 55, 8);
        expected.putBits(0b10, 2), expected.putBits(1, 2), expected.putBits(0x80, 8);
        expected.alignByte();
        EXPECT_EQ(out.bytes(), expected.bytes());
    }
    {
        // Field 0 of lines 100..103 codes 100 and 102, field 1 codes 101 and 103.
        IndexedImage img = picture(4, 110);
        for (int y = 100; y <= 103; ++y) img.at(0, y) = static_cast<uint8_t>(y - 100);
        OutBuffer out;
        for (int k = 0; k < 20; ++k) out.putByte(0);
        encodeHDField(out, img, slotRect(0, 100, 1, 103), 0);
        EXPECT_EQ(out.outLen(), 24u);
        EXPECT_EQ(out.bytes()[20], 0x88);   // colour 0 to the end of line 100
        EXPECT_EQ(out.bytes()[22], 0xA8);   // colour 2 on line 102
        encodeHDField(out, img, slotRect(0, 100, 1, 103), 1);
        EXPECT_EQ(out.bytes()[24], 0x98);   // colour 1 on line 101
        EXPECT_EQ(out.bytes()[26], 0xB8);   // colour 3 on line 103
        EXPECT_EQ(out.bytes()[19], 28 - 10);   // control offset stored after field 1
    }
}

TEST(Writers, ColourConversionAndNames) {
    struct Case {
        uint32_t color;
        YCrCb expected;
    };
    const Case cases[] = {{0xFFFFFF, {235, 128, 128}}, {0x000000, {16, 128, 128}}, {0x0000FF, {82, 240, 91}}};
    for (const auto& c : cases) {
        const YCrCb got = RGBToYCrCb(c.color);
        EXPECT_EQ(got.y, c.expected.y);
        EXPECT_EQ(got.cr, c.expected.cr);
        EXPECT_EQ(got.cb, c.expected.cb);
    }
    EXPECT_EQ(exportFileName("movie", 0, 0), "movie.BD.23.976.sup");
    // The whole base name stays: two languages of one film must not share a file.
    EXPECT_EQ(exportFileName("movie.eng", 1, 2), "movie.eng.HDDVD.25.sup");
    EXPECT_NE(exportFileName("film.en", 0, 0), exportFileName("film.fr", 0, 0));
    EXPECT_EQ(exportFileName("/some/folder/film.srt", 0, 5), "film.BD.59.94.sup");
    EXPECT_EQ(exportFileName("film", 0, 3), "film.BD.29.97.sup");
}

namespace {

struct Session : vantrel::testing::TestSession {
    void load(const std::string& path) {
        prog.eSUPfile = path;
        ASSERT_EQ(Load(ctx), LoadResult::Loaded);
    }
};

// A segment as read back from a written stream.
struct Seg {
    uint32_t pts, dts;
    uint8_t type;
    Bytes payload;
};

std::vector<Seg> segments(const std::string& path) {
    const auto b = readWholeFile(path);
    std::vector<Seg> out;
    for (size_t at = 0; at + 13 <= b.size();) {
        auto be = [&](size_t k, int n) {
            uint32_t v = 0;
            for (int i = 0; i < n; ++i) v = (v << 8) | b[k + static_cast<size_t>(i)];
            return v;
        };
        const uint32_t len = be(at + 11, 2);
        out.push_back({be(at + 2, 4), be(at + 6, 4), b[at + 10], Bytes(b.begin() + static_cast<long>(at) + 13,
                                                                           b.begin() + static_cast<long>(at + 13 + len))});
        at += 13 + len;
    }
    return out;
}

// A Blu-ray source: subtitle k shows a w x h block of colours at (100, 900), from start
// times 90000, 450000, ...; palette entries 0..3 plus entry 200.
std::string sourceStream(int subtitles, uint16_t w, uint16_t h, bool clear = true) {
    PgsBuilder b;
    for (int k = 0; k < subtitles; ++k) {
        const uint32_t t = 90000u + 360000u * static_cast<uint32_t>(k);
        IndexedImage img = picture(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) img.at(x, y) = static_cast<uint8_t>((x / 7 + y / 5 + k) % 3 == 0 ? 200 : (x + y) % 4);
        const Bytes rle = encodeBDObject(img, slotRect(0, 0, w, h));
        b.pcs(t, {{0, 0, 100, 900}});
        b.wds(t, {{0, 100, 900, w, h}});
        b.pds(t, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}, {3, 128, 128, 128, 200},
                  {200, 81, 240, 90, 255}});
        b.ods(t, 0, true, true, rle, w, h, static_cast<uint32_t>(rle.size() + 4));
        b.end(t);
        if (clear) {
            b.pcs(t + 180000, {});
            b.wds(t + 180000, {{0, 100, 900, w, h}});
            b.end(t + 180000);
        }
    }
    return writeTempFile("source.sup", b.bytes());
}

// The palette indexes of subtitle n's rectangle as the composer leaves them.
std::vector<uint8_t> indexesOf(Session& s, int n, int x1, int y1, int w, int h) {
    DrawSub(s.ctx, n);
    std::vector<uint8_t> out;
    for (int y = y1; y < y1 + h; ++y)
        for (int x = x1; x < x1 + w; ++x) out.push_back(s.prog.pics.IndexImage.at(x, y));
    return out;
}

}  // namespace

TEST(BluRayWriter, TimingCountersAndFragments) {
    Session s;
    s.load(sourceStream(2, 100, 50));
    const std::string out = writeTempFile("out.sup", {});
    s.prog.ExportingBD = true;
    expBD(s.ctx, out);
    s.prog.ExportingBD = false;
    const auto segs = segments(out);
    ASSERT_EQ(segs.size(), 16u);
    // First display set at 90000: an epoch start clears the plane in 5832 ticks, the 100x50
    // object decodes in 29 (it is ready long before) and the window transfers in 15, so the
    // set decodes from 90000 - 5847. The clear decodes during the window's 15 ticks.
    const std::vector<std::tuple<uint8_t, uint32_t, uint32_t>> first = {
        {0x16, 90000, 84153}, {0x17, 89985, 84153}, {0x14, 84153, 0}, {0x15, 84182, 84153}, {0x80, 84182, 0},
        {0x16, 270000, 269985}, {0x17, 269985, 269985}, {0x80, 269985, 0}};
    for (size_t k = 0; k < first.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(segs[k].type, std::get<0>(first[k]));
        EXPECT_EQ(segs[k].pts, std::get<1>(first[k]));
        EXPECT_EQ(segs[k].dts, std::get<2>(first[k]));
    }
    // Composition numbers 0, 1, 2, 3; states epoch start then normal; frame code 1.
    EXPECT_EQ(segs[0].payload.size(), 19u);
    EXPECT_EQ(segs[0].payload[4], 0x10);
    EXPECT_EQ(segs[0].payload[6], 0);
    EXPECT_EQ(segs[0].payload[7], 0x80);
    EXPECT_EQ(segs[5].payload.size(), 11u);
    EXPECT_EQ(segs[5].payload[6], 1);
    EXPECT_EQ(segs[5].payload[7], 0x00);
    EXPECT_EQ(segs[8].payload[6], 2);
    EXPECT_EQ(segs[13].payload[6], 3);
    // The palette covers index 200 although the source stored 5 entries.
    EXPECT_EQ(segs[2].payload.size(), 2u + 5u * 201u);
    // ODS: one fragment with flags 0xC0 and a data length counting width and height.
    const Bytes& ods = segs[3].payload;
    EXPECT_EQ(ods[3], 0xC0);
    const uint32_t dataLength = (ods[4] << 16) | (ods[5] << 8) | ods[6];
    EXPECT_EQ(dataLength, ods.size() - 11 + 4);
    EXPECT_EQ((ods[7] << 8) | ods[8], 100);
    EXPECT_EQ((ods[9] << 8) | ods[10], 50);
}

TEST(BluRayWriter, TimingRowsKeepTheDecoderModel) {
    // Two subtitles, the second `gap` ticks after the first ends; frames of 23.976 last
    // 3753.75 ticks.
    struct Case {
        const char* name;
        uint32_t start;                // of the first subtitle
        int64_t gap;                   // from the first one's end to the second one's start
        uint16_t w1, h1, w2, h2;
        const char* logged;            // a line the export logs, or "" for none
        bool startsKept;               // both subtitles show at their own start
    };
    const Case cases[] = {
        {"gap 0", 900000, 0, 600, 60, 400, 60, "", true},
        {"gap 1 frame", 900000, 3754, 600, 60, 400, 60, "", true},
        {"gap 2 frames", 900000, 7508, 600, 60, 400, 60, "", true},
        {"gap of a few ticks", 900000, 30, 600, 60, 400, 60, "", true},
        {"first start at 0", 0, 90000, 300, 40, 300, 40, "Subtitle 1 starts ", false},
        {"first start at 3780", 3780, 90000, 300, 40, 300, 40, "Subtitle 1 starts ", false},
        {"1.4 Mpx objects 1 frame apart", 900000, 3754, 1400, 1000, 1400, 1000, "", true},
        {"100 px objects 1 frame apart", 900000, 3754, 10, 10, 10, 10, "", true},
        {"overlapping times", 900000, -45000, 600, 60, 400, 60, "Subtitle 1 ends at 00:00:11,500, where Subtitle 2 starts.",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t end1 = c.start + 180000;
        const auto start2 = static_cast<uint32_t>(end1 + c.gap);
        PgsBuilder b;
        const struct {
            uint32_t start, end;
            uint16_t x, y, w, h;
        } subs[2] = {{c.start, end1, static_cast<uint16_t>((1920 - c.w1) / 2), static_cast<uint16_t>(1040 - c.h1), c.w1, c.h1},
                     {start2, start2 + 180000, static_cast<uint16_t>((1920 - c.w2) / 2), static_cast<uint16_t>(1060 - c.h2),
                      c.w2, c.h2}};
        for (const auto& t : subs) {
            IndexedImage img = picture(t.w, t.h);
            for (int y = 0; y < t.h; ++y)
                for (int x = 0; x < t.w; ++x) img.at(x, y) = static_cast<uint8_t>(x < 2 || y < 2 ? 1 : 1 + (x / 40 + y / 30) % 3);
            const Bytes rle = encodeBDObject(img, slotRect(0, 0, t.w, t.h));
            b.pcs(t.start, {{0, 0, t.x, t.y}}).wds(t.start, {{0, t.x, t.y, t.w, t.h}});
            b.pds(t.start, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}, {3, 128, 128, 128, 200}});
            size_t at = 0;
            for (bool first = true; at < rle.size(); first = false) {
                const size_t n = std::min<size_t>(60000, rle.size() - at);
                b.ods(t.start, 0, first, at + n == rle.size(),
                      Bytes(rle.begin() + static_cast<long>(at), rle.begin() + static_cast<long>(at + n)), t.w, t.h,
                      static_cast<uint32_t>(rle.size() + 4));
                at += n;
            }
            b.end(t.start).pcs(t.end, {}).end(t.end);
        }
        Session s;
        s.load(writeTempFile("timing-src.sup", b.bytes()));
        const std::string out = writeTempFile("timing.sup", {});
        ASSERT_EQ(exportStream(s.ctx, out), ExportResult::Done);

        const CheckReport report = checkPgsFile(out);
        std::string violations;
        for (const auto& line : checkReportLines(report)) violations += line + "\n";
        EXPECT_TRUE(report.clean()) << violations;
        const std::string log = s.host.logText();
        if (*c.logged) {
            EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        } else {
            EXPECT_EQ(log.find("Subtitle "), std::string::npos) << log;
        }

        // Read back, both pictures are where and when they were.
        Session back;
        back.load(out);
        ASSERT_EQ(back.prog.Subs.size(), 2u);
        for (size_t k = 0; k < 2; ++k) {
            SCOPED_TRACE(k);
            if (c.startsKept) {
                EXPECT_EQ(back.prog.Subs[k].startPTS, subs[k].start);
            }
            EXPECT_EQ(indexesOf(back, static_cast<int>(k + 1), subs[k].x, subs[k].y, subs[k].w, subs[k].h),
                      indexesOf(s, static_cast<int>(k + 1), subs[k].x, subs[k].y, subs[k].w, subs[k].h));
        }
    }
}

TEST(BluRayWriter, CrowdedSubtitlesOfChangingSizesKeepEachObjectIdAtOneSize) {
    // Subtitles one frame apart share epochs; the decoder sizes an object id's buffer once per
    // epoch, so a picture of another size takes another id or starts an epoch of its own.
    struct Case {
        const char* name;
        int subtitles;
        std::function<std::pair<uint16_t, uint16_t>(int)> size;   // of subtitle k
    };
    const Case cases[] = {
        {"30 lines of text", 30,
         [](int k) {
             return std::pair{static_cast<uint16_t>(300 + (k * 137) % 500), static_cast<uint16_t>(40 + (k * 53) % 110)};
         }},
        // 8 of these fill the 4 MiB of decoded objects.
        {"12 half screens", 12, [](int k) { return std::pair{static_cast<uint16_t>(1000 + 10 * k), uint16_t{500}}; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PgsBuilder b;
        std::vector<std::array<uint16_t, 4>> placed;   // x, y, w, h
        for (int k = 0; k < c.subtitles; ++k) {
            const auto [w, h] = c.size(k);
            const auto x = static_cast<uint16_t>((1920 - w) / 2), y = static_cast<uint16_t>(1060 - h);
            placed.push_back({x, y, w, h});
            IndexedImage img = picture(w, h);
            for (int py = 0; py < h; ++py)
                for (int px = 0; px < w; ++px) img.at(px, py) = static_cast<uint8_t>(1 + (px / 9 + py / 7 + k) % 3);
            const Bytes rle = encodeBDObject(img, slotRect(0, 0, w, h));
            const uint32_t start = 900000u + static_cast<uint32_t>(k) * (90000u + 3754u);
            b.pcs(start, {{0, 0, x, y}}).wds(start, {{0, x, y, w, h}});
            b.pds(start, {{1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}, {3, 128, 128, 128, 200}});
            size_t at = 0;
            for (bool first = true; at < rle.size(); first = false) {
                const size_t n = std::min<size_t>(60000, rle.size() - at);
                b.ods(start, 0, first, at + n == rle.size(),
                      Bytes(rle.begin() + static_cast<long>(at), rle.begin() + static_cast<long>(at + n)), w, h,
                      static_cast<uint32_t>(rle.size() + 4));
                at += n;
            }
            b.end(start).pcs(start + 90000, {}, 0x00).end(start + 90000);
        }
        Session s;
        s.load(writeTempFile("crowded-src.sup", b.bytes()));
        const std::string out = writeTempFile("crowded.sup", {});
        ASSERT_EQ(exportStream(s.ctx, out), ExportResult::Done);

        const CheckReport report = checkPgsFile(out);
        std::string violations;
        for (const auto& line : checkReportLines(report)) violations += line + "\n";
        EXPECT_TRUE(report.clean()) << violations;
        // The subtitles did share epochs, and ids past the first two were needed.
        EXPECT_LT(report.epochs, static_cast<size_t>(c.subtitles)) << violations;
        uint16_t highestId = 0;
        for (const auto& seg : segments(out))
            if (seg.type == 0x15) highestId = std::max<uint16_t>(highestId, static_cast<uint16_t>((seg.payload[0] << 8) | seg.payload[1]));
        EXPECT_GT(highestId, 1u);
        EXPECT_LT(highestId, 64u);

        Session back;
        back.load(out);
        ASSERT_EQ(back.prog.Subs.size(), static_cast<size_t>(c.subtitles));
        for (int k = 0; k < c.subtitles; ++k) {
            SCOPED_TRACE(k);
            const auto& [x, y, w, h] = placed[static_cast<size_t>(k)];
            EXPECT_EQ(indexesOf(back, k + 1, x, y, w, h), indexesOf(s, k + 1, x, y, w, h));
        }
    }
}

TEST(BluRayWriter, LargeObjectsAreFragmented) {
    Session s;
    // A 1900 x 200 block of alternating colours codes to about 380,000 bytes.
    PgsBuilder b;
    IndexedImage img = picture(1900, 200);
    for (size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = static_cast<uint8_t>(1 + (i % 2));
    const Bytes rle = encodeBDObject(img, slotRect(0, 0, 1900, 200));
    b.pcs(0, {{0, 0, 10, 800}}).wds(0, {{0, 10, 800, 1900, 200}}).pds(0, {{1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}});
    size_t at = 0;
    for (bool first = true; at < rle.size(); first = false) {
        const size_t n = std::min<size_t>(60000, rle.size() - at);
        b.ods(0, 0, first, at + n == rle.size(), Bytes(rle.begin() + static_cast<long>(at), rle.begin() + static_cast<long>(at + n)), 1900, 200,
              static_cast<uint32_t>(rle.size() + 4));
        at += n;
    }
    b.end(0);
    s.load(writeTempFile("big.sup", b.bytes()));
    const std::string out = writeTempFile("big-out.sup", {});
    s.prog.ExportingBD = true;
    expBD(s.ctx, out);
    s.prog.ExportingBD = false;
    std::vector<size_t> sizes;
    std::vector<uint8_t> flags;
    for (const auto& seg : segments(out)) {
        if (seg.type != 0x15) continue;
        sizes.push_back(seg.payload.size());
        flags.push_back(seg.payload[3]);
    }
    ASSERT_GE(sizes.size(), 3u);
    EXPECT_EQ(sizes.front(), 65508u + 11u);
    EXPECT_EQ(sizes[1], 65515u + 4u);
    EXPECT_EQ(flags.front(), 0x80);
    EXPECT_EQ(flags[1], 0x00);
    EXPECT_EQ(flags.back(), 0x40);
    // The subtitle had no end: the clearing set uses start + 2 s, and the log says so.
    const auto segs = segments(out);
    EXPECT_EQ(segs[segs.size() - 3].pts, 180000u);
    EXPECT_NE(s.host.logText().find("Subtitle 1 has no end time: 00:00:02,000 used."), std::string::npos);
    // Through the export command the line survives the closing "Done.".
    const std::string again = writeTempFile("big-again.sup", {});
    ASSERT_EQ(exportStream(s.ctx, again), ExportResult::Done);
    // Starting at 0, it shows once the decoder has had the time it needs.
    EXPECT_NE(s.host.logText().find("Subtitle 1 has no end time: 00:00:02,000 used.\nSubtitle 1 starts 77 ms later, at "
                                    "00:00:00,077, so that it can be decoded in time.\nDone.\n\n"),
              std::string::npos)
        << s.host.logText();
}

TEST(HdDvdWriter, PacketLayout) {
    Session s;
    // Start at 90000 lasting exactly 2 s; rectangle 100..300 wide from the odd line 901.
    PgsBuilder b;
    IndexedImage img = picture(200, 21);
    for (size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = static_cast<uint8_t>(i % 5);
    const Bytes rle = encodeBDObject(img, slotRect(0, 0, 200, 21));
    b.pcs(90000, {{0, 0, 100, 901}}).wds(90000, {{0, 100, 901, 200, 21}}).pds(90000, {{1, 235, 128, 128, 255}});
    b.ods(90000, 0, true, true, rle, 200, 21).end(90000).pcs(270000, {}).end(270000);
    s.load(writeTempFile("hd-src.sup", b.bytes()));
    const std::string out = writeTempFile("hd.sup", {});
    s.prog.ExportingHD = true;
    expHD(s.ctx, out);
    s.prog.ExportingHD = false;
    const auto p = readWholeFile(out);
    ASSERT_GT(p.size(), 20u);
    auto be = [&](size_t k, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 8) | p[k + static_cast<size_t>(i)];
        return v;
    };
    EXPECT_EQ(p.size() % 2, 0u);
    EXPECT_EQ(be(12, 4), p.size() - 10);
    const uint32_t c1 = be(16, 4) + 10;
    const uint32_t next1 = be(c1 + 2, 4);
    const uint32_t c2 = next1 + 10;
    EXPECT_EQ(be(c2 + 2, 4), next1);   // both sequences point to the second
    EXPECT_EQ(be(c2, 2), 176u);        // 180000 / 1024 = 175.8, rounded
    // SET_DAREA2 after STA_DSP, SET_COLOR2 and SET_CONTR2: left 100, right 299 (the last
    // column of the 200), top 901 as coded; the table keeps its top.
    const size_t area = c1 + 6 + 1 + 769 + 257;
    EXPECT_EQ(p[area], 0x85);
    EXPECT_EQ(p[area + 1], 0x06);
    EXPECT_EQ(p[area + 2], 0x41);
    EXPECT_EQ(p[area + 3], 0x2B);
    EXPECT_EQ(((p[area + 4] & 0x7F) << 4) | (p[area + 5] >> 4), 901);
    EXPECT_EQ(s.prog.Subs[0].obj[0].y1, 901);
    EXPECT_EQ(p[area + 7], 0x86);
    EXPECT_EQ(be(area + 8, 4), 10u);
    // The packet ends with STP_DSP, CMD_END and, where that left an odd length, one fill byte.
    const size_t n = p.size();
    const bool plain = p[n - 2] == 0x02 && p[n - 1] == 0xFF;
    const bool filled = p[n - 3] == 0x02 && p[n - 2] == 0xFF && p[n - 1] == 0xFF;
    EXPECT_TRUE(plain || filled);
}

namespace {

// Lines coded in one HD DVD field from `at` to `end`: every line ends with a run to the end
// of the line (prefix 1x, colour, 1 and seven 0 bits) and then starts on a byte.
int hdFieldLines(const Bytes& p, size_t at, size_t end) {
    size_t bit = at * 8;
    auto take = [&](int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++bit) v = (v << 1) | ((p[bit / 8] >> (7 - bit % 8)) & 1);
        return v;
    };
    int lines = 0;
    while (bit / 8 < end) {
        const uint32_t prefix = take(2);
        take(prefix & 1 ? 8 : 2);   // the colour
        if (!(prefix & 2)) continue;   // one pixel
        if (take(1) == 0) {
            take(3);
        } else if (take(7) == 0) {
            ++lines;
            bit = (bit + 7) / 8 * 8;
        }
    }
    return lines;
}

}  // namespace

TEST(HdDvdWriter, AreaIsExactlyWhatTheFieldsCode) {
    struct Case {
        const char* name;
        uint16_t x, y, w, h;
        uint32_t duration;
        uint32_t delay;     // stop delay in units of 1024 ticks
    };
    const Case cases[] = {
        {"odd top", 100, 901, 200, 21, 180000, 176},
        {"even top", 100, 900, 200, 20, 180000, 176},
        {"full width", 0, 1000, 1920, 30, 90000, 88},
        {"duration just past half a unit", 300, 700, 50, 9, 1536, 2},
        {"duration just below half a unit", 300, 700, 50, 9, 1535, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IndexedImage img = picture(c.w, c.h);
        for (size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = static_cast<uint8_t>(1 + i % 3);
        const Bytes rle = encodeBDObject(img, slotRect(0, 0, c.w, c.h));
        PgsBuilder b;
        b.pcs(90000, {{0, 0, c.x, c.y}}).wds(90000, {{0, c.x, c.y, c.w, c.h}});
        b.pds(90000, {{1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}, {3, 128, 128, 128, 255}});
        b.ods(90000, 0, true, true, rle, c.w, c.h).end(90000).pcs(90000 + c.duration, {}).end(90000 + c.duration);
        Session s;
        s.load(writeTempFile("hd-area-src.sup", b.bytes()));
        const std::string out = writeTempFile("hd-area.sup", {});
        s.prog.ExportingHD = true;
        expHD(s.ctx, out);
        s.prog.ExportingHD = false;
        const Bytes p = readWholeFile(out);
        auto be = [&](size_t k, int n) {
            uint32_t v = 0;
            for (int i = 0; i < n; ++i) v = (v << 8) | p[k + static_cast<size_t>(i)];
            return v;
        };
        const uint32_t c1 = be(16, 4) + 10;
        const size_t area = c1 + 6 + 1 + 769 + 257 + 1;
        const uint32_t left = (uint32_t{p[area]} << 4) | (p[area + 1] >> 4);
        const uint32_t right = ((p[area + 1] & 7u) << 8) | p[area + 2];
        const uint32_t top = ((p[area + 3] & 0x7Fu) << 4) | (p[area + 4] >> 4);
        const uint32_t bottom = ((p[area + 4] & 7u) << 8) | p[area + 5];
        EXPECT_EQ(left, c.x);
        EXPECT_EQ(right, c.x + c.w - 1u);
        EXPECT_LE(right, 1919u);
        EXPECT_EQ(top, c.y);
        const size_t field1 = be(area + 11, 4) + 10;
        const int lines = hdFieldLines(p, 20, field1) + hdFieldLines(p, field1, c1);
        EXPECT_EQ(static_cast<uint32_t>(lines), bottom - top + 1);
        EXPECT_EQ(lines, c.h);
        const uint32_t c2 = be(c1 + 2, 4) + 10;
        EXPECT_EQ(be(c2, 2), c.delay);
        // Loaded back, the picture lies where it was.
        Session back;
        back.load(out);
        EXPECT_EQ(back.prog.Subs[0].obj[0].y1, c.y);
        EXPECT_EQ(indexesOf(back, 1, c.x, c.y, c.w, c.h), indexesOf(s, 1, c.x, c.y, c.w, c.h));
    }
}

TEST(Writers, EmptyTableGivesEmptyFile) {
    Session s;
    for (bool bd : {true, false}) {
        const std::string out = writeTempFile("empty.sup", {'x'});
        if (bd) expBD(s.ctx, out);
        else expHD(s.ctx, out);
        EXPECT_EQ(std::filesystem::file_size(out), 0u);
    }
}

TEST(Writers, RoundTripThroughBothFormats) {
    for (int format : {0, 1}) {
        SCOPED_TRACE(format == 0 ? "Blu-ray" : "HD DVD");
        Session src;
        src.load(sourceStream(3, 64, 20));
        const auto folder = std::filesystem::path(writeTempFile("x", {})).parent_path();
        const std::string out = (folder / exportFileName(src.prog.BaseName, format, 2)).string();
        src.opt.rgFormat = format;
        ASSERT_EQ(exportStream(src.ctx, out), ExportResult::Done);
        EXPECT_FALSE(src.prog.Busy);
        EXPECT_FALSE(src.prog.ExportingBD || src.prog.ExportingHD);
        EXPECT_EQ(src.host.lines.at(src.host.lines.size() - 2).text, "Done.");

        Session back;
        back.load(out);
        ASSERT_EQ(back.prog.Subs.size(), 3u);
        for (int k = 0; k < 3; ++k) {
            SCOPED_TRACE(k);
            const TSUP& a = src.prog.Subs[static_cast<size_t>(k)];
            const TSUP& b = back.prog.Subs[static_cast<size_t>(k)];
            EXPECT_EQ(b.startPTS, a.startPTS);
            // HD DVD stop delays count in units of 1024 ticks, rounded.
            EXPECT_EQ(b.endPTS, format == 0 ? a.endPTS : a.startPTS + ((a.endPTS - a.startPTS + 512) & ~1023u));
            EXPECT_EQ(b.obj[0].x1, a.obj[0].x1);
            EXPECT_EQ(b.obj[0].y1, a.obj[0].y1);
            EXPECT_EQ(indexesOf(back, k + 1, 100, 900, 64, 20), indexesOf(src, k + 1, 100, 900, 64, 20));
        }
    }
}

TEST(Writers, FailedExportKeepsTheOlderFile) {
    Session s;
    s.load(sourceStream(1, 10, 10));
    const std::string out = writeTempFile("keep.sup", {'o', 'l', 'd'});
    s.prog.streamFile = "/nonexistent/vanished.sup";   // the source is gone: the export fails
    EXPECT_THROW(exportStream(s.ctx, out), PlatformError);
    EXPECT_EQ(readWholeFile(out), (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(s.prog.Busy);
    EXPECT_FALSE(s.prog.ExportingBD);
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(out).parent_path()))
        EXPECT_EQ(entry.path().string(), out);
    s.prog.Busy = true;
    EXPECT_EQ(exportStream(s.ctx, out), ExportResult::Refused);
    // An empty table (a failed load) writes nothing and logs no "Done.".
    s.prog.Busy = false;
    s.prog.Subs.clear();
    EXPECT_EQ(exportStream(s.ctx, out), ExportResult::Refused);
    EXPECT_EQ(readWholeFile(out), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(s.host.logText().find("Done."), std::string::npos);
}

// A stream replaced after loading (another film under the same name) is refused instead of
// exported with the other stream's pictures; so is exporting onto its own source when the
// source changed. An export onto its own, unchanged source reads it to the end first.
TEST(Writers, StreamChangedSinceLoadingIsRefused) {
    Session s;
    const std::string source = sourceStream(2, 30, 10);
    s.load(source);
    const std::string out = writeTempFile("keep.sup", {'o', 'l', 'd'});
    const std::string other = sourceStream(3, 40, 12);
    std::filesystem::rename(other, source);
    try {
        exportStream(s.ctx, out);
        FAIL() << "no error";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("has changed since it was loaded"), std::string::npos) << e.what();
    }
    EXPECT_EQ(readWholeFile(out), (Bytes{'o', 'l', 'd'}));

    Session own;
    own.load(source);
    ASSERT_EQ(exportStream(own.ctx, source), ExportResult::Done);
    Session back;
    back.load(source);
    EXPECT_EQ(back.prog.Subs.size(), 3u);
}

TEST(Writers, BluRayExportDecodesInFFmpeg) {
    if (std::system("command -v ffprobe > /dev/null 2>&1") != 0) GTEST_SKIP() << "ffprobe is not installed";
    Session s;
    s.load(sourceStream(2, 120, 40));
    const std::string out = writeTempFile("ff.sup", {});
    ASSERT_EQ(exportStream(s.ctx, out), ExportResult::Done);
    // ffprobe decodes every display set; an object it rejects shows no rectangle and an error.
    const auto r = vantrel::testing::runCommand("/usr/bin/ffprobe", {"-v", "error", "-show_frames", "-of", "compact", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    size_t shown = 0;
    for (size_t at = r.out.find("num_rects=1"); at != std::string::npos; at = r.out.find("num_rects=1", at + 1)) ++shown;
    EXPECT_EQ(shown, 2u) << r.out;
}

TEST(Writers, SrtImportExportsAndLoadsBack) {
    for (int format : {0, 1}) {
        SCOPED_TRACE(format == 0 ? "Blu-ray" : "HD DVD");
        Session src;
        fillLineY(src.prog, src.opt);
        const std::string srt = "1\n00:00:01,000 --> 00:00:03,000\nHello there\n\n"
                                "2\n00:00:04,000 --> 00:00:06,500\n<i>Two</i>\nlines\n\n";
        const std::string path = writeTempFile("film.srt", Bytes(srt.begin(), srt.end()));
        src.prog.BaseName = path;
        ASSERT_EQ(importSrt(src.ctx, path), 2);
        src.opt.rgFormat = format;
        const auto folder = std::filesystem::path(path).parent_path();
        const std::string out = (folder / exportFileName(src.prog.BaseName, format, 5)).string();
        EXPECT_EQ(std::filesystem::path(out).filename(), format == 0 ? "film.BD.59.94.sup" : "film.HDDVD.59.94.sup");
        ASSERT_EQ(exportStream(src.ctx, out), ExportResult::Done);

        Session back;
        back.load(out);
        ASSERT_EQ(back.prog.Subs.size(), 2u);
        for (size_t k = 0; k < 2; ++k) {
            SCOPED_TRACE(k);
            const TSUPObject& a = src.prog.Subs[k].obj[0];
            const TSUPObject& b = back.prog.Subs[k].obj[0];
            EXPECT_EQ(back.prog.Subs[k].startPTS, src.prog.Subs[k].startPTS);
            EXPECT_EQ(b.x1, a.x1);
            EXPECT_EQ(b.y1, a.y1);
            // A text record's right edge is its last column: Blu-ray holds the edge after it,
            // HD DVD the column itself.
            EXPECT_EQ(b.x2, format == 0 ? a.x2 + 1 : a.x2);
            // The text reached the picture: some pixel of the rectangle is not background.
            DrawSub(back.ctx, static_cast<int32_t>(k + 1));
            int ink = 0;
            for (int y = a.y1; y < a.y2; ++y)
                for (int x = a.x1; x < a.x2; ++x) ink += back.prog.pics.IndexImage.at(x, y) != back.prog.pal.TranspIdx;
            EXPECT_GT(ink, 100);
        }
        EXPECT_EQ(back.prog.Subs[0].endPTS, format == 0 ? 270000u : 90000u + 176u * 1024u);
        if (format == 0) {
            // Transparent entries carry black: players' scaling blends them into the glyph
            // edges, where any other colour shows as a fringe.
            for (const auto& seg : segments(out)) {
                if (seg.type != 0x14) continue;
                for (size_t e = 2; e + 5 <= seg.payload.size(); e += 5) {
                    if (seg.payload[e + 4] != 0) continue;
                    SCOPED_TRACE(static_cast<int>(seg.payload[e]));
                    EXPECT_EQ((std::vector<int>{seg.payload[e + 1], seg.payload[e + 2], seg.payload[e + 3]}),
                              (std::vector<int>{16, 128, 128}));
                }
            }
        }
    }
}

namespace {

// What a player shows of subtitle n: the opacity of every screen pixel and the colour of
// those that show.
struct Screen {
    std::vector<uint8_t> alpha;
    std::vector<Color> color;
};

Screen screenOf(Session& s, int n) {
    DrawSub(s.ctx, n);
    const IndexedImage& img = s.prog.pics.IndexImage;
    Screen out;
    out.alpha.resize(img.pixels.size());
    out.color.resize(img.pixels.size());
    for (size_t i = 0; i < img.pixels.size(); ++i) {
        const uint8_t index = img.pixels[i];
        out.alpha[i] = s.prog.pal.Alpha[index];
        out.color[i] = out.alpha[i] ? s.prog.pal.Palette[index] : 0;
    }
    return out;
}

// Pixels whose opacity differs, or whose colour differs by more than 3 levels in a channel.
size_t screenDifferences(const Screen& a, const Screen& b) {
    size_t differ = 0;
    for (size_t i = 0; i < a.alpha.size(); ++i) {
        bool same = a.alpha[i] == b.alpha[i];
        for (int shift = 0; shift < 24 && same; shift += 8)
            same = std::abs(static_cast<int>((a.color[i] >> shift) & 0xFF) - static_cast<int>((b.color[i] >> shift) & 0xFF)) <= 3;
        differ += same ? 0 : 1;
    }
    return differ;
}

size_t visiblePixels(const Screen& s) {
    size_t n = 0;
    for (uint8_t a : s.alpha) n += a != 0;
    return n;
}

// Blu-ray code of a w x h object: index `ink` in the middle third of every row, `ground`
// elsewhere.
Bytes inkBlock(uint16_t w, uint16_t h, uint8_t ground, uint8_t ink) {
    IndexedImage img = picture(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.at(x, y) = x >= w / 3 && x < 2 * w / 3 ? ink : ground;
    return encodeBDObject(img, slotRect(0, 0, w, h));
}

const std::vector<PgsBuilder::Entry> kInk = {{1, 235, 128, 128, 255}, {2, 81, 240, 90, 255}, {3, 41, 110, 240, 160}};

// One display set at `t`: object `id` of w x h at (x, y) in a window `margin` pixels larger.
void show(PgsBuilder& b, uint32_t t, uint16_t id, uint16_t x, uint16_t y, uint16_t w, uint16_t h, uint8_t state = 0x80,
          bool forced = false, uint16_t margin = 0) {
    PgsBuilder::CompObject o{id, 0, x, y};
    o.forced = forced;
    b.pcs(t, {o}, state);
    b.wds(t, {{0, static_cast<uint16_t>(x - margin), static_cast<uint16_t>(y - margin),
               static_cast<uint16_t>(w + 2 * margin), static_cast<uint16_t>(h + 2 * margin)}});
    b.pds(t, kInk);
    b.ods(t, id, true, true, inkBlock(w, h, 255, static_cast<uint8_t>(1 + id % 3)), w, h);
    b.end(t);
}

void clear(PgsBuilder& b, uint32_t t) { b.pcs(t, {}, 0x00).end(t); }

// An object of a two-object display set: id, position, size and the index of its ink.
struct Placed {
    uint16_t id, x, y, w, h;
    uint8_t ink;
};

// One epoch start at `t` showing two objects in windows 0 and 1 (by default each window
// the size of its object).
void showTwo(PgsBuilder& b, uint32_t t, const Placed& first, const Placed& second,
             std::vector<PgsBuilder::Window> windows = {}) {
    if (windows.empty())
        windows = {{0, first.x, first.y, first.w, first.h}, {1, second.x, second.y, second.w, second.h}};
    b.pcs(t, {{first.id, 0, first.x, first.y}, {second.id, 1, second.x, second.y}});
    b.wds(t, windows);
    b.pds(t, kInk);
    for (const Placed& o : {first, second}) b.ods(t, o.id, true, true, inkBlock(o.w, o.h, 255, o.ink), o.w, o.h);
    b.end(t);
}

// The windows a WDS defines: x, y, width, height.
std::vector<std::array<int, 4>> windowsOf(const Seg& wds) {
    std::vector<std::array<int, 4>> out;
    const Bytes& p = wds.payload;
    for (size_t at = 1; at + 9 <= p.size(); at += 9)
        out.push_back({(p[at + 1] << 8) | p[at + 2], (p[at + 3] << 8) | p[at + 4], (p[at + 5] << 8) | p[at + 6],
                       (p[at + 7] << 8) | p[at + 8]});
    return out;
}

}  // namespace

// Each row is a source stream that an earlier export changed: export it as Blu-ray, read
// the export back, and compare what both show, subtitle by subtitle, pixel by pixel.
TEST(BluRayWriter, ExportShowsWhatTheSourceShows) {
    struct Case {
        const char* name;
        std::function<PgsBuilder()> source;
        size_t subtitles;
        std::function<void(Session& src, Session& back, const std::string& out)> check;
        bool forcedOnly = false;
    };
    const std::vector<Case> cases = {
        {"index 255 background",
         [] {
             PgsBuilder b;
             show(b, 90000, 0, 100, 900, 300, 40);
             clear(b, 270000);
             return b;
         },
         1,
         [](Session&, Session& back, const std::string&) {
             // The undefined background stays transparent: no black bar.
             EXPECT_EQ(back.prog.pal.Alpha[back.prog.pics.IndexImage.at(100, 900)], 0);
         }},
        {"palette-only update",
         [] {
             PgsBuilder b;
             show(b, 90000, 0, 100, 900, 300, 40);
             b.pcs(180000, {{0, 0, 100, 900}}, 0x00).pds(180000, {{1, 128, 128, 128, 128}}).end(180000);
             clear(b, 270000);
             return b;
         },
         2, nullptr},
        {"acquisition point without object data",
         [] {
             PgsBuilder b;
             show(b, 90000, 0, 100, 900, 300, 40);
             b.pcs(180000, {{0, 0, 400, 700}}, 0x40).wds(180000, {{0, 400, 700, 300, 40}}).end(180000);
             clear(b, 270000);
             return b;
         },
         2, nullptr},
        {"empty composition with a new window",
         [] {
             PgsBuilder b;
             show(b, 90000, 0, 100, 900, 300, 40);
             b.pcs(270000, {}, 0x80).wds(270000, {{0, 0, 0, 10, 10}}).end(270000);
             return b;
         },
         1,
         [](Session&, Session& back, const std::string&) { EXPECT_EQ(back.prog.Subs[0].obj[0].x1, 100); }},
        {"object smaller than and offset in its window",
         [] {
             PgsBuilder b;
             show(b, 90000, 0, 568, 740, 300, 40, 0x80, false, 15);
             clear(b, 270000);
             return b;
         },
         1, nullptr},
        {"two windows",
         [] {
             PgsBuilder b;
             showTwo(b, 90000, {1, 571, 81, 300, 45, 1}, {2, 568, 740, 380, 50, 2},
                     {{0, 571, 81, 300, 45}, {1, 553, 740, 400, 60}});
             clear(b, 270000);
             return b;
         },
         1,
         [](Session&, Session& back, const std::string& out) {
             // Two composition objects, each at its own size in a window of its own.
             const TSUP& s = back.prog.Subs[0];
             EXPECT_TRUE(slotHasPicture(s.obj[0]));
             EXPECT_TRUE(slotHasPicture(s.obj[1]));
             const auto segs = segments(out);
             EXPECT_EQ(segs[0].payload[10], 2);
             EXPECT_EQ(windowsOf(segs[1]), (std::vector<std::array<int, 4>>{{571, 81, 300, 45}, {568, 740, 380, 50}}));
             EXPECT_EQ(segs[0].payload[11 + 2], 0);   // window of the first object
             EXPECT_EQ(segs[0].payload[19 + 2], 1);   // and of the second
             if (std::system("command -v ffprobe > /dev/null 2>&1") != 0) return;
             const auto r = vantrel::testing::runCommand("/usr/bin/ffprobe", {"-v", "error", "-show_frames", "-of", "compact", out});
             EXPECT_EQ(r.err, "");
             EXPECT_NE(r.out.find("num_rects=2"), std::string::npos) << r.out;
         }},
        {"two objects far apart",
         [] {
             PgsBuilder b;
             showTwo(b, 90000, {0, 660, 40, 600, 60, 1}, {1, 660, 980, 600, 60, 3});
             clear(b, 270000);
             return b;
         },
         1,
         [](Session&, Session&, const std::string& out) {
             // One window over both would code and decode the 600x1000 between them: the
             // objects stay 600x60 each, and the set decodes in less than the union needs.
             const auto segs = segments(out);
             int64_t objectPixels = 0;
             for (const Seg& g : segs)
                 if (g.type == 0x15) objectPixels += int64_t{(g.payload[7] << 8) | g.payload[8]} * ((g.payload[9] << 8) | g.payload[10]);
             EXPECT_EQ(objectPixels, 2 * 600 * 60);
             const int64_t unionTicks =
                 std::max(PgsModel::planeTicks(1920 * 1080), PgsModel::objectDecodeTicks(600 * 1000)) +
                 PgsModel::planeTicks(600 * 1000);
             EXPECT_LT(int64_t{segs[0].pts} - segs[0].dts, unionTicks);
         }},
        {"two windows in a crowded epoch",
         [] {
             // Two lines, then one line a frame later: both share an epoch and its windows.
             PgsBuilder b;
             showTwo(b, 90000, {0, 660, 840, 600, 60, 1}, {1, 600, 980, 700, 60, 2});
             b.pcs(180000, {}, 0x00).wds(180000, {{0, 660, 840, 600, 60}, {1, 600, 980, 700, 60}}).end(180000);
             b.pcs(183754, {{2, 1, 800, 990}}, 0x00);
             b.wds(183754, {{0, 660, 840, 600, 60}, {1, 600, 980, 700, 60}});
             b.pds(183754, kInk);
             b.ods(183754, 2, true, true, inkBlock(300, 40, 255, 3), 300, 40);
             b.end(183754);
             clear(b, 270000);
             return b;
         },
         2,
         [](Session&, Session& back, const std::string&) {
             EXPECT_TRUE(slotHasPicture(back.prog.Subs[0].obj[1]));
             EXPECT_FALSE(slotHasPicture(back.prog.Subs[1].obj[1]));
         }},
        {"cropped object",
         [] {
             PgsBuilder b;
             PgsBuilder::CompObject o{0, 0, 400, 900, true, false, 100, 10, 200, 20};
             b.pcs(90000, {o});
             b.wds(90000, {{0, 400, 900, 300, 40}});
             b.pds(90000, kInk);
             b.ods(90000, 0, true, true, inkBlock(300, 40, 255, 2), 300, 40);
             b.end(90000);
             clear(b, 270000);
             return b;
         },
         1,
         [](Session&, Session& back, const std::string&) {
             // The export holds the part shown, as an object of its own size.
             const TSUPObject& o = back.prog.Subs[0].obj[0];
             EXPECT_EQ((std::vector<int>{o.x1, o.y1, o.x2, o.y2, o.objWidth}), (std::vector<int>{400, 900, 600, 920, 0}));
         }},
        {"partial palette update",
         [] {
             PgsBuilder b;
             show(b, 90000, 0, 100, 900, 300, 40);
             b.pcs(180000, {{0, 0, 100, 900}}, 0x00).pds(180000, {{2, 128, 128, 128, 128}}).end(180000);
             clear(b, 270000);
             return b;
         },
         2, nullptr},
        {"forced flag",
         [] {
             PgsBuilder b;
             show(b, 90000, 0, 100, 900, 300, 40, 0x80, true);
             clear(b, 180000);
             return b;
         },
         1, [](Session&, Session& back, const std::string&) { EXPECT_EQ(back.prog.Subs[0].forced, 1); }},
        {"forced only",
         [] {
             PgsBuilder b;
             show(b, 90000, 0, 100, 900, 300, 40);
             clear(b, 180000);
             show(b, 270000, 0, 100, 800, 300, 40, 0x80, true);
             clear(b, 360000);
             return b;
         },
         1,
         [](Session&, Session& back, const std::string&) { EXPECT_EQ(back.prog.Subs[0].startPTS, 270000u); },
         true},
        {"1280x720 source at 24 fps",
         [] {
             PgsBuilder b;
             b.video(1280, 720, 2);
             show(b, 90000, 0, 200, 600, 300, 40);
             clear(b, 270000);
             return b;
         },
         1,
         [](Session& src, Session& back, const std::string& out) {
             EXPECT_EQ(back.prog.video.width, 1280);
             EXPECT_EQ(back.prog.video.height, 720);
             EXPECT_EQ(segments(out)[0].payload[4], 0x20);   // the source's 24 fps, not 23.976
             // Saturated colours keep their stream values exactly.
             EXPECT_EQ(back.prog.pal.source[2].cr, src.prog.pal.source[2].cr);
             EXPECT_EQ(back.prog.pal.source[2].y, src.prog.pal.source[2].y);
         }},
        {"720x576 source",
         [] {
             PgsBuilder b;
             b.video(720, 576, 3);
             show(b, 90000, 0, 100, 500, 300, 40);
             clear(b, 270000);
             return b;
         },
         1,
         [](Session& src, Session& back, const std::string&) {
             EXPECT_EQ(back.prog.video.height, 576);
             EXPECT_EQ(back.prog.pal.source[2].cb, src.prog.pal.source[2].cb);
         }},
        {"overlapping times",
         [] {
             // The clearing set ends both: the first would show until 270000 over the second.
             PgsBuilder b;
             show(b, 90000, 0, 100, 900, 300, 40);
             show(b, 180000, 1, 100, 800, 300, 40);
             clear(b, 270000);
             return b;
         },
         2,
         [](Session& src, Session& back, const std::string&) {
             EXPECT_EQ(src.prog.Subs[0].endPTS, 270000u);
             // The second display set replaces the first at its start.
             EXPECT_EQ(back.prog.Subs[1].startPTS, 180000u);
             EXPECT_NE(src.host.logText().find("Subtitle 1 ends at 00:00:02,000, where Subtitle 2 starts."),
                       std::string::npos)
                 << src.host.logText();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session src;
        src.load(writeTempFile("source.sup", c.source().bytes()));
        src.opt.cbForcedOnly = c.forcedOnly;
        const std::string out = writeTempFile("export.sup", {});
        ASSERT_EQ(exportStream(src.ctx, out), ExportResult::Done);
        std::string violations;
        for (const auto& line : checkReportLines(checkPgsFile(out))) violations += line + "\n";
        EXPECT_NE(violations.find("No violations"), std::string::npos) << violations;
        Session back;
        back.load(out);
        ASSERT_EQ(back.prog.Subs.size(), c.subtitles);
        size_t k = 0;
        for (size_t i = 0; i < src.prog.Subs.size(); ++i) {
            if (!selectedForJob(src.ctx, i)) continue;
            SCOPED_TRACE(i);
            EXPECT_EQ(back.prog.Subs[k].startPTS, src.prog.Subs[i].startPTS);
            const Screen want = screenOf(src, static_cast<int>(i + 1));
            const Screen got = screenOf(back, static_cast<int>(k + 1));
            EXPECT_GT(visiblePixels(want), 0u);
            EXPECT_EQ(screenDifferences(want, got), 0u);
            ++k;
        }
        if (c.check) c.check(src, back, out);
    }
}

// HD DVD subpictures are 1920x1080: a picture of a smaller video lands where it showed on
// the source's screen, scaled to the whole screen.
TEST(HdDvdWriter, OtherVideoSizesAreScaledToTheScreen) {
    struct Case {
        uint16_t width, height, x, y;
    };
    const Case cases[] = {{1920, 1080, 700, 900}, {1280, 720, 400, 600}, {720, 576, 200, 480}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        PgsBuilder b;
        b.video(c.width, c.height, 3);
        show(b, 90000, 0, c.x, c.y, 300, 40);
        clear(b, 270000);
        Session src;
        src.load(writeTempFile("hd-size.sup", b.bytes()));
        src.opt.rgFormat = 1;
        const std::string out = writeTempFile("hd-size-out.sup", {});
        ASSERT_EQ(exportStream(src.ctx, out), ExportResult::Done);
        Session back;
        back.load(out);
        ASSERT_EQ(back.prog.Subs.size(), 1u);
        EXPECT_EQ(back.prog.Subs[0].obj[0].x1, c.x * 1920 / c.width);
        EXPECT_EQ(back.prog.Subs[0].obj[0].y1, c.y * 1080 / c.height);
        // Every screen pixel shows what the source pixel it lies on shows.
        const Screen source = screenOf(src, 1);
        Screen want;
        for (int y = 0; y < 1080; ++y)
            for (int x = 0; x < 1920; ++x) {
                const size_t k = static_cast<size_t>(y * c.height / 1080 * 1920 + x * c.width / 1920);
                want.alpha.push_back(source.alpha[k]);
                want.color.push_back(source.color[k]);
            }
        const Screen got = screenOf(back, 1);
        EXPECT_GT(visiblePixels(got), 0u);
        EXPECT_EQ(screenDifferences(want, got), 0u);
    }
}

// A picture that lies outside the video it was made for covers nothing of the HD DVD screen:
// it is left out with a log line, the others are written.
TEST(HdDvdWriter, PictureOutsideItsVideoIsLeftOut) {
    PgsBuilder b;
    b.video(1280, 720, 3);
    show(b, 90000, 0, 400, 600, 300, 40);
    clear(b, 270000);
    show(b, 360000, 0, 1500, 600, 300, 40);
    clear(b, 540000);
    Session src;
    src.load(writeTempFile("hd-outside.sup", b.bytes()));
    src.opt.rgFormat = 1;
    const std::string out = writeTempFile("hd-outside-out.sup", {});
    ASSERT_EQ(exportStream(src.ctx, out), ExportResult::Done);
    EXPECT_NE(src.host.logText().find("Subtitle 2 has an empty area and was not written."), std::string::npos)
        << src.host.logText();
    Session back;
    back.load(out);
    EXPECT_EQ(back.prog.Subs.size(), 1u);
}

TEST(HdDvdWriter, CueLongerThanTheStopDelayKeepsItsEnd) {
    // The stop delay holds at most 65535 units of 1024 ticks (12:25.6): a cue of 1 s, one of
    // 20 minutes and one of 30 minutes become 1, 2 and 3 subpictures of the same picture.
    Session src;
    fillLineY(src.prog, src.opt);
    const std::string srt = "1\n00:00:01,000 --> 00:00:02,000\nShort\n\n"
                            "2\n00:00:10,000 --> 00:20:10,000\nTwenty minutes\n\n"
                            "3\n00:30:00,000 --> 01:00:00,000\nHalf an hour\n\n";
    const std::string path = writeTempFile("long.srt", Bytes(srt.begin(), srt.end()));
    src.prog.BaseName = path;
    ASSERT_EQ(importSrt(src.ctx, path), 3);
    src.opt.rgFormat = 1;
    const std::string out = writeTempFile("long.HDDVD.sup", {});
    ASSERT_EQ(exportStream(src.ctx, out), ExportResult::Done);
    const std::string log = src.host.logText();
    EXPECT_NE(log.find("Subtitle 2 lasts longer than an HD DVD subpicture can be shown; it is written as 2 "
                       "subpictures of the same picture."),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Subtitle 3 lasts longer than an HD DVD subpicture can be shown; it is written as 3 "),
              std::string::npos)
        << log;

    Session back;
    back.load(out);
    constexpr uint32_t kLongest = 0xFFFFu << 10;
    const std::vector<std::pair<uint32_t, size_t>> expected = {   // start, source subtitle
        {90000, 0},
        {900000, 1}, {900000 + kLongest, 1},
        {162000000, 2}, {162000000 + kLongest, 2}, {162000000 + 2 * kLongest, 2}};
    ASSERT_EQ(back.prog.Subs.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(k);
        const TSUP& piece = back.prog.Subs[k];
        const TSUP& cue = src.prog.Subs[expected[k].second];
        EXPECT_EQ(piece.startPTS, expected[k].first);
        // Each piece ends where the next of its cue starts; the last at the cue's end.
        const bool last = k + 1 == expected.size() || expected[k + 1].second != expected[k].second;
        if (last) {
            EXPECT_NEAR(static_cast<double>(piece.endPTS), static_cast<double>(cue.endPTS), 512);
        } else {
            EXPECT_EQ(piece.endPTS, expected[k + 1].first);
        }
    }
    // The pieces of a cue show the same picture.
    const Screen first = screenOf(back, 4);
    EXPECT_GT(visiblePixels(first), 0u);
    EXPECT_EQ(screenDifferences(first, screenOf(back, 5)), 0u);
    EXPECT_EQ(screenDifferences(first, screenOf(back, 6)), 0u);
}
