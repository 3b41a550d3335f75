// "vantrel-cli info --json" as a whole process on a 2,000-subtitle Blu-ray stream of about
// 52 MB, beside "ffprobe -show_packets" on the same file as the yardstick. The JSON run
// should take at most a twentieth of the ffprobe run: the ffprobe benchmark reports the ratio
// as "ffprobe_per_info_json" (it is skipped where ffprobe is not installed).
#include <cstdlib>

#include <benchmark/benchmark.h>

#include "process_run.h"
#include "support/stream_builder.h"

using namespace vantrel::testing;

namespace {

// Two fragments of 13,000 bytes per subtitle, as a full-screen picture splits in a real stream.
const std::string& stream52MB() {
    static const std::string path = [] {
        PgsBuilder b;
        const Bytes chunk(13000, 0x11);
        for (uint32_t i = 0; i < 2000; ++i) {
            const uint32_t t = 90000u * i * 3;
            b.pcs(t, {{0, 0, 100, 900}});
            b.wds(t, {{0, 100, 900, 1700, 120}});
            b.pds(t, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}});
            b.ods(t, 0, true, false, chunk, 1700, 120, 26004);
            b.ods(t, 0, false, true, chunk);
            b.end(t);
            b.pcs(t + 180000, {});
            b.wds(t + 180000, {{0, 100, 900, 1700, 120}});
            b.end(t + 180000);
        }
        return writeTempFile("info-bench.sup", b.bytes());
    }();
    return path;
}

// The mean time of the JSON run, for the ratio the ffprobe benchmark reports.
double infoJsonSeconds = 0;

void BM_InfoJson2000(benchmark::State& state) {
    infoJsonSeconds = runProcess(state, VANTREL_CLI, {"info", "--json", stream52MB()});
}
BENCHMARK(BM_InfoJson2000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_InfoText2000(benchmark::State& state) { runProcess(state, VANTREL_CLI, {"info", stream52MB()}); }
BENCHMARK(BM_InfoText2000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FfprobeShowPackets2000(benchmark::State& state) {
    if (std::system("command -v ffprobe > /dev/null 2>&1") != 0) {
        state.SkipWithError("ffprobe is not installed");
        for (auto _ : state) {
        }
        return;
    }
    const double seconds = runProcess(state, "/usr/bin/ffprobe", {"-v", "error", "-show_packets", stream52MB()});
    if (infoJsonSeconds > 0) state.counters["ffprobe_per_info_json"] = seconds / infoJsonSeconds;
}
BENCHMARK(BM_FfprobeShowPackets2000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
