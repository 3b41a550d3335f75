// Subtitle tracks inside film containers: streams built here, muxed by the ffmpeg command
// into MKV, M2TS and TS, must load into exactly the records their ".sup" loads.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include "core/context.h"
#include "export/writers.h"
#include "pictures/bitmaps.h"
#include "platform/files.h"
#include "render/decoder.h"
#include "stream/container.h"
#include "stream/load.h"
#include "support/ft_streams.h"
#include "support/run_command.h"
#include "support/session.h"
#include "support/stream_builder.h"

using namespace vantrel;
using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

// The ffmpeg command on the PATH, or empty.
std::string ffmpegProgram() {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const fs::path candidate = fs::path(dir.empty() ? "." : dir) / "ffmpeg";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}

#define REQUIRE_FFMPEG()                                                        \
    if (ffmpegProgram().empty()) GTEST_SKIP() << "the ffmpeg command is missing: no containers to test"

// Runs ffmpeg with the times kept as the inputs carry them (no shift to zero, no mux delay).
CommandResult ffmpeg(std::vector<std::string> inputs, const std::vector<std::string>& options, const std::string& out) {
    std::vector<std::string> args{"-nostdin", "-loglevel", "error", "-y", "-copyts"};
    for (const std::string& in : inputs) {
        if (in.rfind("lavfi:", 0) == 0) {
            args.insert(args.end(), {"-f", "lavfi", "-i", in.substr(6)});
        } else {
            args.insert(args.end(), {"-i", in});
        }
    }
    args.insert(args.end(), {"-c", "copy", "-muxdelay", "0", "-muxpreload", "0"});
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(out);
    return runCommand(ffmpegProgram(), args);
}

std::string sibling(const std::string& file, const std::string& name) {
    return (fs::path(file).parent_path() / name).string();
}

// A few subtitles of real text, with their pictures in several segments.
Bytes filmStream(int count) {
    static const TextRenderer renderer(TextStyle{fontFiles(FontFamily::DejaVuSans)});
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) texts.push_back("Line " + std::to_string(i + 1) + " of the film|and its second row");
    return textStream(renderer, texts);
}

struct Loaded : TestSession {
    LoadResult load(const std::string& file, int track = -1) {
        prog.eSUPfile = file;
        prog.track = track;
        return Load(ctx);
    }
    bool logged(const std::string& part) const {
        for (const LogLine& l : host.lines)
            if (l.text.find(part) != std::string::npos) return true;
        return false;
    }
    std::vector<IndexPlane> planes() {
        std::vector<IndexPlane> out;
        for (int32_t i = 0; i < static_cast<int32_t>(prog.Subs.size()); ++i) {
            PixelData data;
            loadSlot(prog.streamFile, prog.Subs[static_cast<size_t>(i)].obj[0], data);
            IndexPlane plane;
            EXPECT_TRUE(decodeSlotPlane(ctx, i, 0, data, plane));
            out.push_back(std::move(plane));
        }
        return out;
    }
};

void expectSameSlot(const TSUPObject& a, const TSUPObject& b) {
    EXPECT_EQ(a.x1, b.x1);
    EXPECT_EQ(a.y1, b.y1);
    EXPECT_EQ(a.x2, b.x2);
    EXPECT_EQ(a.y2, b.y2);
    EXPECT_EQ(a.parts, b.parts);
    EXPECT_EQ(a.forced, b.forced);
    for (size_t i = 0; i < a.parts; ++i) {
        EXPECT_EQ(a.partPos[i], b.partPos[i]);
        EXPECT_EQ(a.partLen[i], b.partLen[i]);
    }
}

