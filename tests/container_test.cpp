// Subtitle tracks inside film containers: streams built here, muxed by the ffmpeg command
// into MKV, M2TS and TS, must load into exactly the records their ".sup" loads. VobSub pairs
// written here, and DVD tracks muxed from them, load into the records of the same
// subpictures as an "SP" stream.
#include <cstdio>
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
#include "stream/vobsub.h"
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

// The pictures of both tables, pixel by pixel.
void expectSamePictures(Loaded& want, Loaded& got) {
    const std::vector<IndexPlane> a = want.planes();
    const std::vector<IndexPlane> b = got.planes();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].width, b[i].width);
        EXPECT_EQ(a[i].height, b[i].height);
        EXPECT_TRUE(a[i].pixels == b[i].pixels) << "the pictures of subtitle " << i + 1 << " differ";
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

    expectSamePictures(stream, film);

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

// --- DVD subpictures: VobSub pairs and DVD tracks in containers ---

// Bits appended MSB first; rows of the DVD run-length code end on a byte boundary.
struct BitSink {
    Bytes bytes;
    size_t bits = 0;
    void put(uint32_t value, int count) {
        for (int k = count - 1; k >= 0; --k) {
            if (bits % 8 == 0) bytes.push_back(0);
            if ((value >> k) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> (bits % 8));
            ++bits;
        }
    }
    void align() { bits = (bits + 7) / 8 * 8; }
};

// One row of 2-bit values in the DVD code: runs of 1-3 (nn cc), 4-15 (00 nnnn cc), 16-63
// (0000 nnnnnn cc), 64-255 (000000 nnnnnnnn cc); a run to the row's end is 14 zero bits, cc.
void dvdRow(BitSink& out, const std::vector<uint8_t>& row) {
    size_t x = 0;
    while (x < row.size()) {
        size_t n = 1;
        while (x + n < row.size() && row[x + n] == row[x] && n < 255) ++n;
        const uint32_t c = row[x];
        if (x + n == row.size() && n > 63) out.put(c, 16);
        else if (n < 4) out.put((static_cast<uint32_t>(n) << 2) | c, 4);
        else if (n < 16) out.put((static_cast<uint32_t>(n) << 2) | c, 8);
        else if (n < 64) out.put((static_cast<uint32_t>(n) << 2) | c, 12);
        else out.put((static_cast<uint32_t>(n) << 2) | c, 16);
        x += n;
    }
    out.align();
}

// A picture of `width` x `height` values: background `back`, a box of `text` framed by
// `edge`, with one column of `soft` beside it, its size and place set by `seed`.
std::vector<std::vector<uint8_t>> dvdPicture(int width, int height, int seed, uint8_t text, uint8_t edge, uint8_t soft,
                                             uint8_t back) {
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(height), std::vector<uint8_t>(static_cast<size_t>(width), back));
    const int left = 2 + seed % 5, right = width - 3 - seed % 7;
    for (int y = 1; y + 1 < height; ++y)
        for (int x = left; x <= right; ++x) {
            const bool border = y == 1 || y + 2 == height || x == left || x == right;
            rows[static_cast<size_t>(y)][static_cast<size_t>(x)] = border ? edge : text;
        }
    for (int y = 2; y + 2 < height; ++y) rows[static_cast<size_t>(y)][static_cast<size_t>(right + 1)] = soft;
    return rows;
}

// How a unit's values are drawn: which palette entry (SET_COLOR) and contrast (SET_CONTR)
// each of the values 0..3 takes.
struct DvdLook {
    std::array<uint8_t, 4> entry{0, 1, 2, 3};
    std::array<uint8_t, 4> contrast{0, 15, 15, 15};
    uint8_t text = 1, edge = 2, soft = 3, back = 0;   // the values the picture is drawn with
};

// The command bytes v3 v2 | v1 v0 of SET_COLOR (0x03) or SET_CONTR (0x04).
Bytes nibbles(uint8_t cmd, const std::array<uint8_t, 4>& v) {
    return {cmd, static_cast<uint8_t>((v[3] << 4) | v[2]), static_cast<uint8_t>((v[1] << 4) | v[0])};
}

