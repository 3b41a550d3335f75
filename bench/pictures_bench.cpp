// Saving a 2,000-subtitle Blu-ray stream as pictures: 1080p PNG, 1280x720 PNG, and BMP.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>

#include "core/context.h"
#include "export/encoder.h"
#include "pictures/bitmaps.h"
#include "stream/load.h"
#include "support/render_support.h"
#include "support/stream_builder.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

constexpr int kSubtitles = 2000;

// Subtitles of two text-like lines in a 1200 x 110 window at (360, 900).
std::string sourceStream() {
    const IndexPicture lines = twoTextLines(1200, 110);
    IndexedImage img;
    img.reset(lines.width, lines.height);
    img.pixels = lines.pixels;
    TSUPObject o;
    o.x2 = 1200;
    o.y2 = 110;
    const Bytes rle = encodeBDObject(img, o);
    PgsBuilder b;
    for (int i = 0; i < kSubtitles; ++i) {
        const uint32_t t = 90000u + 270000u * static_cast<uint32_t>(i);
        b.pcs(t, {{0, 0, 360, 900}});
        b.wds(t, {{0, 360, 900, 1200, 110}});
        b.pds(t, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}});
        b.ods(t, 0, true, true, rle, 1200, 110, static_cast<uint32_t>(rle.size() + 4));
        b.end(t);
        b.pcs(t + 180000, {});
        b.end(t + 180000);
    }
    return writeTempFile("pictures-bench.sup", b.bytes());
}

void saveAll(benchmark::State& state, bool png, bool reduced, bool bmp) {
    static const std::string path = sourceStream();
    vantrel::testing::TestSession session;
    auto& [host, msg, prog, opt, ctx] = session;
    prog.eSUPfile = path;
    Load(ctx);
    opt.eWorkDir = std::filesystem::path(path).parent_path().string();
    opt.cbPNG = png;
    opt.cb720p = reduced;
    opt.cbBMP = bmp;
    opt.cbBDN = true;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const SaveBitmapsResult r = saveBitmaps(ctx);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(r.saved);
        host.lines.clear();
    }
    state.counters["ms_per_picture"] =
        seconds * 1000.0 / (static_cast<double>(state.iterations()) * kSubtitles);
    std::filesystem::remove_all(bitmapFolder(prog, opt));
}

void BM_Save2000Png1080(benchmark::State& state) { saveAll(state, true, false, false); }
void BM_Save2000Png720(benchmark::State& state) { saveAll(state, true, true, false); }
void BM_Save2000Bmp(benchmark::State& state) { saveAll(state, false, false, true); }
BENCHMARK(BM_Save2000Png1080)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Save2000Png720)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Save2000Bmp)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
