// Exporting a 2,000-subtitle Blu-ray stream to Blu-ray and to HD DVD.
#include <benchmark/benchmark.h>

#include "core/context.h"
#include "export/encoder.h"
#include "export/writers.h"
#include "platform/files.h"
#include "stream/load.h"
#include "support/stream_builder.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

// Subtitles of two text-like lines: a 1200 x 110 window with strokes of four colours.
std::string sourceStream(int subtitles) {
    IndexedImage img;
    img.reset(1200, 110);
    for (int y = 0; y < 110; ++y)
        for (int x = 0; x < 1200; ++x)
            if ((y % 55) > 10 && (y % 55) < 50 && (x % 23) < 6) img.at(x, y) = static_cast<uint8_t>(1 + (x + y) % 3);
    TSUPObject o;
    o.x2 = 1200;
    o.y2 = 110;
    const Bytes rle = encodeBDObject(img, o);
    PgsBuilder b;
    for (int i = 0; i < subtitles; ++i) {
        const uint32_t t = 90000u + 270000u * static_cast<uint32_t>(i);
        b.pcs(t, {{0, 0, 360, 900}});
        b.wds(t, {{0, 360, 900, 1200, 110}});
        b.pds(t, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}, {3, 128, 128, 128, 255}});
        b.ods(t, 0, true, true, rle, 1200, 110, static_cast<uint32_t>(rle.size() + 4));
        b.end(t);
        b.pcs(t + 180000, {});
        b.end(t + 180000);
    }
    return writeTempFile("export-bench.sup", b.bytes());
}

// Subtitles of 1200 x 55 lines for a video of width x height: one at the bottom of the
// screen, or two far apart (one at the top), each an object in a window of its own.
std::string lineStream(int subtitles, uint16_t width, uint16_t height, bool two) {
    IndexedImage img;
    img.reset(1200, 55);
    for (int y = 0; y < 55; ++y)
        for (int x = 0; x < 1200; ++x)
            if (y > 10 && y < 50 && (x % 23) < 6) img.at(x, y) = static_cast<uint8_t>(1 + (x + y) % 3);
    TSUPObject o;
    o.x2 = 1200;
    o.y2 = 55;
    const Bytes rle = encodeBDObject(img, o);
    const auto x = static_cast<uint16_t>((width - 1200) / 2);
    const auto bottom = static_cast<uint16_t>(height - 80);
    PgsBuilder b;
    b.video(width, height, 1);
    for (int i = 0; i < subtitles; ++i) {
        const uint32_t t = 90000u + 270000u * static_cast<uint32_t>(i);
        if (two) {
            b.pcs(t, {{0, 0, x, 25}, {1, 1, x, bottom}});
            b.wds(t, {{0, x, 25, 1200, 55}, {1, x, bottom, 1200, 55}});
        } else {
            b.pcs(t, {{1, 0, x, bottom}});
            b.wds(t, {{0, x, bottom, 1200, 55}});
        }
        b.pds(t, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}, {3, 128, 128, 128, 255}});
        if (two) b.ods(t, 0, true, true, rle, 1200, 55, static_cast<uint32_t>(rle.size() + 4));
        b.ods(t, 1, true, true, rle, 1200, 55, static_cast<uint32_t>(rle.size() + 4));
        b.end(t);
        b.pcs(t + 180000, {});
        b.end(t + 180000);
    }
    return writeTempFile(two ? "export-bench-two.sup" : "export-bench-line.sup", b.bytes());
}

void exportAs(benchmark::State& state, int format, const std::string& path) {
    vantrel::testing::TestSession session;
    auto& [host, msg, prog, opt, ctx] = session;
    opt.rgFormat = format;
    prog.eSUPfile = path;
    Load(ctx);
    const std::string out = writeTempFile("export-bench-out.sup", {});
    for (auto _ : state) {
        exportStream(ctx, out);
        host.lines.clear();
    }
    state.counters["bytes"] = static_cast<double>(InputFile(out).size());
}

const std::string& oneLine() {
    static const std::string path = sourceStream(2000);
    return path;
}

void BM_Export2000ToBluRay(benchmark::State& state) { exportAs(state, 0, oneLine()); }
void BM_Export2000ToHdDvd(benchmark::State& state) { exportAs(state, 1, oneLine()); }
// Two windows far apart: the objects keep their own size instead of one over the screen.
void BM_Export2000TwoWindowsToBluRay(benchmark::State& state) {
    static const std::string path = lineStream(2000, 1920, 1080, true);
    exportAs(state, 0, path);
}
// A line of a 1280x720 source scaled to the HD DVD screen.
void BM_Export2000From720pToHdDvd(benchmark::State& state) {
    static const std::string path = lineStream(2000, 1280, 720, false);
    exportAs(state, 1, path);
}
BENCHMARK(BM_Export2000ToBluRay)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Export2000ToHdDvd)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Export2000TwoWindowsToBluRay)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Export2000From720pToHdDvd)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