// The records of `got` are the first records of `want`, field by field; with `cut` the last
// one may lack what the end of the file took.
void expectSameRecords(const Program& want, const Program& got, bool cut = false) {
    ASSERT_LE(got.Subs.size(), want.Subs.size());
    EXPECT_EQ(got.SubKind, want.SubKind);
    EXPECT_EQ(got.video.width, want.video.width);
    EXPECT_EQ(got.video.height, want.video.height);
    EXPECT_EQ(got.video.frameCode, want.video.frameCode);
    const size_t whole = cut && !got.Subs.empty() ? got.Subs.size() - 1 : got.Subs.size();
    for (size_t i = 0; i < whole; ++i) {
        SCOPED_TRACE("subtitle " + std::to_string(i + 1));
        const TSUP& a = want.Subs[i];
        const TSUP& b = got.Subs[i];
        EXPECT_EQ(a.num, b.num);
        EXPECT_EQ(a.startPTS, b.startPTS);
        EXPECT_EQ(a.startTime, b.startTime);
        if (i + 1 < got.Subs.size()) {
            EXPECT_EQ(a.endPTS, b.endPTS);
            EXPECT_EQ(a.endTime, b.endTime);
        }
        EXPECT_EQ(a.palPos, b.palPos);
        EXPECT_EQ(a.palCount, b.palCount);
        EXPECT_EQ(a.forced, b.forced);
        expectSameSlot(a.obj[0], b.obj[0]);
        expectSameSlot(a.obj[1], b.obj[1]);
    }
}

class ContainerRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(ContainerRoundTrip, LoadsTheRecordsAndPicturesOfTheStream) {
    REQUIRE_FFMPEG();
    const std::string sup = writeTempFile("film.sup", filmStream(4));
    const std::string out = sibling(sup, std::string("film.") + GetParam());
    const CommandResult mux = ffmpeg({sup}, {"-map", "0"}, out);
    if (mux.status != 0) GTEST_SKIP() << "ffmpeg does not put PGS into ." << GetParam() << ": " << mux.err;

    Loaded stream, film;
    ASSERT_EQ(stream.load(sup), LoadResult::Loaded);
    ASSERT_EQ(film.load(out), LoadResult::Loaded);
    ASSERT_EQ(film.prog.Subs.size(), stream.prog.Subs.size());
    expectSameRecords(stream.prog, film.prog);
    EXPECT_EQ(film.prog.BaseName, "film");
    EXPECT_FALSE(film.prog.truncated);
    EXPECT_TRUE(film.logged("hdmv_pgs_subtitle"));

    const std::vector<IndexPlane> want = stream.planes();
    const std::vector<IndexPlane> got = film.planes();
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].width, want[i].width);
        EXPECT_EQ(got[i].height, want[i].height);
        EXPECT_TRUE(got[i].pixels == want[i].pixels) << "the pictures of subtitle " << i + 1 << " differ";
    }

    // The track's copy lies outside the user's folder and goes with the next load.
    const std::string temp = film.prog.extractedStream;
    ASSERT_FALSE(temp.empty());
    EXPECT_NE(fs::path(temp).parent_path(), fs::path(out).parent_path());
    EXPECT_TRUE(fileExists(temp));
    // A file that fails to load leaves the copy the open table still reads from.
    const std::string junk = writeTempFile("not a film.sup", Bytes{'X', 'Y', 'Z'});
    EXPECT_EQ(film.load(junk), LoadResult::Unsupported);
    EXPECT_TRUE(fileExists(temp));
    EXPECT_EQ(film.prog.extractedStream, temp);
    ASSERT_EQ(film.load(sup), LoadResult::Loaded);
    EXPECT_FALSE(fileExists(temp));
    EXPECT_FALSE(folderExists(fs::path(temp).parent_path().string()));
    EXPECT_TRUE(film.prog.extractedStream.empty());
}

// A plain ".ts" is left out: ffmpeg writes PGS there without the Blu-ray registration, and
// no demuxer reads such a stream back as PGS.
INSTANTIATE_TEST_SUITE_P(Containers, ContainerRoundTrip, ::testing::Values("mkv", "m2ts", "mp4"));

// A film with video, a text track listed first and a forced PGS track in English.
std::string multiTrackFilm() {
    const std::string sup = writeTempFile("multi.sup", filmStream(2));
    const std::string srt = sibling(sup, "multi.srt");
    std::ofstream(srt) << "1\r\n00:00:01,000 --> 00:00:02,000\r\nHello\r\n";
    const std::string out = sibling(sup, "Mon film é.mkv");
    const CommandResult mux =
        ffmpeg({"lavfi:color=c=black:s=64x64:d=1", srt, sup},
               {"-map", "0", "-map", "1", "-map", "2", "-c:v", "mpeg4", "-metadata:s:s:1", "language=eng",
                "-metadata:s:s:1", "title=Forced", "-disposition:s:1", "default+forced", "-metadata:s:s:0",
                "language=fre"},
               out);
    EXPECT_EQ(mux.status, 0) << mux.err;
    return out;
}

