// Setting the two lines of a typical text subtitle with the glyph atlas.
#include <benchmark/benchmark.h>

#include "core/context.h"
#include "text/atlas.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;

namespace {

const char* const kLines[] = {"<i>I don't think we should be here,", "not after what happened last time.</i>"};

struct TextState : vantrel::testing::TestSession {
    TextState() {
        prog.SubKind = kSrtKind;
        prog.Subs.resize(1);
        prog.Subs[0].obj[0].x1 = 500;
        prog.Subs[0].obj[0].x2 = 1420;
        for (int i = 0; i <= 16; ++i) {
            prog.pal.GreyMap[static_cast<size_t>(i < 8 ? 16 * i : 16 * i - 1)] = static_cast<uint8_t>(2 + i);
            prog.pal.Alpha[static_cast<size_t>(2 + i)] = 200;
        }
        fillLineY(prog, opt);
        prog.pics.ensureAllocated();
        prog.pics.Overlay.reset(kScreenWidth, kScreenHeight);
    }
    void drawBoth() {
        prog.italicOn = false;
        DrawLine(ctx, kLines[0], 2, &prog.Subs[0].obj[0], true);
        DrawLine(ctx, kLines[1], 1, &prog.Subs[0].obj[0], true);
    }
};

void BM_MeasureTwoLines(benchmark::State& state) {
    TextState s;
    for (auto _ : state) {
        s.prog.italicOn = false;
        benchmark::DoNotOptimize(DrawLine(s.ctx, kLines[0], 2, nullptr, false));
        benchmark::DoNotOptimize(DrawLine(s.ctx, kLines[1], 1, nullptr, false));
    }
}
BENCHMARK(BM_MeasureTwoLines);

void BM_DrawTwoLinesDisplay(benchmark::State& state) {
    TextState s;
    for (auto _ : state) s.drawBoth();
}
BENCHMARK(BM_DrawTwoLinesDisplay)->Unit(benchmark::kMicrosecond);

void BM_DrawTwoLinesExport(benchmark::State& state) {
    TextState s;
    s.prog.ExportingBD = true;
    for (auto _ : state) s.drawBoth();
}
BENCHMARK(BM_DrawTwoLinesExport)->Unit(benchmark::kMicrosecond);

}  // namespace
