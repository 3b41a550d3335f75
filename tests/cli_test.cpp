// The headless front end: info, options, exit statuses.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/version.h"
#include "support/run_command.h"
#include "support/stream_builder.h"

using namespace vantrel::testing;

namespace {

CommandResult cli(const std::vector<std::string>& args) { return runCommand(VANTREL_CLI, args); }

std::string crasher(const std::string& name) { return std::string(VANTREL_SOURCE_DIR) + "/tests/data/crashers/" + name; }

std::string twoWindowStream() {
    PgsBuilder b;
    b.pcs(90000, {{1, 0, 100, 100}, {2, 1, 100, 900}});
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
    // Only regular files are read: a folder or a FIFO (which would block the open for ever)
    // is refused with a message.
    const std::string folder = std::filesystem::path(bad).parent_path().string();
    const std::string fifo = folder + "/pipe.sup";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string noText = crasher("export-cues-without-text.srt");
    const std::string noTextOut = folder + "/no-text.sup";
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
        {"folder", {"info", folder}, 1, "Is a directory"},
        {"fifo", {"info", fifo}, 1, "Not a regular file"},
        {"cues without text", {"export", noText, "--format", "bd", "-o", noTextOut}, 1, "Nothing to export"},
        {"cut inside an object", {"info", cut}, 3, "The stream ends inside a segment at byte "},
        {"help", {"info", "--help"}, 0, ""},
        // An OCR language nobody offers is refused with the list, not read with another engine.
        {"unknown OCR language", {"ocr", bad, "--lang", "xx"}, 2, "it knows eng (English), fra (French)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = cli(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Done."), std::string::npos) << r.err;
    }
    // The cut stream's table is printed all the same, and the JSON says it is cut.
    const auto r = cli({"info", cut, "--json"});
    EXPECT_EQ(r.status, 3);
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["truncated"], true);
    EXPECT_EQ(j["Subs"].size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(noTextOut));
    const auto version = cli({"--version"});
    EXPECT_EQ(version.status, 0);
    // The same version the window shows.
    EXPECT_EQ(version.out, std::string("vantrel-cli ") + vantrel::kVersionText + "\n");
}

// Inputs that once crashed the program or ended in a wrong result reported as success.
TEST(Cli, CrashInputsEndCleanly) {
    struct Case {
        const char* name;
        std::vector<std::string> args;   // the input file first; the output goes to OUT
        int status;
        const char* log;                 // text the log must hold
    };
    const Case cases[] = {
        {"wide Blu-ray window", {"export-bd-area-overflow-wide-window.sup", "--format", "bd"}, 0, "Done."},
        // Its window lies past the screen edge, but the object is placed where its composition
        // puts it, on the screen, and is exported from there.
        {"window past the screen edge", {"export-bd-window-past-edge.sup", "--format", "bd"}, 0, "Done."},
        {"LastLine at the int limit",
         {"srt-lastline-linespc-overflow.srt", "--format", "bd", "--set", "LastLine=2147483647"}, 0, "Done."},
        {"LineSpc at the int limit",
         {"srt-lastline-linespc-overflow.srt", "--format", "bd", "--set", "LineSpc=2147483647"}, 0, "Done."},
        {"Spacing at the int limit",
         {"srt-lastline-linespc-overflow.srt", "--format", "hddvd", "--set", "Spacing=-2147483648"}, 0, "Done."},
        {"cue longer than an HD DVD stop delay", {"hddvd-end-time-20min-cue.srt", "--format", "hddvd"}, 0,
         "Subtitle 1 lasts longer than an HD DVD subpicture can be shown; it is written as 2 subpictures"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"export", crasher(c.args[0])};
        args.insert(args.end(), c.args.begin() + 1, c.args.end());
        const std::string out = (std::filesystem::path(writeTempFile("x", {})).parent_path() / "out.sup").string();
        args.insert(args.end(), {"-o", out});
        const auto r = cli(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.log), std::string::npos) << r.err;
        if (c.status != 0) {
            EXPECT_FALSE(std::filesystem::exists(out));
            continue;
        }
        const auto back = cli({"info", out, "--json"});
        ASSERT_EQ(back.status, 0) << back.err;
        EXPECT_FALSE(nlohmann::json::parse(back.out)["Subs"].empty());
    }

    // The 20-minute cue is two subpictures: the first with the longest delay an HD DVD stream
    // holds, the second from there to the cue's end (to the 1024 ticks the delay counts).
    const std::string hd = writeTempFile("long.sup", {});
    ASSERT_EQ(cli({"export", crasher("hddvd-end-time-20min-cue.srt"), "--format", "hddvd", "-o", hd}).status, 0);
    const auto j = nlohmann::json::parse(cli({"info", hd, "--json"}).out);
    EXPECT_EQ(j["Subs"][0]["endPTS"], 90000u + (0xFFFFu << 10));
    EXPECT_EQ(j["Subs"][1]["startPTS"], 90000u + (0xFFFFu << 10));
    EXPECT_NEAR(j["Subs"][1]["endPTS"].get<double>(), 20 * 60 * 90000.0, 512);
}

