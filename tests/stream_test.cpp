// Loading streams: the Blu-ray and subpicture readers and the load around them.
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "core/context.h"
#include "stream/load.h"
#include "support/stream_builder.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

// A program state with a recording host, loading one stream file.
struct Loader : vantrel::testing::TestSession {
    LoadResult load(const Bytes& bytes, const std::string& name = "stream.sup") {
        prog.eSUPfile = writeTempFile(name, bytes);
        return Load(ctx);
    }
};

const Bytes kRle(20, 0x01);   // object data; its content does not matter to the reader

// One display set with one object (PCS, WDS, PDS of 3 entries, ODS, END), then a clearing
// display set (PCS without objects, WDS, END).
PgsBuilder oneSubtitle(uint32_t start, uint32_t end) {
    PgsBuilder b;
    b.pcs(start, {{0, 0, 100, 900}});
    b.wds(start, {{0, 100, 900, 600, 80}});
    b.pds(start, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}});
    b.ods(start, 0, true, true, kRle, 600, 80);
    b.end(start);
    b.pcs(end, {});
    b.wds(end, {{0, 110, 910, 500, 70}});
    b.end(end);
    return b;
}

}  // namespace

TEST(BluRayReader, OneDisplaySetAndItsClearingSet) {
    Loader l;
    PgsBuilder b;
    b.pcs(90000, {{0, 0, 100, 900}});
    b.wds(90000, {{0, 100, 900, 600, 80}});
    const size_t pdsAt = b.offset();
    b.pds(90000, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}});
    const size_t odsAt = b.offset();
    b.ods(90000, 0, true, true, kRle, 600, 80);
    b.end(90000);
    b.pcs(270000, {});
    b.wds(270000, {{0, 110, 910, 500, 70}});
    b.end(270000);
    ASSERT_EQ(l.load(b.bytes(), "movie.en.sup"), LoadResult::Loaded);

    ASSERT_EQ(l.prog.Subs.size(), 1u);
    const TSUP& s = l.prog.Subs[0];
    EXPECT_EQ(l.prog.SubKind, 2);
    EXPECT_EQ(l.prog.BaseName, "movie.en");
    EXPECT_EQ(s.num, 1);
    EXPECT_EQ(s.text, "line 1");
    EXPECT_EQ(s.font, 4);
    EXPECT_EQ(s.startPTS, 90000u);
    EXPECT_EQ(s.endPTS, 270000u);
    EXPECT_EQ(s.startTime, "00:00:01,000");
    EXPECT_EQ(s.endTime, "00:00:03,000");
    EXPECT_EQ(s.palPos, static_cast<int32_t>(pdsAt + 13 + 2));
    EXPECT_EQ(s.palCount, 3);
    // The object at its composition position with its own size; the clearing display set's
    // window changes nothing of the subtitle it closes.
    EXPECT_EQ(s.obj[0].x1, 100);
    EXPECT_EQ(s.obj[0].y1, 900);
    EXPECT_EQ(s.obj[0].x2, 700);
    EXPECT_EQ(s.obj[0].y2, 980);
    EXPECT_EQ(s.obj[0].parts, 1);
    EXPECT_EQ(s.obj[0].partPos[0], static_cast<int32_t>(odsAt + 24));
    EXPECT_EQ(s.obj[0].partLen[0], static_cast<int32_t>(kRle.size()));
    EXPECT_EQ(s.obj[1].partLen[0], 0);

    EXPECT_EQ(l.host.lines.at(l.host.lines.size() - 2).text, "1 subtitles loaded.");
    EXPECT_TRUE(l.prog.srtDirty);
    EXPECT_TRUE(l.prog.controls.bExport);
    EXPECT_TRUE(l.prog.controls.bSaveBMP);
    EXPECT_TRUE(l.prog.controls.bOCRall);
    EXPECT_FALSE(l.prog.controls.ProgressBar);
    EXPECT_FALSE(l.prog.controls.bCancel);
    EXPECT_EQ(l.prog.controls.ieSubs, 1);
    EXPECT_EQ(l.prog.controls.udSubsMax, 1);
}

TEST(BluRayReader, ObjectInThreeFragments) {
    Loader l;
    PgsBuilder b;
    b.pcs(0, {{3, 0, 0, 0}});
    b.wds(0, {{0, 0, 0, 100, 100}});
    const size_t first = b.offset();
    b.ods(0, 3, true, false, Bytes(30, 1), 100, 100);
    const size_t middle = b.offset();
    b.ods(0, 3, false, false, Bytes(50, 1));
    const size_t last = b.offset();
    b.ods(0, 3, false, true, Bytes(7, 1));
    b.end(0);
    ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
    const TSUPObject& o = l.prog.Subs.at(0).obj[0];
    EXPECT_EQ(o.id, 3);
    EXPECT_EQ(o.parts, 3);
    EXPECT_EQ(o.partPos[0], static_cast<int32_t>(first + 24));
    EXPECT_EQ(o.partLen[0], 30);
    EXPECT_EQ(o.partPos[1], static_cast<int32_t>(middle + 17));
    EXPECT_EQ(o.partLen[1], 50);
    EXPECT_EQ(o.partPos[2], static_cast<int32_t>(last + 17));
    EXPECT_EQ(o.partLen[2], 7);
    // Never cleared: no end time.
    EXPECT_EQ(l.prog.Subs[0].endPTS, 0u);
    EXPECT_EQ(l.prog.Subs[0].endTime, "");
}