// A DVD-style "SP" stream of `count` subpictures at `startMs` + 2 s each, shown 1.5 s.
SpBuilder dvdStream(int count, const DvdLook& look, int startMs = 1000, int seed = 0) {
    SpBuilder b;
    for (int i = 0; i < count; ++i) {
        const int width = 40 + 4 * ((i + seed) % 3), height = 12;
        const auto rows = dvdPicture(width, height, i + seed, look.text, look.edge, look.soft, look.back);
        BitSink top, bottom;
        for (int y = 0; y < height; ++y) dvdRow(y % 2 == 0 ? top : bottom, rows[static_cast<size_t>(y)]);
        Bytes pixels = top.bytes;
        pixels.insert(pixels.end(), bottom.bytes.begin(), bottom.bytes.end());
        Bytes first = nibbles(0x03, look.entry);
        const Bytes contrast = nibbles(0x04, look.contrast);
        first.insert(first.end(), contrast.begin(), contrast.end());
        for (const Bytes& c : {SpBuilder::setDarea(false, static_cast<uint16_t>(100 + 8 * i), static_cast<uint16_t>(100 + 8 * i + width - 1),
                                                   400, 400 + height - 1),
                               SpBuilder::setDspxa(false, 4, static_cast<uint32_t>(4 + top.bytes.size())), SpBuilder::staDsp(),
                               SpBuilder::cmdEnd()})
            first.insert(first.end(), c.begin(), c.end());
        Bytes second = SpBuilder::stpDsp();
        second.push_back(0xFF);
        const auto pts = static_cast<uint32_t>((startMs + 2000 * i) * 90);
        b.packet(pts, false, pixels, {{0, first, false}, {static_cast<uint16_t>(1500 * 90 / 1024), second, true}});
    }
    return b;
}

// The units of an "SP" stream with their times.
struct VobUnit {
    int substream = 0;
    uint32_t pts = 0;
    Bytes spu;
};

std::vector<VobUnit> unitsOf(const SpBuilder& b, int substream) {
    std::vector<VobUnit> units;
    const Bytes& bytes = b.bytes();
    const auto& starts = b.spuStarts();
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] - 10 : bytes.size();
        VobUnit u;
        u.substream = substream;
        u.pts = static_cast<uint32_t>(bytes[starts[i] - 8] | (bytes[starts[i] - 7] << 8) | (bytes[starts[i] - 6] << 16) |
                                      (static_cast<uint32_t>(bytes[starts[i] - 5]) << 24));
        u.spu.assign(bytes.begin() + static_cast<std::ptrdiff_t>(starts[i]), bytes.begin() + static_cast<std::ptrdiff_t>(end));
        units.push_back(std::move(u));
    }
    return units;
}

// An MPEG program stream of subpicture units: each packet in a pack of its own,
//   pack:   00 00 01 BA, SCR and mux rate (9 bytes), stuffing length 0
//   packet: 00 00 01 BD, u16 length, 81, flags (80: PTS), header length, [PTS], substream, data
// a unit cut into packets of at most `chunk` bytes, the first carrying its PTS. With
// `interleave`, the packets of every two units alternate. Returns the .sub and each unit's
// first pack offset.
Bytes vobSubFile(const std::vector<VobUnit>& units, std::vector<size_t>& filepos, size_t chunk = 2000, bool interleave = false) {
    struct Piece {
        size_t unit;
        size_t from, to;
    };
    std::vector<std::vector<Piece>> pieces(units.size());
    for (size_t u = 0; u < units.size(); ++u)
        for (size_t at = 0; at < units[u].spu.size(); at += chunk)
            pieces[u].push_back({u, at, std::min(units[u].spu.size(), at + chunk)});
    std::vector<Piece> order;
    for (size_t u = 0; u < units.size(); u += interleave ? 2 : 1) {
        const std::vector<Piece> none;
        const std::vector<Piece>& a = pieces[u];
        const std::vector<Piece>& b = interleave && u + 1 < units.size() ? pieces[u + 1] : none;
        for (size_t k = 0; k < std::max(a.size(), b.size()); ++k) {
            if (k < a.size()) order.push_back(a[k]);
            if (k < b.size()) order.push_back(b[k]);
        }
    }
    Bytes out;
    filepos.assign(units.size(), 0);
    for (const Piece& p : order) {
        const VobUnit& u = units[p.unit];
        if (p.from == 0) filepos[p.unit] = out.size();
        out.insert(out.end(), {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xC3, 0xF8});
        Bytes pes{0x81, static_cast<uint8_t>(p.from == 0 ? 0x80 : 0), static_cast<uint8_t>(p.from == 0 ? 5 : 0)};
        if (p.from == 0) {
            const uint64_t t = u.pts;
            pes.insert(pes.end(), {static_cast<uint8_t>(0x21 | ((t >> 29) & 0x0E)), static_cast<uint8_t>(t >> 22),
                                   static_cast<uint8_t>(((t >> 14) & 0xFE) | 1), static_cast<uint8_t>(t >> 7),
                                   static_cast<uint8_t>(((t << 1) & 0xFE) | 1)});
        }
        pes.push_back(static_cast<uint8_t>(0x20 + u.substream));
        pes.insert(pes.end(), u.spu.begin() + static_cast<std::ptrdiff_t>(p.from), u.spu.begin() + static_cast<std::ptrdiff_t>(p.to));
        out.insert(out.end(), {0, 0, 1, 0xBD});
        putBE(out, pes.size(), 2);
        out.insert(out.end(), pes.begin(), pes.end());
    }
    return out;
}

