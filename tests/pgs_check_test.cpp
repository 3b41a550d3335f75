// The decoder-model checker: a clean stream, one broken rule per case, a stream whose every
// DTS lies after its PTS, and the file reader.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "stream/load.h"
#include "stream/pgs_check.h"
#include "support/stream_builder.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

// What a hand-built stream of two subtitles can get wrong; the defaults make a clean stream.
struct Knobs {
    uint16_t width = 200, height = 40;
    uint32_t firstStart = 900000;      // PTS of the first subtitle
    uint32_t secondStart = 1200000;    // PTS of the second one
    uint32_t duration = 180000;
    int64_t pcsLateBy = 0;             // ticks the first PCS's DTS moves later
    int64_t pcsEarlierBy = 0;          // ticks it moves earlier
    int64_t odsShortBy = 0;            // ticks the first object decodes too fast
    uint8_t firstState = 0x80;
    size_t windows = 1;
    size_t compositionObjects = 1;
    uint8_t compositionWindow = 0;
    size_t palettes = 1;
    bool undefinedEntry = false;       // the object uses entry 2, the palette defines 0 and 1
    bool shortLine = false;            // one line of the object lacks a pixel
    int declaredExtra = 0;             // added to the first fragment's data length
    bool strayFragment = false;        // a continuation fragment without a first one
    size_t extraObjects = 0;           // tiny objects decoded besides the shown one
    size_t fullScreenObjects = 0;      // 1920x1080 objects decoded besides the shown one
    bool duplicateClear = false;       // a second clearing display set at the same PTS
    bool clearBeforeShow = false;      // the clearing set's PTS lies before the showing one's
    bool segmentBeforePcs = false;
    bool truncatedTail = false;
    bool hugeObject = false;           // 1920x1080 literal pixels: over 2 MB decoded at one time
    int64_t objectLateBy = 0;          // ticks the first object's last fragment lies after its PCS
    uint8_t paletteId = 0;             // of the first subtitle's palette and composition
    int paletteUpdateOf = -1;          // a palette update of this object id between the subtitles
    // The second subtitle in the first one's epoch (a normal composition), and what it changes.
    bool secondInEpoch = false;
    uint16_t secondHeight = 0;         // of its object, inside the same window (0: the same)
    uint8_t secondColour = 1;          // of its object, with the same object version
    uint16_t secondWindowShift = 0;    // lines its window moves down
    int32_t secondNumber = -1;         // its composition number (-1: the next one)
};

// One line of `width` pixels of colour `colour` as run-length code, with its end-of-line code.
void codeLine(Bytes& out, uint32_t width, uint8_t colour) {
    if (width < 64) out.insert(out.end(), {0x00, static_cast<uint8_t>(0x80 | width), colour});
    else out.insert(out.end(), {0x00, static_cast<uint8_t>(0xC0 | (width >> 8)), static_cast<uint8_t>(width), colour});
    out.insert(out.end(), {0x00, 0x00});
}

Bytes codeObject(uint32_t width, uint32_t height, uint8_t colour, bool shortLine = false) {
    Bytes out;
    for (uint32_t y = 0; y < height; ++y) codeLine(out, shortLine && y == 1 ? width - 1 : width, colour);
    return out;
}

int64_t objectTicks(int64_t w, int64_t h) { return PgsModel::objectDecodeTicks(w * h); }
int64_t planeTicks(int64_t w, int64_t h) { return PgsModel::planeTicks(w * h); }

// Writes the ODS segments of one object at (pts, dts), split into fragments when large.
void putObject(PgsBuilder& b, uint32_t pts, uint32_t dts, uint16_t id, uint16_t w, uint16_t h, const Bytes& data,
               int declaredExtra = 0) {
    const size_t chunk = 65000;
    for (size_t at = 0; at < data.size() || at == 0; at += chunk) {
        const size_t n = std::min(chunk, data.size() - at);
        const bool first = at == 0;
        const bool last = at + n == data.size();
        b.dts(dts).ods(pts, id, first, last, Bytes(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n)), w,
                       h, static_cast<uint32_t>(static_cast<int64_t>(data.size()) + 4 + declaredExtra));
        if (last) break;
    }
}

