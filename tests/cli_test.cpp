// The headless front end: info, options, exit statuses.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/run_command.h"
#include "support/stream_builder.h"

using namespace vantrel::testing;

namespace {

CommandResult cli(const std::vector<std::string>& args) { return runCommand(VANTREL_CLI, args); }

std::string twoWindowStream() {
    PgsBuilder b;
    b.pcs(90000, {{1, 0, 0, 0}, {2, 1, 0, 0}});
    b.wds(90000, {{0, 100, 100, 300, 50}, {1, 100, 900, 400, 60}});
    b.pds(90000, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}});
    b.ods(90000, 1, true, true, Bytes(10, 1), 300, 50);
    b.ods(90000, 2, true, true, Bytes(12, 1), 400, 60);
    b.end(90000);
    b.pcs(180000, {});
    b.end(180000);
    return writeTempFile("two windows.sup", b.bytes());
}

}  // namespace

TEST(Cli, InfoJsonCarriesEveryRecordField) {
    const auto r = cli({"info", twoWindowStream(), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["SubKind"], 2);
    EXPECT_EQ(j["BaseName"], "two windows");
    ASSERT_EQ(j["Subs"].size(), 1u);
    const auto& s = j["Subs"][0];
    for (const char* field : {"num", "palPos", "alphaPos", "palCount", "startPTS", "endPTS", "startTime", "endTime",
                              "text", "font", "ocrOK", "locked", "lineCount", "charCount", "obj"})
        EXPECT_TRUE(s.contains(field)) << field;
    EXPECT_FALSE(s.contains("objWin"));
    EXPECT_EQ(s["endTime"], "00:00:02,000");
    EXPECT_EQ(s["obj"][1]["y1"], 900);
    EXPECT_EQ(s["obj"][1]["id"], 2);
    EXPECT_EQ(s["obj"][1]["partLen"], nlohmann::json::array({12}));
    EXPECT_EQ(j["truncated"], false);
    EXPECT_EQ(r.err.find("1 subtitles loaded.") != std::string::npos, true) << r.err;
}

TEST(Cli, DetailsGoToTheLog) {
    const auto plain = cli({"info", twoWindowStream()});
    const auto detailed = cli({"info", twoWindowStream(), "--set", "Details=1"});
    ASSERT_EQ(detailed.status, 0);
    EXPECT_EQ(plain.err.find(": WDS1"), std::string::npos);
    EXPECT_NE(detailed.err.find(": WDS1 (13)  id: 1  - "), std::string::npos) << detailed.err;
    EXPECT_EQ(plain.out, detailed.out);
}

TEST(Cli, ExitStatuses) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* err;   // text the error output must hold
    };
    const std::string bad = writeTempFile("bad.sup", {'X', 'Y', 'Z'});
    const std::string broken = writeTempFile("broken.sup", {'P', 'G', 0, 0, 0, 0, 0, 0, 0, 0, 0x16, 0xFF, 0xFF});
    PgsBuilder b;
    b.pcs(90000, {{0, 0, 100, 900}}).ods(90000, 0, true, true, Bytes(100, 1), 300, 50);
    Bytes bytes = b.bytes();
    bytes.resize(bytes.size() - 60);
    const std::string cut = writeTempFile("cut.sup", bytes);
    const Case cases[] = {
        {"no command", {}, 2, "Usage"},
        {"unknown command", {"frobnicate"}, 2, "unknown command"},
        {"no file", {"info"}, 2, "FILE"},
        {"unknown option", {"info", bad, "--bogus"}, 2, "unknown option --bogus"},
        {"unknown setting", {"info", bad, "--set", "Nope=1"}, 2, "Unknown setting: Nope"},
        {"unsupported", {"info", bad}, 1, "Unsupported file format."},
        {"missing", {"info", "/nonexistent/x.sup"}, 1, "Cannot open file \"/nonexistent/x.sup\"."},
        {"truncated", {"info", broken}, 1, "Stream read error"},
        {"cut inside an object", {"info", cut}, 3, "The stream ends inside a segment at byte "},
        {"help", {"info", "--help"}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = cli(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // The cut stream's table is printed all the same, and the JSON says it is cut.
    const auto r = cli({"info", cut, "--json"});
    EXPECT_EQ(r.status, 3);
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["truncated"], true);
    EXPECT_EQ(j["Subs"].size(), 1u);
}

TEST(Cli, InfoImportsSrt) {
    const std::string srt = "1\n00:00:01,000 --> 00:00:02,000\nHi\n";
    const auto r = cli({"info", writeTempFile("a.srt", Bytes(srt.begin(), srt.end())), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["SubKind"], 3);
    EXPECT_EQ(j["Subs"][0]["palCount"], 256);
    EXPECT_EQ(j["Subs"][0]["ocrOK"], 1);
    EXPECT_EQ(j["Subs"][0]["endPTS"], 180000);
    EXPECT_EQ(j["Subs"][0]["obj"][0]["y2"], 1025);
    EXPECT_EQ(cli({"info", writeTempFile("empty.srt", {})}).status, 1);
}

TEST(Cli, CheckReportsViolationsAndExitsByThem) {
    // One 10x10 subtitle decoded exactly in time: the plane clear (5832 ticks) and the
    // window transfer (1 tick) before its PTS; its clear the window's 1 tick before.
    PgsBuilder b;
    Bytes rle;
    for (int y = 0; y < 10; ++y) rle.insert(rle.end(), {0x00, 0x80 | 10, 0x01, 0x00, 0x00});
    b.dts(94167).pcs(100000, {{0, 0, 100, 900}});
    b.dts(94167).wds(99999, {{0, 100, 900, 10, 10}});
    b.pds(94167, {{1, 235, 128, 128, 255}});
    b.dts(94167).ods(94168, 0, true, true, rle, 10, 10);
    b.end(94168);
    b.dts(189999).pcs(190000, {}, 0x00);
    b.wds(189999, {{0, 100, 900, 10, 10}});
    b.end(189999);
    const std::string clean = writeTempFile("clean.sup", b.bytes());

    auto r = cli({"check", clean});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "No violations: 2 display sets in 1 epochs.\n");

    // The two-window stream carries no decoding times at all.
    r = cli({"check", twoWindowStream(), "--json"});
    EXPECT_EQ(r.status, 1);
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_FALSE(j["clean"].get<bool>());
    EXPECT_EQ(j["displaySets"], 2);
    ASSERT_FALSE(j["violations"].empty());
    EXPECT_EQ(j["violations"][0]["offset"], 0);
    EXPECT_EQ(j["violations"][0]["rule"], "decode-time");

    EXPECT_EQ(cli({"check"}).status, 2);
    EXPECT_EQ(cli({"check", clean, "--bogus"}).status, 2);
    r = cli({"check", "/nonexistent/x.sup"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot open file"), std::string::npos) << r.err;
}
