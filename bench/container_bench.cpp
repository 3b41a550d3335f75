// Film containers and the batch, as whole processes.
// An MKV and an M2TS of a minute of 720p video (about 150 MB) with three PGS tracks of 300
// subtitles each, made here with the ffmpeg command (skipped without it). Loading one PGS
// track ("vantrel-cli info FILM --track 0") should take no longer than extracting the same
// track with "mkvextract" (MKV; skipped without mkvtoolnix) or "ffmpeg -map 0:s:0 -c copy";
// the ffmpeg and mkvextract benchmarks report "vantrel_per_tool", the ratio of the times.
// A folder of 8 text streams read with "ocr -j 2" should take at most 0.6 of "-j 1": the
// -j 2 benchmark reports it as "j2_per_j1".
#include <cstdlib>
#include <filesystem>
#include <map>

#include <benchmark/benchmark.h>

#include "process_run.h"
#include "support/ft_streams.h"
#include "support/stream_builder.h"

using namespace vantrel::testing;
namespace fs = std::filesystem;

namespace {

bool hasCommand(const char* name) {
    return std::system(("command -v " + std::string(name) + " > /dev/null 2>&1").c_str()) == 0;
}

void skip(benchmark::State& state, const char* why) {
    state.SkipWithError(why);
    for (auto _ : state) {
    }
}

// 300 subtitles of two 6,000-byte fragments, one every 0.2 s.
std::string pgsTrack(const std::string& name) {
    PgsBuilder b;
    const Bytes chunk(6000, 0x11);
    for (uint32_t i = 0; i < 300; ++i) {
        const uint32_t t = 90000u + 18000u * i;
        b.pcs(t, {{0, 0, 100, 900}});
        b.wds(t, {{0, 100, 900, 1200, 80}});
        b.pds(t, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}});
        b.ods(t, 0, true, false, chunk, 1200, 80, 12004);
        b.ods(t, 0, false, true, chunk);
        b.end(t);
        b.pcs(t + 9000, {});
        b.wds(t + 9000, {{0, 100, 900, 1200, 80}});
        b.end(t + 9000);
    }
    return writeTempFile(name, b.bytes());
}

// The film in `extension`, made once per run; empty when ffmpeg could not make it.
const std::string& film(const std::string& extension) {
    static std::map<std::string, std::string> made;
    auto it = made.find(extension);
    if (it != made.end()) return it->second;
    std::string& path = made[extension];
    if (!hasCommand("ffmpeg")) return path;
    const std::string track = pgsTrack("bench-track.sup");
    const std::string out = (fs::path(track).parent_path() / ("bench-film." + extension)).string();
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=s=1280x720:r=24:d=62 -i '" + track + "' -i '" + track +
        "' -i '" + track +
        "' -map 0 -map 1 -map 2 -map 3 -c:v mpeg2video -q:v 1 -c:s copy -metadata:s:s:0 language=eng "
        "-metadata:s:s:1 language=fre -metadata:s:s:2 language=deu '" + out + "'";
    if (std::system(command.c_str()) == 0) path = out;
    return path;
}

std::map<std::string, double> vantrelSeconds;

void BM_ContainerLoadTrack(benchmark::State& state, const std::string& extension) {
    const std::string& f = film(extension);
    if (f.empty()) return skip(state, "ffmpeg is not installed or could not make the film");
    vantrelSeconds[extension] = runProcess(state, VANTREL_CLI, {"info", f, "--track", "0"});
    state.counters["film_MB"] = static_cast<double>(fs::file_size(f)) / 1e6;
}
BENCHMARK_CAPTURE(BM_ContainerLoadTrack, mkv, std::string("mkv"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ContainerLoadTrack, m2ts, std::string("m2ts"))->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FfmpegCopyTrack(benchmark::State& state, const std::string& extension) {
    const std::string& f = film(extension);
    if (f.empty()) return skip(state, "ffmpeg is not installed or could not make the film");
    const std::string out = (fs::path(f).parent_path() / "ffmpeg-track.sup").string();
    const double seconds = runProcess(state, "/usr/bin/env",
                                      {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", f, "-map", "0:s:0", "-c",
                                       "copy", out});
    if (vantrelSeconds[extension] > 0) state.counters["vantrel_per_tool"] = vantrelSeconds[extension] / seconds;
}
BENCHMARK_CAPTURE(BM_FfmpegCopyTrack, mkv, std::string("mkv"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FfmpegCopyTrack, m2ts, std::string("m2ts"))->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MkvextractTrack(benchmark::State& state) {
    if (!hasCommand("mkvextract")) return skip(state, "mkvextract (mkvtoolnix) is not installed");
    const std::string& f = film("mkv");
    if (f.empty()) return skip(state, "ffmpeg is not installed or could not make the film");
    const std::string out = (fs::path(f).parent_path() / "mkvextract-track.sup").string();
    // mkvextract numbers every track: the video is 0, the first subtitle track 1.
    const double seconds = runProcess(state, "/usr/bin/env", {"mkvextract", f, "tracks", "1:" + out});
    if (vantrelSeconds["mkv"] > 0) state.counters["vantrel_per_tool"] = vantrelSeconds["mkv"] / seconds;
}
BENCHMARK(BM_MkvextractTrack)->Unit(benchmark::kMillisecond)->UseRealTime();

// Eight streams of 150 two-row subtitles each, in a folder of their own.
const std::string& streamFolder() {
    static const std::string folder = [] {
        static const TextRenderer renderer(TextStyle{fontFiles(FontFamily::DejaVuSans)});
        const fs::path dir = fs::path(writeTempFile("x", {})).parent_path() / "batch";
        fs::create_directories(dir);
        for (int n = 0; n < 8; ++n) {
            std::vector<std::string> texts;
            for (int i = 0; i < 150; ++i)
                texts.push_back("Stream " + std::to_string(n) + " line " + std::to_string(i) + " of the film|and its row");
            const Bytes bytes = textStream(renderer, texts);
            const std::string one = writeTempFile("s.sup", bytes);
            fs::copy_file(one, dir / ("stream" + std::to_string(n) + ".sup"));
        }
        return dir.string();
    }();
    return folder;
}

double batchOneSeconds = 0;

void BM_OcrBatch8(benchmark::State& state) {
    const std::string jobs = std::to_string(state.range(0));
    const double seconds =
        runProcess(state, VANTREL_CLI, {"ocr", streamFolder(), "-j", jobs, "--force", "--no-glyphs"});
    if (state.range(0) == 1) batchOneSeconds = seconds;
    else if (batchOneSeconds > 0) state.counters["j2_per_j1"] = seconds / batchOneSeconds;
}
BENCHMARK(BM_OcrBatch8)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