// A showing display set at S and its clearing set at S + duration. The decoding times follow
// the model exactly: the PCS's DTS lies the plane clear, the object wait and the window
// transfer before its PTS.
void subtitle(PgsBuilder& b, const Knobs& k, uint32_t S, bool first) {
    const int64_t w = k.width, h = k.height;   // of the window
    const bool huge = first && k.hugeObject;
    const uint16_t objectHeight = !first && k.secondHeight ? k.secondHeight : k.height;
    const uint8_t objectColour = first ? 1 : k.secondColour;
    const Bytes object = huge ? Bytes{} : codeObject(k.width, objectHeight, objectColour, first && k.shortLine);
    const int64_t decode = huge ? objectTicks(1920, 1080) : objectTicks(w, objectHeight);
    const int64_t others = static_cast<int64_t>(k.extraObjects) + static_cast<int64_t>(k.fullScreenObjects) *
                                                                 objectTicks(1920, 1080);
    const int64_t transfer = planeTicks(w, h) * static_cast<int64_t>(k.compositionObjects);
    const uint8_t state = first ? k.firstState : k.secondInEpoch ? 0x00 : 0x80;
    const int64_t clear = state == 0x80 ? planeTicks(1920, 1080) : planeTicks(w, h) * static_cast<int64_t>(k.windows);
    const int64_t lead = std::max(clear, decode + others) + transfer;
    int64_t T = S - lead;
    if (first) T += k.pcsLateBy - k.pcsEarlierBy;
    const auto t = static_cast<uint32_t>(T);

    if (first && k.segmentBeforePcs) b.end(t - 10);
    std::vector<PgsBuilder::CompObject> comp(first ? k.compositionObjects : 1,
                                             {0, first ? k.compositionWindow : uint8_t{0}, 100, 900});
    b.paletteRef(first ? k.paletteId : 0);
    b.dts(t).pcs(S, comp, state, first ? -1 : k.secondNumber);
    std::vector<PgsBuilder::Window> windows;
    const uint16_t top = first ? 900 : static_cast<uint16_t>(900 + k.secondWindowShift);
    for (size_t i = 0; i < (first ? k.windows : 1); ++i)
        windows.push_back({static_cast<uint8_t>(i), 100, static_cast<uint16_t>(top + 50 * i), k.width, k.height});
    b.dts(t).wds(static_cast<uint32_t>(S - planeTicks(w, h)), windows);
    for (size_t i = 0; i < (first ? k.palettes : 1); ++i)
        b.pds(t, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}},
              static_cast<uint8_t>(first && k.paletteId ? k.paletteId : i));
    // Objects decode one after the other; the shown object 0 comes last.
    int64_t at = T;   // objects start decoding with the PCS
    for (size_t i = 0; first && i < k.extraObjects; ++i, ++at)
        putObject(b, static_cast<uint32_t>(at + 1), static_cast<uint32_t>(at), static_cast<uint16_t>(i + 1), 1, 1,
                  codeObject(1, 1, 1));
    for (size_t i = 0; first && i < k.fullScreenObjects; ++i, at += objectTicks(1920, 1080))
        putObject(b, static_cast<uint32_t>(at + objectTicks(1920, 1080)), static_cast<uint32_t>(at),
                  static_cast<uint16_t>(i + 1), 1920, 1080, codeObject(1920, 1080, 1));
    if (huge) {
        Bytes literal;
        for (int y = 0; y < 1080; ++y) {
            for (int x = 0; x < 1920; ++x) literal.push_back(1);
            literal.insert(literal.end(), {0x00, 0x00});
        }
        putObject(b, static_cast<uint32_t>(at + decode), static_cast<uint32_t>(at), 0, 1920, 1080, literal);
    } else {
        const bool undefined = first && k.undefinedEntry;
        const int64_t ready = first && k.objectLateBy ? S + k.objectLateBy : at + decode - (first ? k.odsShortBy : 0);
        putObject(b, static_cast<uint32_t>(ready), static_cast<uint32_t>(at), 0, k.width, objectHeight,
                  undefined ? codeObject(k.width, k.height, 2) : object, first ? k.declaredExtra : 0);
    }
    if (first && k.strayFragment) b.dts(static_cast<uint32_t>(at + decode)).ods(static_cast<uint32_t>(at + decode), 7, false, true, {1});
    b.end(static_cast<uint32_t>(std::max(at + decode, first && k.objectLateBy ? S + k.objectLateBy : 0)));

    if (first && k.paletteUpdateOf >= 0) {
        // Half way through, the colours change: a composition of the window's objects, its
        // palette and nothing else, decoded while the window clears and transfers.
        const auto U = static_cast<uint32_t>(S + k.duration / 2);
        const auto need = static_cast<uint32_t>(2 * planeTicks(w, h) * static_cast<int64_t>(k.windows));
        b.paletteUpdate(true).dts(U - need).pcs(U, {{static_cast<uint16_t>(k.paletteUpdateOf), 0, 100, 900}}, 0x00);
        b.paletteUpdate(false).pds(U - need, {{0, 16, 128, 128, 0}, {1, 81, 90, 240, 255}}, 0, 1);
        b.end(U - need);
    }

    const uint32_t E = first && k.clearBeforeShow ? S - 1 : S + k.duration;
    const auto windowClear = static_cast<uint32_t>(planeTicks(w, h) * static_cast<int64_t>(first ? k.windows : 1));
    for (int n = 0; n < (first && k.duplicateClear ? 2 : 1); ++n) {
        b.dts(E - windowClear).pcs(E, {}, 0x00);
        b.wds(E - windowClear, windows);
        b.end(E - windowClear);
    }
}