// JSON is valid UTF-8 whatever bytes the table or the file name hold.
TEST(Cli, InfoJsonConvertsEveryText) {
    const auto r = cli({"info", "--json", crasher("info-json-non-ascii-timing.srt")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["Subs"][0]["text"], "Caf\xC3\xA9");

    // Quotes, backslashes and control characters are escaped between runs of plain text.
    const std::string srt = "1\n00:00:01,000 --> 00:00:02,000\nA \"quoted\" \\ line\tand\x01 more\n";
    const std::string named = writeTempFile("caf\xC3\xA9 [1].srt", Bytes(srt.begin(), srt.end()));
    const auto n = cli({"info", "--json", named});
    ASSERT_EQ(n.status, 0) << n.err;
    const auto k = nlohmann::json::parse(n.out);
    EXPECT_EQ(k["BaseName"], named);
    EXPECT_EQ(k["Subs"][0]["text"], "A \"quoted\" \\ line\tand\x01 more");
    // The log shows the name as written, brackets and all.
    EXPECT_NE(n.err.find("Loading caf\xC3\xA9 [1].srt"), std::string::npos) << n.err;
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

    // The two-window stream carries no decoding times at all: one note says so, and its
    // objects (a few bytes for whole pictures) are still judged.
    r = cli({"check", twoWindowStream(), "--json"});
    EXPECT_EQ(r.status, 1);
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_FALSE(j["clean"].get<bool>());
    EXPECT_EQ(j["displaySets"], 2);
    ASSERT_EQ(j["notes"].size(), 1u);
    EXPECT_EQ(j["notes"][0]["rule"], "no-dts");
    ASSERT_FALSE(j["violations"].empty());
    for (const auto& v : j["violations"]) EXPECT_EQ(v["rule"], "run-length");

    EXPECT_EQ(cli({"check"}).status, 2);
    EXPECT_EQ(cli({"check", clean, "--bogus"}).status, 2);
    r = cli({"check", "/nonexistent/x.sup"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot open file"), std::string::npos) << r.err;
}

namespace {

// A Blu-ray stream of a few lines drawn with the glyph atlas.
std::string atlasStream(const std::string& name) {
    const std::string srt =
        "1\n00:00:01,000 --> 00:00:03,000\nWhere are you going?\n\n"
        "2\n00:00:04,000 --> 00:00:06,000\nI don't know yet.\n\n"
        "3\n00:00:07,000 --> 00:00:09,000\nWe are going now.\n";
    const std::string sup = writeTempFile(name + ".sup", {});
    const auto r = cli({"export", writeTempFile(name + ".srt", Bytes(srt.begin(), srt.end())), "--format", "bd", "-o", sup});
    EXPECT_EQ(r.status, 0) << r.err;
    return sup;
}

// A library file holding every glyph a `glyphs --json` listing names.
std::string libraryFrom(const nlohmann::json& listing, const std::string& path) {
    std::string text = "VANTREL GLYPH LIBRARY\nversion 1\n";
    size_t n = 0;
    for (const auto& g : listing["clusters"]) {
        if (!g["known"].get<bool>()) continue;
        text += "glyph " + std::to_string(g["width"].get<int>()) + " " + std::to_string(g["height"].get<int>()) + " " +
                std::to_string(g["rise"].get<int>()) + " -1 " + g["bitmap"].get<std::string>() + " " +
                g["label"].get<std::string>() + "\n";
        ++n;
    }
    text += "end " + std::to_string(n) + "\n";
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path;
}

std::string teacherRead(const CommandResult& r) {
    const size_t at = r.err.find("the teacher read ");
    return at == std::string::npos ? "?" : r.err.substr(at + 17, r.err.find(' ', at + 17) - at - 17);
}

}  // namespace

TEST(Cli, GlyphsListsTheClustersAndTheLibraryReplacesTheTeacher) {
    const std::string sup = atlasStream("glyphs listing");
    const auto listed = cli({"glyphs", sup, "--json", "--no-glyphs"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    const auto j = nlohmann::json::parse(listed.out);
    EXPECT_GT(j["teacherLines"].get<int>(), 0);
    int64_t count = 0;
    for (const auto& g : j["clusters"]) {
        count += g["count"].get<int64_t>();
        EXPECT_TRUE(g["naming"] == "teacher" || g["naming"] == "vote" || g["naming"] == "similar" ||
                    g["naming"] == "dictionary" || g["naming"] == "unknown")
            << g;
        EXPECT_FALSE(g["subtitles"].empty());
    }
    EXPECT_EQ(count, j["glyphs"].get<int64_t>());
    // How many glyphs nobody could name: the unknown clusters' occurrences.
    int64_t unknown = 0;
    for (const auto& g : j["clusters"])
        if (g["naming"] == "unknown") unknown += g["count"].get<int64_t>();
    EXPECT_EQ(j["unknownGlyphs"].get<int64_t>(), unknown);
    EXPECT_EQ(j["picturesWithoutText"].get<int64_t>(), 0);

    const std::string config = writeTempFile("glyphs config", {}) + ".d";
    const std::string mine = libraryFrom(j, config + "/Corvane Labs/glyph-library.txt");
    const auto taught = cli({"glyphs", sup, "--json", "--glyphs", mine});
    ASSERT_EQ(taught.status, 0) << taught.err;
    const auto t = nlohmann::json::parse(taught.out);
    EXPECT_EQ(t["teacherLines"], 0);
    for (const auto& g : t["clusters"]) EXPECT_EQ(g["naming"], "library") << g;

    // ocr consults the user's own library unless told otherwise.
    auto withConfig = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"XDG_CONFIG_HOME=" + config, VANTREL_CLI});
        return runCommand("/usr/bin/env", args);
    };
    const auto own = withConfig({"ocr", sup});
    ASSERT_EQ(own.status, 0) << own.err;
    EXPECT_EQ(teacherRead(own), "0") << own.err;
    EXPECT_NE(own.out.find("Where are you going?"), std::string::npos) << own.out;
    EXPECT_NE(teacherRead(withConfig({"ocr", sup, "--no-glyphs"})), "0");
}

TEST(Cli, GlyphLibraryOptionsRefuseWhatTheyCannotUse) {
    const std::string sup = atlasStream("glyphs refused");
    const std::string bad = writeTempFile("bad library.txt", {'P', 'N', 'G', '\n'});
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"ocr", sup, "--glyphs", bad}, 1, "is no Vantrel glyph library"},
        {{"glyphs", sup, "--glyphs", bad + ".none"}, 1, "does not exist"},
        {{"ocr", sup, "--glyphs", bad, "--no-glyphs"}, 2, "exclude each other"},
        {{"glyphs"}, 2, "one FILE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.size() > 2 ? c.args[2] + " " + c.args.back() : c.args[0]);
        const auto r = cli(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // A damaged library of the user's own is skipped with a warning.
    const std::string config = writeTempFile("glyphs bad config", {}) + ".d";
    std::filesystem::create_directories(config + "/Corvane Labs");
    std::filesystem::copy_file(bad, config + "/Corvane Labs/glyph-library.txt");
    const auto r = runCommand("/usr/bin/env", {"XDG_CONFIG_HOME=" + config, VANTREL_CLI, "ocr", sup});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("It is not used."), std::string::npos) << r.err;
}

namespace {

namespace fs = std::filesystem;

fs::path seed(const std::string& name) { return fs::path(VANTREL_SOURCE_DIR) / "tests/data/seeds" / name; }

// The line of a batch table that names `file`, or empty.
std::string rowOf(const std::string& table, const std::string& file) {
    std::istringstream in(table);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(file + " ", 0) == 0) return line;
    return {};
}

}  // namespace