TEST(Container, ListsTracksAndOpensTheChosenOne) {
    REQUIRE_FFMPEG();
    const std::string film = multiTrackFilm();
    ASSERT_TRUE(isContainer(film));
    const ContainerInfo info = listTracks(film, true);
    EXPECT_EQ(info.format, "matroska,webm");
    ASSERT_EQ(info.tracks.size(), 2u);
    EXPECT_EQ(info.tracks[0].codec, "subrip");
    EXPECT_FALSE(info.tracks[0].picture);
    EXPECT_EQ(info.tracks[0].language, "fre");
    EXPECT_EQ(info.tracks[0].packets, 1);
    const SubtitleTrack& pgs = info.tracks[1];
    EXPECT_TRUE(pgs.pgs);
    EXPECT_EQ(pgs.language, "eng");
    EXPECT_EQ(pgs.title, "Forced");
    EXPECT_TRUE(pgs.forced);
    EXPECT_TRUE(pgs.isDefault);
    EXPECT_EQ(pgs.packets, 4);   // two display sets and their clearing sets
    ASSERT_EQ(info.otherStreams.size(), 1u);
    EXPECT_EQ(info.otherStreams[0], "video mpeg4");
    EXPECT_FALSE(info.damaged);

    // Without a choice the first picture track opens, past the text track before it.
    Loaded first;
    ASSERT_EQ(first.load(film), LoadResult::Loaded);
    EXPECT_EQ(first.prog.Subs.size(), 2u);
    // Outputs are named after the track: its language and that it is forced.
    EXPECT_EQ(first.prog.BaseName, "Mon film é.eng.forced");
    EXPECT_EQ(exportFileName(first.ctx), "Mon film é.eng.forced.BD.23.976.sup");
    // Pictures are named after the track too, not after the temporary copy it is read from.
    EXPECT_EQ(bitmapSourceName(first.prog), "Mon film é.eng.forced.sup");
    EXPECT_EQ(first.prog.openedFile, film);
    EXPECT_EQ(first.prog.tableLanguage, "eng");
    Loaded chosen;
    ASSERT_EQ(chosen.load(film, 1), LoadResult::Loaded);
    expectSameRecords(first.prog, chosen.prog);

    // A text track needs no OCR; a track the file does not have is named with what it holds.
    Loaded text;
    EXPECT_EQ(text.load(film, 0), LoadResult::Unsupported);
    EXPECT_TRUE(text.logged("is text (subrip): it needs no OCR"));
    EXPECT_TRUE(text.prog.Subs.empty());
    EXPECT_FALSE(text.prog.controls.bExport);
    Loaded missing;
    EXPECT_EQ(missing.load(film, 5), LoadResult::Unsupported);
    EXPECT_TRUE(missing.logged("There is no subtitle track 5"));
}

TEST(Container, WithoutPictureTrackFailsAndSaysWhatItHolds) {
    REQUIRE_FFMPEG();
    const std::string dir = fs::path(writeTempFile("x", Bytes{})).parent_path().string();
    const std::string video = dir + "/clip.mkv";
    ASSERT_EQ(ffmpeg({"lavfi:color=c=black:s=64x64:d=1"}, {"-c:v", "mpeg4"}, video).status, 0);
    Loaded l;
    // A table loaded before goes: the failed load leaves nothing to export.
    ASSERT_EQ(l.load(writeTempFile("before.sup", filmStream(1))), LoadResult::Loaded);
    EXPECT_EQ(l.load(video), LoadResult::Unsupported);
    EXPECT_TRUE(l.logged("no picture subtitle track in clip.mkv; it holds: video mpeg4"));
    EXPECT_TRUE(l.prog.Subs.empty());
    EXPECT_TRUE(l.prog.extractedStream.empty());
}