Bytes twoSubtitles(const Knobs& k) {
    PgsBuilder b;
    subtitle(b, k, k.firstStart, true);
    subtitle(b, k, k.secondStart, false);
    if (k.truncatedTail) {
        Bytes all = b.bytes();
        PgsBuilder tail;
        tail.segment(k.secondStart + k.duration, 0x30, {1, 2, 3, 4}, 10);
        all.insert(all.end(), tail.bytes().begin(), tail.bytes().end());
        return all;
    }
    return b.bytes();
}

std::set<std::string> rules(const CheckReport& r) {
    std::set<std::string> out;
    for (const auto& v : r.violations) out.insert(v.rule);
    return out;
}

std::string describe(const CheckReport& r) {
    std::string out;
    for (const auto& line : checkReportLines(r)) out += line + "\n";
    return out;
}

}  // namespace

TEST(PgsCheck, ModelStreamIsCleanInMemoryAndOnDisk) {
    const Bytes stream = twoSubtitles({});
    const CheckReport r = checkPgs(stream);
    EXPECT_TRUE(r.clean()) << describe(r);
    EXPECT_EQ(r.displaySets, 4u);
    EXPECT_EQ(r.epochs, 2u);
    const CheckReport file = checkPgsFile(writeTempFile("clean.sup", stream));
    EXPECT_TRUE(file.clean()) << describe(file);
    EXPECT_EQ(file.segments, r.segments);
    EXPECT_EQ(checkReportLines(r).back(), "No violations: 4 display sets in 2 epochs.");
}

TEST(PgsCheck, RedefinitionsThatKeepTheModelAreClean) {
    // Both subtitles in one epoch, the second object at the first one's size; a palette
    // update of the object that shows.
    Knobs k;
    k.secondInEpoch = true;
    k.paletteUpdateOf = 0;
    const CheckReport r = checkPgs(twoSubtitles(k));
    EXPECT_TRUE(r.clean()) << describe(r);
    EXPECT_EQ(r.epochs, 1u);
    EXPECT_EQ(r.displaySets, 5u);
}