TEST(BluRayReader, EarlierSubtitleEndsOnlyWhenNewestHasAnObjectId) {
    for (uint16_t newestId : {0, 1}) {
        SCOPED_TRACE(newestId);
        Loader l;
        PgsBuilder b;
        b.pcs(1000, {{0, 0, 0, 0}});
        b.ods(1000, 0, true, true, kRle);
        b.end(1000);
        b.pcs(2000, {{newestId, 0, 0, 0}});
        b.ods(2000, newestId, true, true, kRle);
        b.end(2000);
        b.pcs(3000, {});
        b.end(3000);
        ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
        ASSERT_EQ(l.prog.Subs.size(), 2u);
        EXPECT_EQ(l.prog.Subs[1].endPTS, 3000u);
        EXPECT_EQ(l.prog.Subs[0].endPTS, newestId ? 3000u : 0u);
    }
}

TEST(BluRayReader, SlotsFollowTheCompositionObjects) {
    Loader l;
    PgsBuilder b;
    b.pcs(0, {{0, 6, 0, 0}, {1, 5, 0, 0}});
    // Windows are found by their ids, whatever their order; objects without a size take
    // their window's rectangle.
    b.wds(0, {{5, 10, 20, 100, 50}, {6, 30, 700, 200, 60}, {7, 1, 1, 1, 1}});
    b.ods(0, 0, true, true, kRle);
    b.ods(0, 1, true, true, kRle);
    b.end(0);
    ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
    const TSUP& s = l.prog.Subs.at(0);
    EXPECT_EQ(s.obj[0].y1, 700);
    EXPECT_EQ(s.obj[0].y2, 760);
    EXPECT_EQ(s.obj[1].x2, 110);
    EXPECT_EQ(s.objWin[0], 0);
    EXPECT_EQ(s.objWin[1], 1);
    EXPECT_EQ(s.obj[0].parts, 1);
    EXPECT_EQ(s.obj[1].parts, 1);
}

namespace {

// What one record of a reader case must hold: per slot its rectangle and the offset of its
// first fragment (0: none), and the offset of its palette.
struct SlotExpect {
    int x1, y1, x2, y2;
    size_t dataAt;
};
struct RecordExpect {
    std::vector<SlotExpect> slots;
    size_t palAt;
    uint32_t endPTS;
    uint8_t forced = 0;
};

}  // namespace