TEST(Container, TruncatedFilmKeepsWhatWasRead) {
    REQUIRE_FFMPEG();
    const std::string sup = writeTempFile("long.sup", filmStream(12));
    Loaded stream;
    ASSERT_EQ(stream.load(sup), LoadResult::Loaded);
    for (const char* ext : {"mkv", "m2ts"}) {
        SCOPED_TRACE(ext);
        const std::string out = sibling(sup, std::string("long.") + ext);
        ASSERT_EQ(ffmpeg({sup}, {"-map", "0"}, out).status, 0);
        const auto size = fs::file_size(out);
        fs::resize_file(out, size * 6 / 10);
        Loaded film;
        ASSERT_EQ(film.load(out), LoadResult::Loaded);
        EXPECT_GT(film.prog.Subs.size(), 2u);
        EXPECT_LT(film.prog.Subs.size(), stream.prog.Subs.size());
        expectSameRecords(stream.prog, film.prog, true);
        EXPECT_TRUE(film.prog.truncated);
        EXPECT_TRUE(film.logged("ends early or is damaged"));
    }
}

// A host whose message pump presses Cancel.
struct CancellingHost : RecordingHost {
    Program* prog = nullptr;
    void pumpMessages() override {
        RecordingHost::pumpMessages();
        if (prog) prog->Cancel = true;
    }
};

TEST(Container, CancelStopsTheCopyAndKeepsWhatWasCopied) {
    REQUIRE_FFMPEG();
    const std::string sup = writeTempFile("cancel.sup", filmStream(12));
    const std::string out = sibling(sup, "cancel.mkv");
    ASSERT_EQ(ffmpeg({sup}, {"-map", "0"}, out).status, 0);
    Loaded whole;
    ASSERT_EQ(whole.load(sup), LoadResult::Loaded);
    BasicTestSession<CancellingHost> s;
    s.host.prog = &s.prog;
    s.prog.eSUPfile = out;
    Load(s.ctx);
    EXPECT_LT(s.prog.Subs.size(), whole.prog.Subs.size());
    bool said = false;
    for (const LogLine& l : s.host.lines) said = said || l.text.find("was cancelled after") != std::string::npos;
    EXPECT_TRUE(said);
    EXPECT_FALSE(s.prog.Loading);
}

TEST(Container, MissingAndForeignFiles) {
    Loaded l;
    const std::string dir = fs::path(writeTempFile("x", Bytes{})).parent_path().string();
    l.prog.eSUPfile = dir + "/missing.mkv";
    EXPECT_THROW(Load(l.ctx), PlatformError);
    EXPECT_FALSE(isContainer(dir + "/missing.mkv"));
    // Bytes that are no container are refused as before, whatever the name says.
    const std::string junk = writeTempFile("junk.mkv", Bytes(4096, 0x5A));
    EXPECT_FALSE(isContainer(junk));
    EXPECT_EQ(l.load(junk), LoadResult::Unsupported);
    EXPECT_TRUE(l.logged("Unsupported file format."));
    EXPECT_THROW(listTracks(junk, false), PlatformError);
}