TEST(PgsCheck, EachBrokenRuleIsReportedAloneWithItsOffset) {
    struct Case {
        const char* name;
        std::function<void(Knobs&)> change;
        const char* rule;
    };
    const Case cases[] = {
        {"composition one tick short", [](Knobs& k) { k.pcsLateBy = 1; }, "decode-time"},
        {"object decoded one tick too fast", [](Knobs& k) { k.odsShortBy = 1; }, "decode-time"},
        {"large object without its decode time", [](Knobs& k) { k.width = 1400; k.height = 1000; k.odsShortBy = 2000; },
         "decode-time"},
        {"decoded a second ahead", [](Knobs& k) { k.pcsEarlierBy = 90000; }, "lead"},
        {"next subtitle decodes before the clear", [](Knobs& k) { k.secondStart = k.firstStart + k.duration + 100; },
         "dts-order"},
        {"two display sets at one PTS", [](Knobs& k) { k.duplicateClear = true; }, "same-pts"},
        {"clear before the show", [](Knobs& k) { k.clearBeforeShow = true; }, "pts-order"},
        {"no epoch start first", [](Knobs& k) { k.firstState = 0x00; }, "epoch"},
        {"three composition objects", [](Knobs& k) { k.compositionObjects = 3; }, "objects"},
        {"three windows", [](Knobs& k) { k.windows = 3; }, "windows"},
        {"nine palettes", [](Knobs& k) { k.palettes = 9; }, "palettes"},
        {"undefined palette entry", [](Knobs& k) { k.undefinedEntry = true; }, "palette-entry"},
        {"line one pixel short", [](Knobs& k) { k.shortLine = true; }, "run-length"},
        {"data length off by one", [](Knobs& k) { k.declaredExtra = 1; }, "fragments"},
        {"fragment without a first one", [](Knobs& k) { k.strayFragment = true; }, "fragments"},
        {"65 object ids", [](Knobs& k) { k.extraObjects = 64; }, "object-ids"},
        {"object buffer over 4 MiB", [](Knobs& k) { k.fullScreenObjects = 3; }, "object-buffer"},
        {"coded data buffer over 1 MiB", [](Knobs& k) { k.hugeObject = true; }, "coded-buffer"},
        {"window not defined", [](Knobs& k) { k.compositionWindow = 1; }, "reference"},
        {"END before any PCS", [](Knobs& k) { k.segmentBeforePcs = true; }, "structure"},
        {"last segment cut short", [](Knobs& k) { k.truncatedTail = true; }, "segment-size"},
        {"object shown before its last fragment", [](Knobs& k) { k.objectLateBy = 10; }, "reference"},
        {"palette id 9", [](Knobs& k) { k.paletteId = 9; }, "palettes"},
        {"palette update of an object not shown", [](Knobs& k) { k.extraObjects = 1; k.paletteUpdateOf = 1; },
         "palette-update"},
        {"object id changes size in its epoch", [](Knobs& k) { k.secondInEpoch = true; k.secondHeight = 20; },
         "object-size"},
        {"new picture under the same object version", [](Knobs& k) { k.secondInEpoch = true; k.secondColour = 0; },
         "version"},
        {"window moves in its epoch", [](Knobs& k) { k.secondInEpoch = true; k.secondWindowShift = 10; },
         "window-change"},
        {"composition number repeated", [](Knobs& k) { k.secondInEpoch = true; k.secondNumber = 1; },
         "composition-number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Knobs k;
        c.change(k);
        const Bytes stream = twoSubtitles(k);
        const CheckReport r = checkPgs(stream);
        EXPECT_EQ(rules(r), std::set<std::string>{c.rule}) << describe(r);
        for (const auto& v : r.violations) {
            ASSERT_GE(v.offset, 0);
            ASSERT_LT(static_cast<size_t>(v.offset), stream.size());
            // Every offset names the marker of a segment.
            EXPECT_EQ(stream[static_cast<size_t>(v.offset)], 'P');
            EXPECT_EQ(stream[static_cast<size_t>(v.offset) + 1], 'G');
        }
    }
}

TEST(PgsCheck, ViolationsNameTheValuesInvolved) {
    Knobs k;
    k.pcsLateBy = 1;
    const CheckReport r = checkPgs(twoSubtitles(k));
    ASSERT_EQ(r.violations.size(), 1u) << describe(r);
    const int64_t needed = PgsModel::planeTicks(1920 * 1080) + PgsModel::planeTicks(200 * 40);
    EXPECT_EQ(r.violations[0].offset, 0);
    EXPECT_EQ(r.violations[0].message, "PCS PTS 900000 lies " + std::to_string(needed - 1) + " ticks after its DTS " +
                                           std::to_string(900000 - needed + 1) + ", the composition needs " +
                                           std::to_string(needed));
    EXPECT_EQ(checkReportLines(r).front(), "00000000  decode-time  " + r.violations[0].message);
}

TEST(PgsCheck, ObjectShownWithoutItsLastFragmentIsNotCompletelyDefined) {
    // Object 0 of the first subtitle was defined in full before; its new definition in the
    // second subtitle's set (same epoch) lacks the last fragment, and the set shows it.
    Knobs k;
    k.secondInEpoch = true;
    Bytes stream = twoSubtitles(k);
    size_t ods = 0, seen = 0;
    for (size_t at = 0; at + 13 <= stream.size(); at += 13 + ((size_t{stream[at + 11]} << 8) | stream[at + 12]))
        if (stream[at + 10] == 0x15 && ++seen == 2) ods = at;
    ASSERT_GT(ods, 0u);
    stream[ods + 13 + 3] = 0x80;   // u8 sequenceFlags: first fragment only
    const CheckReport r = checkPgs(stream);
    EXPECT_EQ(rules(r), (std::set<std::string>{"fragments", "reference"})) << describe(r);
    const std::string lines = describe(r);
    EXPECT_NE(lines.find("composition shows object 0 before it is completely defined"), std::string::npos) << lines;
}

TEST(PgsCheck, ObjectThatChangesSizeNamesBothSizesAndItsOffset) {
    Knobs k;
    k.secondInEpoch = true;
    k.secondHeight = 20;
    const Bytes stream = twoSubtitles(k);
    const CheckReport r = checkPgs(stream);
    ASSERT_EQ(r.violations.size(), 1u) << describe(r);
    const CheckViolation& v = r.violations[0];
    EXPECT_EQ(stream[static_cast<size_t>(v.offset) + 10], 0x15);   // the ODS of the new size
    // The first definition of object 0 is the ODS of the first display set.
    size_t first = 0;
    while (stream[first + 10] != 0x15) first += 13 + ((size_t{stream[first + 11]} << 8) | stream[first + 12]);
    EXPECT_EQ(v.message, "object 0 is 200x20 here, it was defined at 200x40 earlier in the epoch (at " +
                             hexUpper(first, 8) + ")");
}

namespace {

// Rewrites every segment's DTS with `dts(pts)`.
void setDts(Bytes& stream, const std::function<uint32_t(uint32_t)>& dts) {
    for (size_t at = 0; at + 13 <= stream.size();) {
        uint32_t pts = 0;
        for (int i = 0; i < 4; ++i) pts = (pts << 8) | stream[at + 2 + static_cast<size_t>(i)];
        const uint32_t value = dts(pts);
        for (int i = 0; i < 4; ++i) stream[at + 6 + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
        at += 13 + ((size_t{stream[at + 11]} << 8) | stream[at + 12]);
    }
}

}  // namespace

TEST(PgsCheck, StreamWithoutDecodingTimesIsJudgedOnTheRest) {
    // As rips leave them: DTS 0 on every segment. The timing rules would read every set as
    // decoding at its PTS; one note replaces them and the other rules still hold.
    struct Case {
        const char* name;
        std::function<void(Knobs&)> change;
        std::set<std::string> coded;     // rules broken with the decoding times kept
        std::set<std::string> uncoded;   // with every DTS 0
    };
    const Case cases[] = {
        {"clean", [](Knobs&) {}, {}, {}},
        {"composition one tick short", [](Knobs& k) { k.pcsLateBy = 1; }, {"decode-time"}, {}},
        {"undefined palette entry", [](Knobs& k) { k.undefinedEntry = true; }, {"palette-entry"}, {"palette-entry"}},
        {"object id changes size", [](Knobs& k) { k.secondInEpoch = true; k.secondHeight = 20; }, {"object-size"},
         {"object-size"}},
        {"three windows", [](Knobs& k) { k.windows = 3; }, {"windows"}, {"windows"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Knobs k;
        c.change(k);
        Bytes stream = twoSubtitles(k);
        const CheckReport coded = checkPgs(stream);
        EXPECT_EQ(rules(coded), c.coded) << describe(coded);
        EXPECT_TRUE(coded.notes.empty());
        setDts(stream, [](uint32_t) { return 0u; });
        const CheckReport uncoded = checkPgs(stream);
        EXPECT_EQ(rules(uncoded), c.uncoded) << describe(uncoded);
        ASSERT_EQ(uncoded.notes.size(), 1u);
        EXPECT_EQ(uncoded.notes[0].rule, "no-dts");
        EXPECT_EQ(checkReportLines(uncoded).end()[-2],
                  "Note: no decoding times coded (every DTS is 0): the timing rules are not checked.");
    }
}

TEST(PgsCheck, StreamWhoseEveryDtsLiesAfterItsPtsIsFlagged) {
    Bytes stream = twoSubtitles({});
    size_t segments = 0;
    setDts(stream, [&](uint32_t pts) {
        ++segments;
        return pts + 1000;
    });
    const CheckReport r = checkPgs(stream);
    EXPECT_FALSE(r.clean());
    size_t after = 0;
    for (const auto& v : r.violations) after += v.rule == "dts-after-pts";
    EXPECT_EQ(after, segments) << describe(r);
    EXPECT_TRUE(rules(r).count("decode-time"));
}

TEST(PgsCheck, MalformedInputEndsCleanly) {
    const Bytes clean = twoSubtitles({});
    struct Case {
        const char* name;
        Bytes bytes;
        const char* rule;
    };
    const Case cases[] = {
        {"cut inside a header", Bytes(clean.begin(), clean.begin() + 20), "structure"},
        {"no marker", Bytes{'X', 'Y', 0, 0, 0, 0, 0, 0, 0, 0, 0x16, 0, 0}, "structure"},
        {"cut inside an object", Bytes(clean.begin(), clean.begin() + 200), "segment-size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CheckReport r = checkPgs(c.bytes);
        EXPECT_TRUE(rules(r).count(c.rule)) << describe(r);
        const CheckReport f = checkPgsFile(writeTempFile("malformed.sup", c.bytes));
        EXPECT_EQ(rules(f), rules(r));
    }
}
