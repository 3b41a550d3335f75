// The decoder-model check of a generated Blu-ray stream of 2,000 subtitles, about 50 MB, and of
// crafted streams of many small segments at 1, 2 and 4 MB: the time should double with the size.
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

// One epoch of `megabytes` MB of tiny objects that follow each other one tick apart: each of
// the 24 bytes that enter the coded data buffer per object takes a little longer to arrive
// than the tick, so thousands of segments are in the buffer at once without filling it. A
// walk that looks at every segment in the buffer for every decoding time takes the square.
std::string manySegments(int megabytes) {
    PgsBuilder b;
    // 4x2, colour 1: per line a run of 4 and the end of the line
    const Bytes object = {0x00, 0x80 | 4, 0x01, 0x00, 0x00, 0x00, 0x80 | 4, 0x01, 0x00, 0x00};
    uint32_t dts = 1000;
    b.dts(dts).pcs(dts + 6000, {});
    b.dts(dts).wds(dts + 6000, {{0, 100, 900, 4, 2}});
    b.pds(dts, {{1, 235, 128, 128, 255}});
    for (uint16_t id = 0; b.offset() < static_cast<size_t>(megabytes) << 20; id = (id + 1) % 64) {
        ++dts;
        b.dts(dts).ods(dts + 1, id, true, true, object, 4, 2);
    }
    b.end(dts + 1);
    return writeTempFile("check-many.sup", b.bytes());
}

void BM_CheckManySegments(benchmark::State& state) {
    const std::string path = manySegments(static_cast<int>(state.range(0)));
    size_t violations = 0, segments = 0;
    for (auto _ : state) {
        const CheckReport r = checkPgsFile(path);
        violations = r.violations.size();
        segments = r.segments;
        benchmark::DoNotOptimize(violations);
    }
    state.counters["segments"] = static_cast<double>(segments);
    state.counters["violations"] = static_cast<double>(violations);
}
BENCHMARK(BM_CheckManySegments)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace
