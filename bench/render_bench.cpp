// DrawSub of a two-line 1080p Blu-ray subtitle in the viewer, OCR and export modes.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "render/composer.h"
#include "stream/load.h"
#include "support/render_support.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

// Two lines of text-like strokes in a 1400x140 window at (260, 900), antialiased edges in
// a 16-entry palette, the run-length data split over ODS fragments as an authoring tool would.
std::string twoLineStream() {
    IndexPicture pic = twoTextLines(1400, 140);
    for (size_t i = 0; i < pic.pixels.size(); ++i) {
        // Grey edge pixels between the outline and the background, as antialiasing leaves them.
        if (pic.pixels[i] == 2 && i % 7 == 0) pic.pixels[i] = static_cast<uint8_t>(3 + i % 13);
    }
    const Bytes rle = bluRayRle(pic);
    PgsBuilder b;
    b.pcs(90000, {{0, 0, 260, 900}});
    b.wds(90000, {{0, 260, 900, 1400, 140}});
    std::vector<PgsBuilder::Entry> pal{{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}, {2, 16, 128, 128, 255}};
    for (uint8_t k = 3; k < 16; ++k) pal.push_back({k, static_cast<uint8_t>(16 + 15 * k), 128, 128, static_cast<uint8_t>(16 * k)});
    b.pds(90000, pal);
    const size_t chunk = 65000;
    for (size_t at = 0; at < rle.size(); at += chunk) {
        const Bytes part(rle.begin() + static_cast<ptrdiff_t>(at),
                         rle.begin() + static_cast<ptrdiff_t>(std::min(rle.size(), at + chunk)));
        const bool first = at == 0;
        const bool last = at + chunk >= rle.size();
        b.ods(90000, 0, first, last, part, 1400, 140, static_cast<uint32_t>(rle.size() + 4));
    }
    b.end(90000);
    b.pcs(270000, {});
    b.wds(270000, {{0, 260, 900, 1400, 140}});
    b.end(270000);
    return writeTempFile("two-lines.sup", b.bytes());
}

struct Mode {
    bool ocr = false;
    bool exportBD = false;
    bool borders = false;
};

void drawSub(benchmark::State& state, Mode mode) {
    static const std::string path = twoLineStream();
    RenderSession s;
    s.prog.eSUPfile = path;
    Load(s.ctx);
    s.opt.cbBorders = mode.borders;
    s.opt.cbPalette = mode.borders;
    s.prog.ocrRunning = mode.ocr;
    s.prog.ExportingBD = mode.exportBD;
    for (auto _ : state) {
        DrawSub(s.ctx, 1);
        benchmark::DoNotOptimize(s.prog.pics.IndexImage.pixels.data());
        benchmark::ClobberMemory();
    }
}

void BM_DrawSubDisplay(benchmark::State& state) { drawSub(state, {}); }
void BM_DrawSubDisplayBordersPalette(benchmark::State& state) { drawSub(state, {false, false, true}); }
void BM_DrawSubOcr(benchmark::State& state) { drawSub(state, {true, false, false}); }
void BM_DrawSubExport(benchmark::State& state) { drawSub(state, {false, true, false}); }

BENCHMARK(BM_DrawSubDisplay)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawSubDisplayBordersPalette)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawSubOcr)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawSubExport)->Unit(benchmark::kMicrosecond);

}  // namespace