// "hh:mm:ss:ms" of 90 kHz ticks.
std::string idxTime(uint32_t ticks) {
    const uint32_t ms = ticks / 90;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u:%03u", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return buf;
}

const char* const kIdxPalette =
    "palette: 000000, ffffff, 000000, a0a0a0, 808080, 808080, 808080, 808080, 808080, 808080, 808080, 808080, "
    "808080, 808080, 808080, 808080\n";

// An index for `units` at `filepos`, one "id:" block per substream in order of appearance.
std::string idxFile(const std::vector<VobUnit>& units, const std::vector<size_t>& filepos,
                    const std::vector<std::string>& languages, const std::string& palette = kIdxPalette) {
    std::string text = "# VobSub index file, v7 (do not modify this line!)\n# made in a test\nsize: 720x576\n" + palette;
    for (size_t s = 0; s < languages.size(); ++s) {
        text += "id: " + languages[s] + ", index: " + std::to_string(s) + "\n";
        for (size_t i = 0; i < units.size(); ++i) {
            if (units[i].substream != static_cast<int>(s)) continue;
            char pos[32];
            std::snprintf(pos, sizeof pos, "%09zX", filepos[i]);
            text += "timestamp: " + idxTime(units[i].pts) + ", filepos: " + pos + "\n";
        }
    }
    return text;
}

// Writes `name`.idx and `name`.sub in one temporary folder; returns the .idx path.
std::string writePair(const std::string& name, const std::vector<VobUnit>& units, const std::vector<std::string>& languages,
                      size_t chunk = 2000, bool interleave = false) {
    std::vector<size_t> filepos;
    const Bytes sub = vobSubFile(units, filepos, chunk, interleave);
    const std::string subPath = writeTempFile(name + ".sub", sub);
    const std::string idx = sibling(subPath, name + ".idx");
    std::ofstream(idx, std::ios::binary) << idxFile(units, filepos, languages);
    return idx;
}

TEST(VobSub, PairLoadsTheRecordsAndPicturesOfItsSubpictureStream) {
    const DvdLook look;
    const SpBuilder english = dvdStream(4, look, 1000, 0);
    const SpBuilder french = dvdStream(3, look, 1500, 1);
    const std::string englishSup = writeTempFile("english.sup", english.bytes());
    const std::string frenchSup = writeTempFile("french.sup", french.bytes());
    // Two tracks whose units lie in small packets, each unit's between another's.
    std::vector<VobUnit> units;
    const std::vector<VobUnit> en = unitsOf(english, 0), fr = unitsOf(french, 1);
    for (size_t i = 0; i < en.size(); ++i) {
        units.push_back(en[i]);
        if (i < fr.size()) units.push_back(fr[i]);
    }
    const std::string idx = writePair("Mon film é", units, {"en", "fr"}, 40, true);
    const std::string sub = CutExt(idx) + ".sub";

    const ContainerInfo info = listTracks(idx, true);
    EXPECT_EQ(info.format, "vobsub");
    ASSERT_EQ(info.tracks.size(), 2u);
    EXPECT_EQ(info.tracks[0].language, "en");
    EXPECT_EQ(info.tracks[1].language, "fr");
    EXPECT_EQ(info.tracks[1].packets, 3);
    EXPECT_TRUE(info.tracks[0].picture && info.tracks[0].dvd);
    EXPECT_TRUE(isContainer(sub));
    EXPECT_TRUE(isVobSubDataBesideIndex(sub));
    EXPECT_FALSE(isVobSubDataBesideIndex(idx));

    Loaded want, wantFrench;
    ASSERT_EQ(want.load(englishSup), LoadResult::Loaded);
    ASSERT_EQ(wantFrench.load(frenchSup), LoadResult::Loaded);
    for (const std::string& named : {idx, sub}) {
        SCOPED_TRACE(named);
        Loaded pair;
        ASSERT_EQ(pair.load(named), LoadResult::Loaded);
        ASSERT_EQ(pair.prog.Subs.size(), 4u);
        expectSameRecords(want.prog, pair.prog);
        expectSamePictures(want, pair);
        EXPECT_EQ(pair.prog.BaseName, "Mon film é.en");
        EXPECT_FALSE(pair.prog.truncated);
        Loaded second;
        ASSERT_EQ(second.load(named, 1), LoadResult::Loaded);
        ASSERT_EQ(second.prog.Subs.size(), 3u);
        expectSameRecords(wantFrench.prog, second.prog);
        expectSamePictures(wantFrench, second);
    }
}

