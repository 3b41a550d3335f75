// Loading generated Blu-ray and HD DVD streams of 2,000 subtitles, and the memory a load of
// crafted streams takes: peak heap bytes per input byte, counted by the allocator below.
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include <benchmark/benchmark.h>

#include "core/context.h"
#include "stream/load.h"
#include "support/stream_builder.h"
#include "support/recording_host.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

// Heap bytes in use and their peak since the last reset, over every operator new of the
// benchmark program.
std::atomic<int64_t> heapInUse{0};
std::atomic<int64_t> heapPeak{0};

void* counted(void* p) {
    if (!p) throw std::bad_alloc();
    const int64_t now = heapInUse += static_cast<int64_t>(malloc_usable_size(p));
    int64_t peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void uncounted(void* p) {
    if (!p) return;
    heapInUse -= static_cast<int64_t>(malloc_usable_size(p));
    std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return counted(std::malloc(n ? n : 1)); }
void* operator new[](std::size_t n) { return counted(std::malloc(n ? n : 1)); }
void operator delete(void* p) noexcept { uncounted(p); }
void operator delete[](void* p) noexcept { uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { uncounted(p); }

namespace {

// About 10 KB of object data per subtitle, split over fragments as a real stream would.
std::string blurayStream(int subtitles) {
    PgsBuilder b;
    const Bytes chunk(5000, 0x11);
    for (int i = 0; i < subtitles; ++i) {
        const uint32_t t = 90000u * static_cast<uint32_t>(i) * 3;
        b.pcs(t, {{0, 0, 100, 900}});
        b.wds(t, {{0, 100, 900, 1700, 120}});
        std::vector<PgsBuilder::Entry> pal;
        for (int k = 0; k < 16; ++k)
            pal.push_back({static_cast<uint8_t>(k), 16, 128, 128, static_cast<uint8_t>(k * 16)});
        b.pds(t, pal);
        b.ods(t, 0, true, false, chunk, 1700, 120, 10004);
        b.ods(t, 0, false, true, chunk);
        b.end(t);
        b.pcs(t + 180000, {});
        b.wds(t + 180000, {{0, 100, 900, 1700, 120}});
        b.end(t + 180000);
    }
    return writeTempFile("bench.sup", b.bytes());
}

std::string hddvdStream(int packets) {
    SpBuilder b;
    const Bytes pixels(4000, 0x55);
    for (int i = 0; i < packets; ++i) {
        Bytes first = SpBuilder::staDsp();
        auto append = [&](const Bytes& c) { first.insert(first.end(), c.begin(), c.end()); };
        append(SpBuilder::setDarea(true, 100, 1800, 900, 1000));
        append(SpBuilder::setDspxa(true, 10, 2010));
        append(SpBuilder::setColor2({}));
        append(SpBuilder::setContr2({}));
        append(SpBuilder::cmdEnd());
        Bytes second = SpBuilder::stpDsp();
        second.push_back(0xFF);
        b.packet(90000u * static_cast<uint32_t>(i) * 3, true, pixels, {{0, first}, {200, second, true}});
    }
    return writeTempFile("bench-hd.sup", b.bytes());
}

void loadFile(benchmark::State& state, const std::string& path) {
    RecordingHost host;
    MessageLog msg(host);
    Options opt;
    for (auto _ : state) {
        Program prog;
        Context ctx{prog, opt, msg};
        prog.eSUPfile = path;
        Load(ctx);
        benchmark::DoNotOptimize(prog.Subs.data());
        host.lines.clear();
    }
}

void BM_LoadBluRay2000(benchmark::State& state) {
    static const std::string path = blurayStream(2000);
    loadFile(state, path);
}
BENCHMARK(BM_LoadBluRay2000)->Unit(benchmark::kMillisecond);

void BM_LoadHDDVD2000(benchmark::State& state) {
    static const std::string path = hddvdStream(2000);
    loadFile(state, path);
}
BENCHMARK(BM_LoadHDDVD2000)->Unit(benchmark::kMillisecond);

// Loads a crafted 16 MiB stream and reports the peak heap bytes the load took per input byte.
void loadCrafted(benchmark::State& state, const Bytes& bytes, const char* name) {
    const std::string path = writeTempFile(name, bytes);
    RecordingHost host;
    MessageLog msg(host);
    Options opt;
    double perByte = 0;
    size_t records = 0;
    for (auto _ : state) {
        const int64_t before = heapInUse.load();
        heapPeak = before;
        {
            Program prog;
            Context ctx{prog, opt, msg};
            prog.eSUPfile = path;
            Load(ctx);
            records = prog.Subs.size();
        }
        perByte = static_cast<double>(heapPeak.load() - before) / static_cast<double>(bytes.size());
        host.lines.clear();
    }
    state.counters["peak_bytes_per_input_byte"] = perByte;
    state.counters["records"] = static_cast<double>(records);
}

void BM_LoadCraftedBluRay16MiB(benchmark::State& state) {
    loadCrafted(state, craftedBluRay(16 << 20), "crafted-bd.sup");
}
BENCHMARK(BM_LoadCraftedBluRay16MiB)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_LoadCraftedSubpictures16MiB(benchmark::State& state) {
    loadCrafted(state, craftedSubpictures(16 << 20), "crafted-sp.sup");
}
BENCHMARK(BM_LoadCraftedSubpictures16MiB)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