TEST(ContainerCli, TracksAndTrackOption) {
    REQUIRE_FFMPEG();
    const std::string film = multiTrackFilm();
    const CommandResult list = runCommand(VANTREL_CLI, {"info", film, "--tracks"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("hdmv_pgs_subtitle"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("picture,default,forced"), std::string::npos) << list.out;
    const CommandResult json = runCommand(VANTREL_CLI, {"info", film, "--tracks", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"codec\":\"subrip\",\"picture\":false,\"language\":\"fre\""), std::string::npos)
        << json.out;

    const CommandResult text = runCommand(VANTREL_CLI, {"info", film, "--track", "0"});
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.err.find("needs no OCR"), std::string::npos) << text.err;
    const CommandResult pgs = runCommand(VANTREL_CLI, {"info", film, "--track", "1"});
    EXPECT_EQ(pgs.status, 0) << pgs.err;
    EXPECT_NE(pgs.out.find("2 subtitles"), std::string::npos) << pgs.out;
    EXPECT_EQ(runCommand(VANTREL_CLI, {"info", film, "--track", "x"}).status, 2);
    EXPECT_EQ(runCommand(VANTREL_CLI, {"render", film, "1", "--track", "-1", "-o", film + ".png"}).status, 2);
}

// A film with two PGS tracks: French, and English forced.
std::string twoLanguageFilm() {
    const std::string sup = writeTempFile("two.sup", filmStream(2));
    const std::string out = sibling(sup, "Deux langues.mkv");
    const CommandResult mux =
        ffmpeg({"lavfi:color=c=black:s=64x64:d=1", sup, sup},
               {"-map", "0", "-map", "1", "-map", "2", "-c:v", "mpeg4", "-metadata:s:s:0", "language=fre",
                "-metadata:s:s:1", "language=eng", "-disposition:s:1", "forced"},
               out);
    EXPECT_EQ(mux.status, 0) << mux.err;
    return out;
}

TEST(ContainerCli, LanguageChoosesTheTrack) {
    REQUIRE_FFMPEG();
    const std::string film = twoLanguageFilm();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string said;   // in stderr
    };
    const Case cases[] = {
        {{"info", film}, 0, "Subtitle track #0 hdmv_pgs_subtitle fre"},
        {{"info", film, "--lang", "en"}, 0, "Subtitle track #1 hdmv_pgs_subtitle eng forced"},
        {{"info", film, "--lang", "FRA"}, 0, "Subtitle track #0 hdmv_pgs_subtitle fre"},
        {{"info", film, "--lang", "deu"}, 1, "No picture subtitle track in deu in"},
        {{"info", film, "--lang", "deu", "--track", "1"}, 0, "Subtitle track #1"},
        {{"info", film, "--lang", "x1"}, 2, "Invalid language"},
        {{"render", film, "1", "--lang", "eng", "-o", film + ".png"}, 0, "Subtitle track #1"},
        {{"glyphs", film, "--lang", "fre", "--json"}, 0, "Subtitle track #0"},
        // The OCR language set otherwise only prefers its track.
        {{"ocr", film, "--engine", "rules", "--set", "OcrLang=eng"}, 0, "Subtitle track #1"},
        {{"ocr", film, "--engine", "rules", "--set", "OcrLang=deu"}, 0,
         "No picture subtitle track in deu in " + film + ": the first picture track is read."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const CommandResult r = runCommand(VANTREL_CLI, c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
}

// Every picture track into an SRT of its own, named after the track and read in its
// language; one progress line for the run and a table of what was written.
TEST(ContainerCli, AllTracksWritesOneSrtPerTrack) {
    REQUIRE_FFMPEG();
    const std::string film = twoLanguageFilm();
    const CommandResult r = runCommand(VANTREL_CLI, {"ocr", film, "--all-tracks", "--engine", "rules"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("#0 fre"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("written Deux langues.fre.srt"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("#1 eng forced"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("written Deux langues.eng.forced.srt"), std::string::npos) << r.out;
    EXPECT_TRUE(fileExists(sibling(film, "Deux langues.fre.srt")));
    EXPECT_TRUE(fileExists(sibling(film, "Deux langues.eng.forced.srt")));
    // The tracks' logs stay quiet: the progress line is the one line of the run.
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find("2 of 2 tracks done"), std::string::npos) << r.err;
    // Both SRT files are newer than the film now.
    const CommandResult again = runCommand(VANTREL_CLI, {"ocr", film, "--all-tracks", "--engine", "rules"});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("skipped: Deux langues.eng.forced.srt is newer"), std::string::npos) << again.out;
    EXPECT_EQ(runCommand(VANTREL_CLI, {"ocr", film, "--all-tracks", "-o", "x.srt"}).status, 2);
}

TEST(Container, LanguageInTheFileName) {
    const std::pair<const char*, const char*> cases[] = {
        {"film.pol.sup", "pol"},         {"/a.b/film.pl.sup", "pl"},   {"film.FRE.forced.sup", "fre"},
        {"film.sup", ""},                {"film.eng.BD.23.976.sup", ""}, {"film.1a.sup", ""},
        {"film.english.sup", ""},        {"sup", ""},
    };
    for (const auto& [file, language] : cases) EXPECT_EQ(languageInFileName(file), language) << file;
}

}  // namespace