TEST(VobSub, PaletteDecidesWhichValueIsDrawnWhite) {
    // The usual look (text 1 on white, edge 2 on black) against a disc that draws its text
    // with value 2 and its edge with value 1, their palette entries swapped to match, and one
    // that draws its text with value 0 and hides value 3 behind it.
    const DvdLook usual;
    DvdLook swapped;
    swapped.text = 2;
    swapped.edge = 1;
    swapped.entry = {0, 2, 1, 3};
    DvdLook hidden;
    hidden.back = 3;
    hidden.text = 0;
    hidden.edge = 2;
    hidden.soft = 1;
    hidden.entry = {1, 3, 2, 0};
    hidden.contrast = {15, 15, 15, 0};
    Loaded want;
    ASSERT_EQ(want.load(writeTempFile("usual.sup", dvdStream(3, usual).bytes())), LoadResult::Loaded);
    for (const DvdLook* look : {&swapped, &hidden}) {
        SCOPED_TRACE(int{look->text});
        Loaded pair;
        ASSERT_EQ(pair.load(writePair("look", unitsOf(dvdStream(3, *look), 0), {"en"})), LoadResult::Loaded);
        expectSameRecords(want.prog, pair.prog);
        expectSamePictures(want, pair);
    }
}

TEST(VobSub, IndexLines) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::vector<int64_t>> ticks;   // per track, the entries' times
        bool palette;
        int badLines;
    };
    const std::string head = "# VobSub index file, v7 (do not modify this line!)\r\n";
    const std::string pal16 = std::string(kIdxPalette);
    const Case cases[] = {
        {"entries and CR LF", head + "id: en, index: 0\r\ntimestamp: 00:00:01:500, filepos: 000000000\r\n"
                                     "timestamp: 01:02:03:004, filepos: 00000a800\r\n",
         {{1500 * 90, 3723004LL * 90}}, false, 0},
        {"delays add up and never go below zero",
         head + "id: en, index: 0\ntimestamp: 00:00:02:000, filepos: 0\ndelay: 00:00:01:000\n"
                "timestamp: 00:00:02:000, filepos: 800\ndelay: -00:00:05:000\ntimestamp: 00:00:02:000, filepos: 1000\n",
         {{2000 * 90, 3000 * 90, 0}}, false, 0},
        {"a delay belongs to its track", head + "id: en, index: 0\ndelay: 00:00:01:000\nid: de, index: 1\n"
                                                "timestamp: 00:00:02:000, filepos: 0\n",
         {{}, {2000 * 90}}, false, 0},
        {"time offset for every track", head + "time offset: 500\nid: en, index: 0\ntimestamp: 00:00:02:000, filepos: 0\n",
         {{2500 * 90}}, false, 0},
        {"sixteen colours make a palette", head + pal16, {}, true, 0},
        {"fifteen do not", head + "palette: 000000, 111111, 222222, 333333, 444444, 555555, 666666, 777777, 888888, "
                                  "999999, aaaaaa, bbbbbb, cccccc, dddddd, eeeeee\n",
         {}, false, 1},
        {"an entry before any id is the first substream's", head + "timestamp: 00:00:00:040, filepos: 0\n", {{40 * 90}}, false, 0},
        {"unreadable entries are counted and skipped",
         head + "id: en, index: 0\ntimestamp: 0:0:1, filepos: 0\ntimestamp: 00:00:01:000, filepos: xyz\n"
                "timestamp: 00:00:01:000\ntimestamp: 00:00:03:000, filepos: 0\n",
         {{3000 * 90}}, false, 3},
        {"comments and unknown keys", head + "# timestamp: 00:00:09:000, filepos: 0\nalpha: 100%\nfoo bar\n", {}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const VobSubIndex index = parseVobSubIndex(c.text);
        ASSERT_EQ(index.tracks.size(), c.ticks.size());
        for (size_t t = 0; t < c.ticks.size(); ++t) {
            std::vector<int64_t> got;
            for (const VobSubEntry& e : index.tracks[t].entries) got.push_back(e.pts);
            EXPECT_EQ(got, c.ticks[t]) << "track " << t;
        }
        EXPECT_EQ(index.hasPalette, c.palette);
        EXPECT_EQ(index.badLines, c.badLines);
    }
    // Colour values keep red in the low byte; "id:" names the substream and "langidx:" the
    // track players start with.
    const VobSubIndex index = parseVobSubIndex(head + "size: 720x480\npalette: ff0000, 00ff00, 0000ff, 0, 0, 0, 0, 0, 0, 0, "
                                                      "0, 0, 0, 0, 0, 0\nlangidx: 3\nid: en, index: 2\nid: fr, index: 3\n");
    EXPECT_EQ(index.palette[0], 0x0000FFu);
    EXPECT_EQ(index.palette[2], 0xFF0000u);
    EXPECT_EQ(index.width, 720);
    EXPECT_EQ(index.height, 480);
    ASSERT_EQ(index.tracks.size(), 2u);
    EXPECT_EQ(index.tracks[1].substream, 3);
    EXPECT_EQ(index.defaultTrack, 1);
}