TEST(BluRayReader, DisplaySetsShowTheObjectsOfTheirEpoch) {
    struct Case {
        const char* name;
        std::function<PgsBuilder(std::vector<size_t>&)> build;   // marks offsets of interest
        std::function<std::vector<RecordExpect>(const std::vector<size_t>&)> expected;
    };
    // A display set showing object 0 (600x80) at (100, 900) in window 0, with palette 0.
    auto showing = [](PgsBuilder& b, uint32_t pts, std::vector<size_t>& at) {
        b.pcs(pts, {{0, 0, 100, 900}});
        b.wds(pts, {{0, 90, 890, 700, 100}});
        at.push_back(b.offset() + 13 + 2);
        b.pds(pts, {{1, 235, 128, 128, 255}});
        at.push_back(b.offset() + 24);
        b.ods(pts, 0, true, true, kRle, 600, 80);
        b.end(pts);
    };
    const std::vector<Case> cases = {
        {"palette-only update keeps the object",
         [&](std::vector<size_t>& at) {
             PgsBuilder b;
             showing(b, 1000, at);
             b.pcs(2000, {{0, 0, 100, 900}}, 0x00);
             at.push_back(b.offset() + 13 + 2);
             b.pds(2000, {{1, 128, 128, 128, 255}});
             b.end(2000);
             b.pcs(3000, {}, 0x00).end(3000);
             return b;
         },
         [](const std::vector<size_t>& at) {
             return std::vector<RecordExpect>{{{{100, 900, 700, 980, at[1]}}, at[0], 0},
                                              {{{100, 900, 700, 980, at[1]}}, at[2], 3000}};
         }},
        {"acquisition point without object data",
         [&](std::vector<size_t>& at) {
             PgsBuilder b;
             showing(b, 1000, at);
             b.pcs(2000, {{0, 0, 300, 800}}, 0x40).end(2000);
             return b;
         },
         [](const std::vector<size_t>& at) {
             return std::vector<RecordExpect>{{{{100, 900, 700, 980, at[1]}}, at[0], 0},
                                              {{{300, 800, 900, 880, at[1]}}, at[0], 0}};
         }},
        {"empty composition with a new window changes nothing",
         [&](std::vector<size_t>& at) {
             PgsBuilder b;
             showing(b, 1000, at);
             b.pcs(2000, {}, 0x80).wds(2000, {{0, 0, 0, 10, 10}}).pds(2000, {{0, 16, 128, 128, 255}}).end(2000);
             return b;
         },
         [](const std::vector<size_t>& at) {
             return std::vector<RecordExpect>{{{{100, 900, 700, 980, at[1]}}, at[0], 2000}};
         }},
        {"object smaller than and offset in its window",
         [&](std::vector<size_t>& at) {
             PgsBuilder b;
             b.pcs(1000, {{2, 1, 568, 740}});
             b.wds(1000, {{1, 553, 740, 812, 264}});
             at.push_back(b.offset() + 24);
             b.ods(1000, 2, true, true, kRle, 784, 252);
             b.end(1000);
             return b;
         },
         [](const std::vector<size_t>& at) {
             return std::vector<RecordExpect>{{{{568, 740, 1352, 992, at[0]}}, 0, 0}};
         }},
        {"two windows, one forced object",
         [&](std::vector<size_t>& at) {
             PgsBuilder b;
             PgsBuilder::CompObject top{1, 0, 571, 81};
             top.forced = true;
             b.pcs(1000, {top, {2, 1, 568, 740}});
             b.wds(1000, {{0, 571, 81, 777, 45}, {1, 553, 740, 812, 264}});
             at.push_back(b.offset() + 24);
             b.ods(1000, 1, true, true, kRle, 777, 45);
             at.push_back(b.offset() + 24);
             b.ods(1000, 2, true, true, kRle, 784, 252);
             b.end(1000);
             return b;
         },
         [](const std::vector<size_t>& at) {
             return std::vector<RecordExpect>{
                 {{{571, 81, 1348, 126, at[0]}, {568, 740, 1352, 992, at[1]}}, 0, 0, 1}};
         }},
        {"a new epoch forgets the objects of the last",
         [&](std::vector<size_t>& at) {
             PgsBuilder b;
             showing(b, 1000, at);
             b.pcs(2000, {{0, 0, 100, 900}}, 0x80).wds(2000, {{0, 90, 890, 700, 100}}).end(2000);
             return b;
         },
         [](const std::vector<size_t>& at) {
             return std::vector<RecordExpect>{{{{100, 900, 700, 980, at[1]}}, at[0], 0},
                                              {{{90, 890, 790, 990, 0}}, 0, 0}};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<size_t> at;
        const PgsBuilder b = c.build(at);
        Loader l;
        ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
        const std::vector<RecordExpect> want = c.expected(at);
        ASSERT_EQ(l.prog.Subs.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            SCOPED_TRACE(i);
            const TSUP& s = l.prog.Subs[i];
            EXPECT_EQ(s.palPos, static_cast<int32_t>(want[i].palAt));
            EXPECT_EQ(s.endPTS, want[i].endPTS);
            EXPECT_EQ(s.forced, want[i].forced);
            for (size_t k = 0; k < want[i].slots.size(); ++k) {
                const SlotExpect& e = want[i].slots[k];
                const TSUPObject& o = s.obj[k];
                EXPECT_EQ((std::vector<int>{o.x1, o.y1, o.x2, o.y2}), (std::vector<int>{e.x1, e.y1, e.x2, e.y2}));
                EXPECT_EQ(o.parts, e.dataAt ? 1 : 0);
                EXPECT_EQ(o.partPos[0], static_cast<int32_t>(e.dataAt));
            }
            if (want[i].slots.size() < 2) {
                EXPECT_EQ(s.obj[1].parts, 0);
            }
        }
    }
}

TEST(BluRayReader, KeepsTheVideoFormat) {
    Loader l;
    PgsBuilder b;
    b.video(1280, 720, 2);
    b.pcs(0, {{0, 0, 0, 0}}).end(0);
    ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
    EXPECT_EQ(l.prog.video.width, 1280);
    EXPECT_EQ(l.prog.video.height, 720);
    EXPECT_EQ(l.prog.video.frameCode, 2);
    EXPECT_EQ(sourceVideo(l.prog).height, 720);
}

TEST(BluRayReader, DetailsDumpSegments) {
    Loader l;
    l.opt.cbDetails = true;
    PgsBuilder b = oneSubtitle(90000, 180000);
    b.segment(0, 0x30, {1, 2, 3});           // unknown type: skipped without a line
    b.segment(0, 0x18, {0});
    ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
    const std::string log = l.host.logText();
    const std::string expected =
        "Blu-ray presentation graphics found.\n"
        "\n"
        "------------1----------\n"
        "00000002: PTS=00015F90 (00:00:01,000)\n"
        "0000000A: PCS (13) state: 2\n"
        "0000002A: WDS0 (0A)  id: 0  - \n"
        "00000041: PDS (11)  3 palettes\n"
        "0000005F: ODS0 (1F) 600 x 80\n"
        "0000008B: END\n"
        "00000090: PTS=0002BF20 (00:00:02,000)\n"
        "00000098: PCS (0B) state: 2\n"
        "000000B0: WDS0 (0A)  id: 0  - \n"
        "000000C7: END\n"
        // The last dump line ("Interactive composition definition") gives way to the count.
        "1 subtitles loaded.\n"
        "\n";
    EXPECT_EQ(log.substr(log.find("Blu-ray")), expected);
}

TEST(BluRayReader, CancelStopsAtTheEndSegment) {
    struct CancellingHost : RecordingHost {
        Program* prog = nullptr;
        void pumpMessages() override { prog->Cancel = true; }
    };
    vantrel::testing::BasicTestSession<CancellingHost> session;
    auto& [host, msg, prog, opt, ctx] = session;
    host.prog = &prog;
    PgsBuilder b = oneSubtitle(1000, 2000);
    const PgsBuilder second = oneSubtitle(3000, 4000);
    Bytes bytes = b.bytes();
    bytes.insert(bytes.end(), second.bytes().begin(), second.bytes().end());
    prog.eSUPfile = writeTempFile("c.sup", bytes);
    EXPECT_EQ(Load(ctx), LoadResult::Loaded);
    ASSERT_EQ(prog.Subs.size(), 1u);
    EXPECT_EQ(prog.Subs[0].endPTS, 0u);   // stopped before the clearing display set
}

namespace {

struct BadStream {
    const char* name;
    Bytes bytes;
    LoadResult result;   // the load's outcome; ReadError for a truncated file
    size_t records;
};
constexpr auto kReadError = static_cast<LoadResult>(-1);

Bytes withTail(Bytes b, size_t cut) {
    b.erase(b.end() - static_cast<std::ptrdiff_t>(cut), b.end());
    return b;
}

std::vector<BadStream> badBluRayStreams() {
    std::vector<BadStream> cases;
    cases.push_back({"one byte", {0x50}, LoadResult::Unsupported, 0});
    cases.push_back({"empty", {}, LoadResult::Unsupported, 0});
    cases.push_back({"not a stream", {'R', 'I', 'F', 'F', 0, 0}, LoadResult::Unsupported, 0});
    {
        PgsBuilder b = oneSubtitle(1, 2);
        Bytes bytes = b.bytes();
        bytes.insert(bytes.end(), {'X', 'Y', 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0});
        cases.push_back({"later marker not PG", bytes, LoadResult::FormatError, 0});
    }
    {
        PgsBuilder b;
        b.wds(0, {{0, 1, 1, 1, 1}}).pds(0, {{0, 1, 1, 1, 1}}).ods(0, 0, true, true, kRle).pcs(0, {}).end(0);
        cases.push_back({"segments before any composition", b.bytes(), LoadResult::NoSubtitles, 0});
    }
    {
        PgsBuilder b;
        b.pcs(0, {{70, 0, 0, 0}, {1, 9, 0, 0}}).ods(0, 70, true, true, kRle).ods(0, 1, true, true, kRle).end(0);
        cases.push_back({"object id 70 and window id 9", b.bytes(), LoadResult::Loaded, 1});
    }
    {
        PgsBuilder b;
        b.pcs(0, {{0, 0, 0, 0}}).ods(0, 0, true, false, kRle);
        for (int k = 0; k < 70; ++k) b.ods(0, 0, false, k == 69, {1, 2});
        cases.push_back({"more than 64 fragments", b.bytes(), LoadResult::Loaded, 1});
    }
    {
        PgsBuilder b;
        b.pcs(0, {{0, 0, 0, 0}}).segment(0, 0x15, {0, 0, 0, 0x80, 0, 0, 9});
        cases.push_back({"first ODS shorter than its fields", b.bytes(), LoadResult::FormatError, 0});
    }
    {
        PgsBuilder b;
        b.pcs(0, {{0, 0, 0, 0}}).segment(0, 0x15, {0, 0, 0});
        cases.push_back({"ODS shorter than 4", b.bytes(), LoadResult::FormatError, 0});
    }
    {
        PgsBuilder b;
        b.pcs(0, {{0, 0, 0, 0}}).segment(0, 0x14, {0});
        cases.push_back({"PDS shorter than 2", b.bytes(), LoadResult::FormatError, 0});
    }
    {
        PgsBuilder b = oneSubtitle(1, 2);
        b.pcs(5, {{0, 0, 0, 0}}).ods(5, 0, true, true, Bytes(100, 1));
        cases.push_back({"last ODS cut short", withTail(b.bytes(), 60), LoadResult::Loaded, 2});
    }
    {
        PgsBuilder b = oneSubtitle(1, 2);
        b.pcs(5, {{0, 0, 0, 0}, {1, 1, 0, 0}});
        cases.push_back({"last PCS cut short", withTail(b.bytes(), 3), kReadError, 2});
    }
    {
        PgsBuilder b;
        b.segment(0, 0x16, {}, 0xFFFF);
        cases.push_back({"length past the end", b.bytes(), kReadError, 0});
    }
    return cases;
}

std::vector<BadStream> badSubpictureStreams() {
    std::vector<BadStream> cases;
    const Bytes area = {0x01, 0xFF};
    {
        SpBuilder b;
        b.packet(0, true, Bytes(4, 0), {{0, area, true}}, 1);
        cases.push_back({"PTS high part not 0", b.bytes(), LoadResult::FormatError, 0});
    }
    {
        SpBuilder b;
        b.packet(0, true, Bytes(4, 0), {{0, area, true}});
        b.raw({'S', 'Q', 0, 0, 0, 0, 0, 0, 0, 0});
        cases.push_back({"second marker broken", b.bytes(), LoadResult::FormatError, 0});
    }
    {
        // u16 0, u32 spuSize 10 (no room for a control area), u32 controlOffset 10
        SpBuilder b;
        b.raw({'S', 'P', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 10, 0xFF});
        cases.push_back({"control area empty", b.bytes(), LoadResult::FormatError, 0});
    }
    {
        // DVD-style header whose control offset 2 points into the header itself
        SpBuilder b;
        b.raw({'S', 'P', 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 2, 0, 0, 0, 4, 1, 0xFF});
        cases.push_back({"control offset inside the header", b.bytes(), LoadResult::FormatError, 0});
    }
    {
        SpBuilder b;
        b.packet(0, true, Bytes(4, 0), {{0, {0x01, 0x83, 1, 2, 3}, true}});
        cases.push_back({"command runs past the area", b.bytes(), LoadResult::FormatError, 0});
    }
    {
        SpBuilder b;
        b.packet(0, false, Bytes(4, 0), {{0, {0x01, 0x07}, true}});
        cases.push_back({"CHG_COLCON size cut off", b.bytes(), LoadResult::FormatError, 0});
    }
    {
        // HD DVD header claiming a control area of 0x7FFFFFF0 bytes
        SpBuilder b;
        b.raw({'S', 'P', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 10, 1, 0xFF});
        cases.push_back({"control area larger than the file", b.bytes(), kReadError, 1});
    }
    {
        // HD DVD header whose pixel data reaches far past the file: skipped, then the read fails
        SpBuilder b;
        b.raw({'S', 'P', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0x0F, 0, 0, 0, 1, 0xFF});
        cases.push_back({"pixel area larger than the file", b.bytes(), kReadError, 1});
    }
    {
        SpBuilder b;
        b.packet(0, true, Bytes(4, 0), {{0, {0x01, 0xFF}, true}});
        b.raw({'S', 'P', 0, 0});
        cases.push_back({"packet header cut short", b.bytes(), kReadError, 1});
    }
    return cases;
}

void expectCleanEnd(const BadStream& c) {
    SCOPED_TRACE(c.name);
    Loader l;
    if (c.result == kReadError) {
        EXPECT_THROW(l.load(c.bytes), PlatformError);
    } else {
        EXPECT_EQ(l.load(c.bytes), c.result);
    }
    EXPECT_EQ(l.prog.Subs.size(), c.records);
    // The controls are back in their resting state whatever happened.
    EXPECT_FALSE(l.prog.controls.ProgressBar);
    EXPECT_FALSE(l.prog.controls.bCancel);
    EXPECT_EQ(l.prog.controls.bExport, c.records > 0);
    EXPECT_FALSE(l.prog.Loading);
    if (c.result == LoadResult::FormatError) {
        EXPECT_NE(l.host.logText().find("Subpicture format error at line "), std::string::npos);
        EXPECT_TRUE(l.host.status.errorBadge);
    }
}

}  // namespace

TEST(BadInput, BluRayStreamsEndCleanly) {
    for (const auto& c : badBluRayStreams()) expectCleanEnd(c);
}

TEST(BadInput, SubpictureStreamsEndCleanly) {
    for (const auto& c : badSubpictureStreams()) expectCleanEnd(c);
}

// A stream cut inside its last object keeps the subtitles it holds and says that its end
// is missing; a whole stream loaded next clears the mark.
TEST(BadInput, ACutStreamSaysWhereItEnds) {
    Loader l;
    PgsBuilder b = oneSubtitle(1, 2);
    const size_t odsAt = b.pcs(5, {{0, 0, 0, 0}}).offset();
    b.ods(5, 0, true, true, Bytes(100, 1));
    Bytes cut = b.bytes();
    cut.resize(cut.size() - 60);
    ASSERT_EQ(l.load(cut), LoadResult::Loaded);
    EXPECT_EQ(l.prog.Subs.size(), 2u);
    EXPECT_TRUE(l.prog.truncated);
    const std::string log = l.host.logText();
    EXPECT_NE(log.find("\nThe stream ends inside a segment at byte " + std::to_string(odsAt) +
                       ": the last subtitle may be incomplete.\n2 subtitles loaded.\n\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(l.prog.controls.bExport, true);

    ASSERT_EQ(l.load(oneSubtitle(1, 2).bytes()), LoadResult::Loaded);
    EXPECT_FALSE(l.prog.truncated);
    EXPECT_EQ(l.host.logText().find("ends inside", log.size()), std::string::npos);
}

// Crafted streams make a record for every few bytes: the records stay as many as the bytes
// allow, a subpicture table is not grown by doubling, and records that show the same
// 64-fragment object hold one copy of its fragment list.
// The Blu-ray table grows to the count the part of the file read foretells: a stream of
// even display sets fills one block close to its size; one whose display sets grow larger
// on the way reserves more than it fills, within the bound, and loads every record in order.
TEST(BluRayReader, TableTakesTheSizeTheStreamForetells) {
    struct Case {
        const char* name;
        int count;
        int denseFirst;         // display sets with a small picture before the large ones
        size_t mostCapacity;    // of the table at the end
    };
    const Case cases[] = {
        {"even display sets", 700, 0, 700 * 5 / 4},
        {"small pictures first", 700, 350, 2 * 700 + 65536},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PgsBuilder b;
        const Bytes large(4000, 0x11);
        for (int i = 0; i < c.count; ++i) {
            const auto t = static_cast<uint32_t>(90000 * 3 * i);
            b.pcs(t, {{0, 0, 100, 900}});
            b.wds(t, {{0, 100, 900, 600, 80}});
            b.pds(t, {{0, 16, 128, 128, 0}});
            b.ods(t, 0, true, true, i < c.denseFirst ? kRle : large, 600, 80);
            b.end(t);
            b.pcs(t + 90000, {});
            b.end(t + 90000);
        }
        Loader l;
        ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
        const auto& subs = l.prog.Subs;
        ASSERT_EQ(subs.size(), static_cast<size_t>(c.count));
        EXPECT_LE(subs.capacity(), c.mostCapacity);
        for (int i = 0; i < c.count; ++i) {
            const TSUP& s = subs[static_cast<size_t>(i)];
            ASSERT_EQ(s.num, i + 1);
            ASSERT_EQ(s.startPTS, static_cast<uint32_t>(90000 * 3 * i));
            ASSERT_EQ(s.endPTS, s.startPTS + 90000);
            ASSERT_EQ(s.obj[0].partLen[0], static_cast<int64_t>(i < c.denseFirst ? kRle.size() : large.size()));
        }
    }
}

TEST(BadInput, CraftedStreamsCostWhatTheyHold) {
    struct Case {
        const char* name;
        Bytes bytes;
        size_t minRecordBytes;   // the fewest bytes that make one record
        int parts;               // fragments of each record's picture
        bool sizedAhead;         // the table takes its final size before the records come
    };
    const size_t size = 64 * 1024;
    const Case cases[] = {
        {"Blu-ray compositions", craftedBluRay(size), 32, 64, false},
        {"subpicture packets", craftedSubpictures(size), 15, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loader l;
        ASSERT_EQ(l.load(c.bytes), LoadResult::Loaded);
        const auto& subs = l.prog.Subs;
        EXPECT_LE(subs.size(), c.bytes.size() / c.minRecordBytes);
        EXPECT_GE(subs.size(), c.bytes.size() / c.minRecordBytes - 64);
        if (c.sizedAhead) {
            EXPECT_EQ(subs.capacity(), subs.size());
        }
        for (const TSUP& s : subs) {
            ASSERT_EQ(s.obj[0].parts, c.parts) << s.num;
            if (c.parts == 0) continue;
            EXPECT_EQ(s.obj[0].partLen[63], 1) << s.num;
            EXPECT_TRUE(s.obj[0].partPos.sharesStorageWith(subs[0].obj[0].partPos)) << s.num;
            EXPECT_TRUE(s.obj[0].partLen.sharesStorageWith(subs[0].obj[0].partLen)) << s.num;
        }
    }
}

TEST(BadInput, UnsupportedFormatIsAnError) {
    Loader l;
    EXPECT_EQ(l.load({'x'}), LoadResult::Unsupported);
    EXPECT_NE(l.host.logText().find("Unsupported file format.\n"), std::string::npos);
    EXPECT_TRUE(l.host.status.errorBadge);
    EXPECT_EQ(l.host.beeps, 1);
}

namespace {

// DCSQ 1 (STM 0): STA_DSP, SET_DAREA, SET_DSPXA, SET_COLOR2, SET_CONTR2, CMD_END;
// DCSQ 2 (STM 100): STP_DSP, CMD_END, its next pointer to itself.
std::vector<SpBuilder::Dcsq> standardSequences(bool hd, uint32_t topOffset, uint32_t bottomOffset) {
    Bytes first = SpBuilder::staDsp();
    for (const Bytes& c : {SpBuilder::setDarea(hd, 100, 1819, 900, 1019), SpBuilder::setDspxa(hd, topOffset, bottomOffset),
                           SpBuilder::setColor2({}), SpBuilder::setContr2({}), SpBuilder::cmdEnd()})
        first.insert(first.end(), c.begin(), c.end());
    Bytes second = SpBuilder::stpDsp();
    second.push_back(0xFF);
    return {{0, first}, {100, second, true}};
}

}  // namespace

TEST(SubpictureReader, HdDvdAndDvdStylePackets) {
    for (bool hd : {true, false}) {
        SCOPED_TRACE(hd ? "HD DVD" : "DVD-style");
        Loader l;
        SpBuilder b;
        const uint32_t header = hd ? 10 : 4;
        b.packet(900000, hd, Bytes(40, 0x11), standardSequences(hd, header, header + 24));
        ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
        ASSERT_EQ(l.prog.Subs.size(), 1u);
        const TSUP& s = l.prog.Subs[0];
        const auto spu = static_cast<int32_t>(b.spuStarts()[0]);
        EXPECT_EQ(l.prog.SubKind, hd ? 1 : 0);
        EXPECT_EQ(s.startPTS, 900000u);
        EXPECT_EQ(s.endPTS, 900000u + 100u * 1024u);
        EXPECT_EQ(s.endTime, ticksToSrtTime(900000u + 102400u));
        EXPECT_EQ(s.obj[0].x1, 100);
        EXPECT_EQ(s.obj[0].x2, 1819);
        EXPECT_EQ(s.obj[0].y1, 900);
        EXPECT_EQ(s.obj[0].y2, 1019);
        EXPECT_EQ(s.obj[0].parts, 2);
        EXPECT_EQ(s.obj[0].partPos[0], spu + static_cast<int32_t>(header));
        EXPECT_EQ(s.obj[0].partPos[1], spu + static_cast<int32_t>(header) + 24);
        EXPECT_EQ(s.obj[0].partLen[0], 40);
        EXPECT_EQ(s.obj[0].partLen[1], 0);
        // Offsets of the operands within the control area.
        const int32_t dcsqHeader = 2 + (hd ? 4 : 2);
        EXPECT_EQ(s.ctrlPalOffset, dcsqHeader + 1 + 7 + (hd ? 9 : 5) + 1);
        EXPECT_EQ(s.ctrlAlphaOffset, s.ctrlPalOffset + 768 + 1);
        EXPECT_EQ(s.palCount, 256);
        EXPECT_EQ(s.text, "line 1");
        EXPECT_EQ(s.font, 4);
        EXPECT_FALSE(l.prog.controls.bOCRall && !hd);
    }
}

TEST(SubpictureReader, ForcedStartMarksTheSubtitleForced) {
    Loader l;
    SpBuilder b;
    for (const Bytes& command : {Bytes{0x00, 0xFF}, Bytes{0x01, 0xFF}})   // FSTA_DSP, STA_DSP
        b.packet(90000, true, Bytes(4, 0), {{0, command, true}});
    ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
    ASSERT_EQ(l.prog.Subs.size(), 2u);
    EXPECT_EQ(l.prog.Subs[0].forced, 1);
    EXPECT_EQ(l.prog.Subs[1].forced, 0);
    EXPECT_EQ(l.prog.Subs[0].startPTS, 90000u);
}

TEST(SubpictureReader, MissingStopEndsOneMillisecondBeforeTheNextStart) {
    Loader l;
    SpBuilder b;
    Bytes start = SpBuilder::staDsp();
    start.push_back(0xFF);
    b.packet(90000, true, Bytes(4, 0), {{0, start, true}});
    b.packet(450000, true, Bytes(4, 0), {{0, start, true}});
    ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
    ASSERT_EQ(l.prog.Subs.size(), 2u);
    EXPECT_EQ(l.prog.Subs[0].endPTS, 450000u - 90u);
    EXPECT_EQ(l.prog.Subs[1].endPTS, 0u);
}

TEST(SubpictureReader, UnknownCommandStopsButKeepsRecords) {
    Loader l;
    SpBuilder b;
    Bytes ok = SpBuilder::staDsp();
    ok.push_back(0xFF);
    b.packet(90000, true, Bytes(4, 0), {{0, ok, true}});
    b.packet(180000, true, Bytes(4, 0), {{0, {0x01, 0x42, 0xFF}, true}});
    b.packet(270000, true, Bytes(4, 0), {{0, ok, true}});
    ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
    ASSERT_EQ(l.prog.Subs.size(), 2u);
    EXPECT_EQ(l.prog.Subs[1].startPTS, 180000u);
    EXPECT_EQ(l.prog.Subs[1].text, "");
    EXPECT_EQ(l.prog.Subs[1].font, 0);
    // The message stays visible above the count of subtitles loaded.
    EXPECT_NE(l.host.logText().find("Unknown command: 42\n2 subtitles loaded.\n"), std::string::npos);
}

TEST(SubpictureReader, DetailsDumpPacketsAndCommands) {
    for (bool hd : {true, false}) {
        SCOPED_TRACE(hd ? "HD DVD" : "DVD-style");
        Loader l;
        l.opt.cbDetails = true;
        SpBuilder b;
        Bytes first = SpBuilder::staDsp();
        for (const Bytes& c : {SpBuilder::setDarea(hd, 1, 2, 3, 4), SpBuilder::setDspxa(hd, 0x10, 0x20), SpBuilder::cmdEnd()})
            first.insert(first.end(), c.begin(), c.end());
        b.packet(0x1234, hd, Bytes(4, 0), {{0, first}, {7, {0x02, 0xFF}, true}});
        ASSERT_EQ(l.load(b.bytes()), LoadResult::Loaded);
        const std::string log = l.host.logText();
        const std::string expected = hd ?
            "------------------------------------\n"
            "0000000A: SPUH (1) PTS: 00001234\n"
            "00000014: PXD \n"
            "          ----\n"
            "00000018: SP_DCSQ_STM: 0000\n"
            "0000001A: SP_NXT_DCSQ_SA: 00000030\n"
            "0000001E: STA_DSP \n"
            "0000001F: SET_DAREA2 (1, 3) - (2, 4)\n"
            "00000026: SET_DSPXA2 top: 0000001A, bottom: 0000002A\n"
            "0000002F: CMD_END \n"
            "          ----\n"
            "00000030: SP_DCSQ_STM: 0007\n"
            "00000032: SP_NXT_DCSQ_SA: 00000030\n"
            "00000036: STP_DSP \n"
            "1 subtitles loaded.\n" :
            "------------------------------------\n"
            "0000000A: SPUH (1) PTS: 00001234\n"
            "0000000E: PXD \n"
            "          ----\n"
            "00000012: SP_DCSQ_STM: 0000\n"
            "00000012: SP_NXT_DCSQ_SA: 00000024\n"
            "00000016: STA_DSP \n"
            "00000017: SET_DAREA (1, 3) - (2, 4)\n"
            "0000001E: SET_DSPXA top: 001A, bottom: 002A\n"
            "00000023: CMD_END \n"
            "          ----\n"
            "00000024: SP_DCSQ_STM: 0007\n"
            "00000024: SP_NXT_DCSQ_SA: 00000024\n"
            "00000028: STP_DSP \n"
            "1 subtitles loaded.\n";
        const size_t at = log.find("------");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(log.substr(at, expected.size()), expected);
    }
}

TEST(Load, SecondLoadReplacesTheTable) {
    Loader l;
    PgsBuilder two = oneSubtitle(1000, 2000);
    const PgsBuilder more = oneSubtitle(3000, 4000);
    Bytes bytes = two.bytes();
    bytes.insert(bytes.end(), more.bytes().begin(), more.bytes().end());
    ASSERT_EQ(l.load(bytes, "a.sup"), LoadResult::Loaded);
    ASSERT_EQ(l.prog.Subs.size(), 2u);
    l.prog.Subs[0].locked = 1;
    l.prog.Subs[0].text = "edited";

    PgsBuilder one;
    one.pcs(5000, {{0, 0, 0, 0}}).end(5000);
    ASSERT_EQ(l.load(one.bytes(), "b.sup"), LoadResult::Loaded);
    ASSERT_EQ(l.prog.Subs.size(), 1u);
    const TSUP& s = l.prog.Subs[0];
    EXPECT_EQ(s.locked, 0);
    EXPECT_EQ(s.text, "line 1");
    EXPECT_EQ(s.endPTS, 0u);
    EXPECT_EQ(s.palPos, 0);
    EXPECT_EQ(s.obj[0].parts, 0);
    EXPECT_EQ(l.prog.BaseName, "b");
}

TEST(Load, EmptyNameOnlyMarksTheSrtStale) {
    Loader l;
    l.prog.srtDirty = false;
    EXPECT_EQ(Load(l.ctx), LoadResult::NoFile);
    EXPECT_TRUE(l.prog.srtDirty);
    EXPECT_TRUE(l.host.lines.empty());
}

TEST(Load, MissingFileThrowsWithItsName) {
    Loader l;
    l.prog.eSUPfile = "/nonexistent/missing.sup";
    try {
        Load(l.ctx);
        FAIL() << "no error";
    } catch (const PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot open file \"/nonexistent/missing.sup\"."), std::string::npos);
    }
    EXPECT_TRUE(l.host.lines.empty());
}

TEST(Load, LastDumpLineIsReplacedByTheCount) {
    Loader l;
    l.opt.cbDetails = true;
    ASSERT_EQ(l.load(oneSubtitle(1, 2).bytes()), LoadResult::Loaded);
    const auto& lines = l.host.lines;
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 2].text, "1 subtitles loaded.");
    EXPECT_EQ(lines[lines.size() - 3].text, "000000B0: WDS0 (0A)  id: 0  - ");
}

// Every file of the malformed folder (the fuzz target's finds go there too) loads to a
// clean end: a result, or the platform's read error.
TEST(BadInput, MalformedFolderLoadsCleanly) {
    const std::filesystem::path folder = std::filesystem::path(VANTREL_SOURCE_DIR) / "tests/data/malformed";
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().string());
        ++files;
        for (bool details : {false, true}) {
            Loader l;
            l.opt.cbDetails = details;
            l.prog.eSUPfile = entry.path().string();
            try {
                Load(l.ctx);
            } catch (const PlatformError& e) {
                EXPECT_STREQ(e.what(), "Stream read error");
            }
            EXPECT_FALSE(l.prog.Loading);
        }
    }
    EXPECT_GT(files, 0u);
}
