// The decoder-model check of a generated Blu-ray stream of 2,000 subtitles, about 50 MB.
#include <benchmark/benchmark.h>

#include "stream/pgs_check.h"
#include "support/stream_builder.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

constexpr uint16_t kWidth = 1700, kHeight = 80;

// Text-like lines: transparent gaps, a few single pixels of outline and runs of fill,
// about 300 bytes per line, 25 KB per subtitle.
Bytes textObject() {
    Bytes out;
    for (int y = 0; y < kHeight; ++y) {
        for (int g = 0; g < kWidth / 50; ++g) {
            out.insert(out.end(), {0x00, 30});                 // 30 transparent
            out.insert(out.end(), {1, 2, 3, 2});               // 4 single pixels
            out.insert(out.end(), {0x00, 0x80 | 16, 3});       // 16 of colour 3
        }
        out.insert(out.end(), {0x00, 0x00});
    }
    return out;
}

// Every subtitle shows for two seconds in an epoch of its own, with the decoding times the
// model asks for, so that the check walks everything and reports nothing.
std::string modelStream(int subtitles) {
    PgsBuilder b;
    const Bytes object = textObject();
    const auto decode = static_cast<uint32_t>(PgsModel::objectDecodeTicks(int64_t{kWidth} * kHeight));
    const auto transfer = static_cast<uint32_t>(PgsModel::planeTicks(int64_t{kWidth} * kHeight));
    const auto clear = static_cast<uint32_t>(PgsModel::planeTicks(1920 * 1080));
    std::vector<PgsBuilder::Entry> pal;
    for (int k = 0; k < 4; ++k) pal.push_back({static_cast<uint8_t>(k), 16, 128, 128, static_cast<uint8_t>(k * 80)});
    for (int i = 0; i < subtitles; ++i) {
        const uint32_t start = 90000u * 3 * static_cast<uint32_t>(i + 1);
        const uint32_t dts = start - std::max(clear, decode) - transfer;
        b.dts(dts).pcs(start, {{0, 0, 100, 900}});
        b.dts(dts).wds(start - transfer, {{0, 100, 900, kWidth, kHeight}});
        b.pds(dts, pal);
        b.dts(dts).ods(dts + decode, 0, true, true, object, kWidth, kHeight);
        b.end(dts + decode);
        const uint32_t end = start + 180000;
        b.dts(end - transfer).pcs(end, {}, 0x00);
        b.dts(end - transfer).wds(end - transfer, {{0, 100, 900, kWidth, kHeight}});
        b.end(end - transfer);
    }
    return writeTempFile("check-bench.sup", b.bytes());
}

void BM_CheckBluRay2000(benchmark::State& state) {
    static const std::string path = modelStream(2000);
    size_t violations = 0;
    for (auto _ : state) {
        const CheckReport r = checkPgsFile(path);
        violations = r.violations.size();
        benchmark::DoNotOptimize(violations);
    }
    state.counters["violations"] = static_cast<double>(violations);
}
BENCHMARK(BM_CheckBluRay2000)->Unit(benchmark::kMillisecond);

}  // namespace