TEST(VobSub, DamagedPairsLoadWhatTheyHold) {
    const DvdLook look;
    const SpBuilder stream = dvdStream(5, look);
    Loaded want;
    ASSERT_EQ(want.load(writeTempFile("five.sup", stream.bytes())), LoadResult::Loaded);
    const std::vector<VobUnit> units = unitsOf(stream, 0);

    // Without its .sub: nothing to load, and said so.
    {
        const std::string idx = writePair("lonely", units, {"en"});
        fs::remove(CutExt(idx) + ".sub");
        Loaded l;
        EXPECT_EQ(l.load(idx), LoadResult::Unsupported);
        EXPECT_TRUE(l.logged("lonely.sub is not beside it"));
        EXPECT_TRUE(l.prog.Subs.empty());
    }
    // Without its .idx: the .sub's own times, no palette, said so.
    {
        const std::string idx = writePair("orphan", units, {"en"});
        fs::remove(idx);
        Loaded l;
        EXPECT_FALSE(isVobSubDataBesideIndex(CutExt(idx) + ".sub"));
        ASSERT_EQ(l.load(CutExt(idx) + ".sub"), LoadResult::Loaded);
        expectSameRecords(want.prog, l.prog);
        EXPECT_TRUE(l.logged("has no orphan.idx beside it"));
    }
    // Listed out of time order: read in time order, said so.
    {
        std::vector<VobUnit> shuffled = units;
        std::swap(shuffled[1], shuffled[3]);
        Loaded l;
        ASSERT_EQ(l.load(writePair("shuffled", shuffled, {"en"})), LoadResult::Loaded);
        expectSameRecords(want.prog, l.prog);
        EXPECT_TRUE(l.logged("read in time order"));
    }
    // A .sub cut inside its fourth unit: three subtitles, the cut reported.
    {
        std::vector<size_t> filepos;
        vobSubFile(units, filepos);
        const std::string idx = writePair("cut", units, {"en"});
        fs::resize_file(CutExt(idx) + ".sub", filepos[3] + 30);
        Loaded l;
        ASSERT_EQ(l.load(idx), LoadResult::Loaded);
        ASSERT_EQ(l.prog.Subs.size(), 3u);
        expectSameRecords(want.prog, l.prog, true);
        EXPECT_TRUE(l.prog.truncated);
        EXPECT_TRUE(l.logged("ends early or is damaged"));
    }
    // Garbage between packs and a unit whose control area lies past its end: the others load.
    {
        std::vector<VobUnit> broken = units;
        broken[2].spu[2] = 0xFF;   // control offset past the unit
        std::vector<size_t> filepos;
        Bytes sub = vobSubFile(broken, filepos);
        const std::string subPath = writeTempFile("broken.sub", sub);
        std::string text = idxFile(broken, filepos, {"en"});
        std::ofstream(CutExt(subPath) + ".idx", std::ios::binary) << text;
        Loaded l;
        ASSERT_EQ(l.load(CutExt(subPath) + ".idx"), LoadResult::Loaded);
        EXPECT_EQ(l.prog.Subs.size(), 4u);
        EXPECT_TRUE(l.logged("ends early or is damaged"));
    }
    // Not a pair at all: a text ".sub" and an ".idx" of something else are no VobSub.
    EXPECT_FALSE(isVobSubFile(writeTempFile("text.sub", Bytes{'{', '1', '}', '{', '2', '}', 'H', 'i'})));
    EXPECT_FALSE(isVobSubFile(writeTempFile("other.idx", Bytes{'I', 'N', 'D', 'X'})));
}