// A batch over a folder and its subfolder: every stream is read and its SRT written beside
// it; an SRT newer than its stream is kept unless --force; a file that fails fails the run
// while the others are still done.
TEST(CliBatch, SkipForceFailureAndExitStatus) {
    const fs::path dir = fs::path(writeTempFile("x", {})).parent_path() / "films é";
    fs::create_directories(dir / "sub");
    fs::copy_file(seed("pgs-tiny.sup"), dir / "one.sup");
    fs::copy_file(seed("pgs-screen-128x64.sup"), dir / "sub" / "two.fr.sup");
    std::ofstream(dir / "bad.sup") << "XYZ";
    std::ofstream(dir / "notes.srt") << "not read";
    const std::string one = (dir / "one.sup").string(), two = (dir / "sub" / "two.fr.sup").string(),
                      bad = (dir / "bad.sup").string();
    struct Case {
        const char* name;
        std::function<void()> before;
        std::vector<std::string> args;
        int status;
        std::vector<std::pair<std::string, std::string>> rows;   // file, what its row says
    };
    const auto old = [](const std::string& srt) {
        fs::last_write_time(srt, fs::file_time_type::clock::now() - std::chrono::hours(1));
    };
    const Case cases[] = {
        {"first run", [] {}, {dir.string(), "-j", "2"}, 1,
         {{bad, "failed: Unsupported file format."}, {one, "written one.srt"}, {two, "written two.fr.srt"}}},
        {"nothing newer", [&] { fs::remove(bad); }, {dir.string()}, 0,
         {{one, "skipped: one.srt is newer"}, {two, "skipped: two.fr.srt is newer"}}},
        {"a stream changed", [&] { old((dir / "one.srt").string()); }, {dir.string(), "-j", "1"}, 0,
         {{one, "written one.srt"}, {two, "skipped"}}},
        {"forced, files named", [] {}, {one, two, "--force"}, 0, {{one, "written"}, {two, "written"}}},
        {"a missing file", [] {}, {one, (dir / "gone.sup").string()}, 1,
         {{one, "skipped"}, {(dir / "gone.sup").string(), "failed: "}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        std::vector<std::string> args{"ocr", "--engine", "rules"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CommandResult r = cli(args);
        EXPECT_EQ(r.status, c.status) << r.err << r.out;
        EXPECT_EQ(r.out.rfind("file ", 0), 0u) << r.out;
        for (const auto& [file, says] : c.rows)
            EXPECT_NE(rowOf(r.out, file).find(says), std::string::npos) << file << "\n" << r.out;
        EXPECT_EQ(rowOf(r.out, (dir / "notes.srt").string()), "");
        EXPECT_NE(r.err.find("files done"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(fs::exists(dir / "one.srt"));
    EXPECT_TRUE(fs::exists(dir / "sub" / "two.fr.srt"));
    EXPECT_FALSE(fs::exists(dir / "bad.srt"));
    // The SRT written is the one a single run writes.
    const CommandResult single = cli({"ocr", "--engine", "rules", one});
    std::ifstream written(dir / "one.srt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), single.out);

    EXPECT_EQ(cli({"ocr", dir.string(), "-o", "x.srt"}).status, 2);
    EXPECT_EQ(cli({"ocr", dir.string(), "-j", "0"}).status, 2);
    EXPECT_EQ(cli({"ocr", (dir / "sub").string(), "--engine", "nothing"}).status, 2);
}

// Without --lang the learned engine takes the language a stream's name carries; --lang wins.
TEST(CliBatch, LanguageFromTheFileName) {
    const fs::path dir = fs::path(writeTempFile("x", {})).parent_path();
    fs::copy_file(seed("pgs-tiny.sup"), dir / "film.fr.sup");
    struct Case {
        std::string file;
        std::vector<std::string> more;
        std::string logged;   // empty: no language line
    };
    const Case cases[] = {
        {"film.fr.sup", {}, "OCR language fra from the file name"},
        {"film.fr.sup", {"--lang", "deu"}, ""},
        {"film.fr.sup", {"--set", "OcrLang=deu"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"ocr", "--engine", "rules", (dir / c.file).string()};
        args.insert(args.end(), c.more.begin(), c.more.end());
        const CommandResult r = cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        if (c.logged.empty()) {
            EXPECT_EQ(r.err.find("OCR language"), std::string::npos) << r.err;
        } else {
            EXPECT_NE(r.err.find(c.logged), std::string::npos) << r.err;
        }
    }
}