// A pair muxed by the ffmpeg command into `ext`; empty when ffmpeg does not write it.
std::string muxPair(const std::string& idx, const std::string& ext, std::string& why) {
    const std::string out = CutExt(idx) + "." + ext;
    const CommandResult mux = ffmpeg({idx}, {"-map", "0"}, out);
    why = mux.err;
    return mux.status == 0 ? out : std::string();
}

TEST(DvdTrack, MuxedIntoMatroskaLoadsTheRecordsAndPicturesOfTheStream) {
    REQUIRE_FFMPEG();
    DvdLook swapped;
    swapped.text = 2;
    swapped.edge = 1;
    swapped.entry = {0, 2, 1, 3};
    const DvdLook usual;
    Loaded want;
    const SpBuilder stream = dvdStream(4, usual);
    ASSERT_EQ(want.load(writeTempFile("dvd.sup", stream.bytes())), LoadResult::Loaded);
    // The swapped look shows the palette travels in the track's private data.
    for (const DvdLook* look : {&usual, static_cast<const DvdLook*>(&swapped)}) {
        SCOPED_TRACE(int{look->text});
        const std::string idx = writePair("dvd track", unitsOf(dvdStream(4, *look), 0), {"en"});
        std::string why;
        const std::string mkv = muxPair(idx, "mkv", why);
        if (mkv.empty()) GTEST_SKIP() << "ffmpeg does not put VobSub into Matroska: " << why;
        const ContainerInfo info = listTracks(mkv, true);
        ASSERT_EQ(info.tracks.size(), 1u);
        EXPECT_TRUE(info.tracks[0].dvd);
        EXPECT_EQ(info.tracks[0].packets, 4);
        Loaded film;
        ASSERT_EQ(film.load(mkv), LoadResult::Loaded);
        expectSameRecords(want.prog, film.prog);
        expectSamePictures(want, film);
        EXPECT_FALSE(film.prog.truncated);
    }
}

TEST(DvdTrack, ProgramStreamGathersUnitsFromTheirPackets) {
    REQUIRE_FFMPEG();
    const DvdLook look;
    const SpBuilder stream = dvdStream(3, look);
    Loaded want;
    ASSERT_EQ(want.load(writeTempFile("vob.sup", stream.bytes())), LoadResult::Loaded);
    // ffmpeg cuts each unit into packets of a program stream pack.
    const std::string idx = writePair("film", unitsOf(stream, 0), {"en"});
    std::string why;
    const std::string vob = muxPair(idx, "vob", why);
    if (vob.empty()) GTEST_SKIP() << "ffmpeg does not put VobSub into a VOB: " << why;
    const ContainerInfo info = listTracks(vob, true);
    ASSERT_EQ(info.tracks.size(), 1u);
    EXPECT_EQ(info.tracks[0].codec, "dvd_subtitle");
    Loaded film;
    ASSERT_EQ(film.load(vob), LoadResult::Loaded);
    expectSameRecords(want.prog, film.prog);
    expectSamePictures(want, film);
    EXPECT_TRUE(film.logged("carries no palette"));
}

TEST(Container, OnlyTextTracksNeedNoOcr) {
    REQUIRE_FFMPEG();
    const std::string srt = writeTempFile("talk.srt", Bytes{});
    std::ofstream(srt) << "1\r\n00:00:01,000 --> 00:00:02,000\r\nHello\r\n";
    const std::string mkv = sibling(srt, "talk.mkv");
    ASSERT_EQ(ffmpeg({srt}, {}, mkv).status, 0);
    Loaded l;
    EXPECT_EQ(l.load(mkv), LoadResult::Unsupported);
    EXPECT_TRUE(l.logged("no picture subtitle track in talk.mkv; it holds: subtitle #0 subrip (text)"));
    EXPECT_TRUE(l.logged("Its text subtitle tracks need no OCR."));
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
