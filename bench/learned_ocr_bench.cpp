// The learned OCR over a 2,000-subtitle stream rendered with FreeType, against two ways of
// reading the same pictures with Tesseract alone: the library in this process reading every
// line, and the tesseract command once per subtitle picture. Each reports the time per
// subtitle (CPU and wall), the CPU time of the whole stream and the character accuracy; the
// learned run also reports how many times faster it is than each baseline measured before it.
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/encoding.h"
#include "ocr/ocr_batch.h"
#include "stream/load.h"
#include "support/ft_streams.h"
#include "support/render_support.h"
#include "text/srt_writer.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

constexpr int kSubtitles = 2000;
// The baselines are slow: they read a sample of the stream and are scaled to all of it.
constexpr int kLibrarySample = 100;
constexpr int kCommandSample = 20;

// CPU seconds of this process, and of the child processes that have ended. The machine
// running the benchmarks is often shared, so the comparisons use CPU time; wall time is
// reported beside it.
double processCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double childrenCpu() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    auto seconds = [](const timeval& v) { return static_cast<double>(v.tv_sec) + static_cast<double>(v.tv_usec) * 1e-6; };
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Corpus {
    TextRenderer renderer;
    std::vector<std::string> texts;
    std::string path;

    Corpus() : renderer(style()) {
        TextOptions o;
        o.count = kSubtitles;
        o.italicEvery = 7;
        o.italicWordEvery = 5;
        texts = subtitleTexts("eng", o);
        path = writeTempFile("learned-bench.sup", textStream(renderer, texts));
    }
    static TextStyle style() {
        TextStyle s;
        s.font = fontFiles(FontFamily::LiberationSans);
        s.pixelSize = 56;
        return s;
    }
};

const Corpus& corpus() {
    static const Corpus c;
    return c;
}

// Times per subtitle of the baselines, for the learned run's comparison (0: not measured).
double gLibraryPerSubtitle = 0;
double gCommandPerSubtitle = 0;

// The fill of a picture as black text on white with a white border: the cleanest picture
// a caller could hand Tesseract.
struct GreyPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

GreyPicture grey(const TextRenderer& renderer, const IndexPicture& p) {
    constexpr int kBorder = 10;
    const int levels = renderer.style().levels;
    const bool outlined = renderer.style().outlineWidth > 0;
    GreyPicture g{p.width + 2 * kBorder, p.height + 2 * kBorder, {}};
    g.pixels.assign(static_cast<size_t>(g.width) * static_cast<size_t>(g.height), 255);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int index = p.at(x, y);
            const int fill = outlined ? std::max(0, index - levels) : index;
            g.pixels[static_cast<size_t>(y + kBorder) * static_cast<size_t>(g.width) + static_cast<size_t>(x + kBorder)] =
                static_cast<uint8_t>(255 - 255 * fill / levels);
        }
    return g;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t bar = text.find('|', start);
        lines.push_back(text.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos) return lines;
        start = bar + 1;
    }
}

// Tesseract's text as the program's: lines joined by "|", no blank lines.
std::string fromTesseract(const std::string& utf8) {
    std::string out, line;
    for (char c : utf8 + "\n") {
        if (c != '\n') {
            line += c;
            continue;
        }
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
        if (!line.empty()) out += (out.empty() ? "" : "|") + line;
        line.clear();
    }
    return out;
}

// libtesseract through its C interface, loaded at run time after OMP_THREAD_LIMIT=1 is
// set: loaded earlier, its thread pool makes every call several times slower.
class Tesseract {
public:
    Tesseract() {
        setenv("OMP_THREAD_LIMIT", "1", 1);
        lib_ = dlopen("libtesseract.so.5", RTLD_NOW | RTLD_LOCAL);
        if (!lib_) return;
        create_ = reinterpret_cast<void* (*)()>(dlsym(lib_, "TessBaseAPICreate"));
        init_ = reinterpret_cast<int (*)(void*, const char*, const char*)>(dlsym(lib_, "TessBaseAPIInit3"));
        psm_ = reinterpret_cast<void (*)(void*, int)>(dlsym(lib_, "TessBaseAPISetPageSegMode"));
        image_ = reinterpret_cast<void (*)(void*, const unsigned char*, int, int, int, int)>(
            dlsym(lib_, "TessBaseAPISetImage"));
        resolution_ = reinterpret_cast<void (*)(void*, int)>(dlsym(lib_, "TessBaseAPISetSourceResolution"));
        text_ = reinterpret_cast<char* (*)(void*)>(dlsym(lib_, "TessBaseAPIGetUTF8Text"));
        free_ = reinterpret_cast<void (*)(const char*)>(dlsym(lib_, "TessDeleteText"));
        delete_ = reinterpret_cast<void (*)(void*)>(dlsym(lib_, "TessBaseAPIDelete"));
        if (!create_ || !init_ || !psm_ || !image_ || !resolution_ || !text_ || !free_ || !delete_) return;
        api_ = create_();
        if (init_(api_, nullptr, "eng") != 0) {
            delete_(api_);
            api_ = nullptr;
            return;
        }
        psm_(api_, 7);   // a single text line
    }
    ~Tesseract() {
        if (api_) delete_(api_);
        if (lib_) dlclose(lib_);
    }
    bool ready() const { return api_ != nullptr; }

    std::string read(const GreyPicture& g) {
        image_(api_, g.pixels.data(), g.width, g.height, 1, g.width);
        resolution_(api_, 300);
        char* t = text_(api_);
        std::string s = t ? t : "";
        free_(t);
        return fromTesseract(s);
    }

private:
    void* lib_ = nullptr;
    void* api_ = nullptr;
    void* (*create_)() = nullptr;
    int (*init_)(void*, const char*, const char*) = nullptr;
    void (*psm_)(void*, int) = nullptr;
    void (*image_)(void*, const unsigned char*, int, int, int, int) = nullptr;
    void (*resolution_)(void*, int) = nullptr;
    char* (*text_)(void*) = nullptr;
    void (*free_)(const char*) = nullptr;
    void (*delete_)(void*) = nullptr;
};

// CPU and wall time per subtitle and for the whole stream, and the character accuracy of the
// texts read from the first subtitles (with and without italic tags).
void report(benchmark::State& state, double cpu, double wall, const std::vector<std::string>& read) {
    const std::vector<std::string>& expected = corpus().texts;
    const double n = static_cast<double>(read.size());
    double sum = 0, sumNoTags = 0;
    for (size_t i = 0; i < read.size(); ++i) {
        sum += charAccuracy(expected[i], read[i]);
        sumNoTags += charAccuracyWithoutTags(expected[i], read[i]);
    }
    state.counters["cpu_ms_per_subtitle"] = cpu / n * 1e3;
    state.counters["wall_ms_per_subtitle"] = wall / n * 1e3;
    state.counters["stream_cpu_s"] = cpu / n * kSubtitles;
    state.counters["char_accuracy_pct"] = sum / n * 100;
    state.counters["char_accuracy_no_tags_pct"] = sumNoTags / n * 100;
    state.counters["subtitles_read"] = n;
}

// Tesseract in this process reading every line of the first subtitles, each line a picture
// of its own (initialisation not counted).
void BM_LibTesseractPerLine(benchmark::State& state) {
    const Corpus& c = corpus();
    Tesseract tess;
    if (!tess.ready()) {
        state.SkipWithError("libtesseract.so.5 or its English data is missing (libtesseract5, tesseract-ocr-eng)");
        return;
    }
    std::vector<std::vector<GreyPicture>> lines;
    for (int i = 0; i < kLibrarySample; ++i) {
        lines.emplace_back();
        for (const std::string& l : linesOf(c.texts[static_cast<size_t>(i)]))
            lines.back().push_back(grey(c.renderer, c.renderer.picture(l)));
    }
    double cpu = 0, wall = 0;
    std::vector<std::string> read;
    for (auto _ : state) {
        read.clear();
        const double cpu0 = processCpu(), wall0 = wallNow();
        for (const auto& sub : lines) {
            std::string text;
            for (const GreyPicture& g : sub) text += (text.empty() ? "" : "|") + tess.read(g);
            read.push_back(text);
        }
        cpu = processCpu() - cpu0;
        wall = wallNow() - wall0;
    }
    gLibraryPerSubtitle = cpu / kLibrarySample;
    report(state, cpu, wall, read);
}
BENCHMARK(BM_LibTesseractPerLine)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The tesseract command once per subtitle picture, as most subtitle tools call it: the
// picture written to a file, a process started, the text read back.
void BM_TesseractCommandPerPicture(benchmark::State& state) {
    if (std::system("tesseract --version >/dev/null 2>&1") != 0) {
        state.SkipWithError("the tesseract command is missing (tesseract-ocr)");
        return;
    }
    const Corpus& c = corpus();
    const auto dir = std::filesystem::path(writeTempFile("tesseract-pictures", {})).parent_path();
    std::vector<std::string> files;
    for (int i = 0; i < kCommandSample; ++i) {
        const GreyPicture g = grey(c.renderer, c.renderer.picture(c.texts[static_cast<size_t>(i)]));
        const std::string file = (dir / ("sub" + std::to_string(i) + ".pgm")).string();
        std::ofstream out(file, std::ios::binary);
        out << "P5\n" << g.width << ' ' << g.height << "\n255\n";
        out.write(reinterpret_cast<const char*>(g.pixels.data()), static_cast<std::streamsize>(g.pixels.size()));
        files.push_back(file);
    }
    double cpu = 0, wall = 0;
    std::vector<std::string> read;
    for (auto _ : state) {
        read.clear();
        const double cpu0 = processCpu() + childrenCpu(), wall0 = wallNow();
        for (const std::string& f : files) {
            std::string text;
            if (FILE* p = popen(("tesseract '" + f + "' stdout -l eng --psm 6 2>/dev/null").c_str(), "r")) {
                char buffer[4096];
                size_t n;
                while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) text.append(buffer, n);
                pclose(p);
            }
            read.push_back(fromTesseract(text));
        }
        cpu = processCpu() + childrenCpu() - cpu0;
        wall = wallNow() - wall0;
    }
    gCommandPerSubtitle = cpu / kCommandSample;
    report(state, cpu, wall, read);
}
BENCHMARK(BM_TesseractCommandPerPicture)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// One number out of the learned engine's totals line, e.g. "the teacher read 16 lines".
int64_t numberBefore(const std::string& log, const std::string& word) {
    const size_t at = log.find(word);
    if (at == std::string::npos || at == 0) return -1;
    size_t start = at - 1;
    while (start > 0 && log[start - 1] >= '0' && log[start - 1] <= '9') --start;
    return std::atoll(log.c_str() + start);
}

// What "vantrel-cli ocr" does with the stream: load, recognise every subtitle with the
// learned engine, build the SRT text.
void BM_LearnedOcrStream(benchmark::State& state) {
    const Corpus& c = corpus();
    double cpu = 0, wall = 0;
    std::vector<std::string> read;
    std::string log;
    for (auto _ : state) {
        RenderSession s;
        s.opt.ocrEngine = kOcrLearned;
        s.opt.ocrLanguage = "eng";
        s.opt.cbTags = true;
        const double cpu0 = processCpu(), wall0 = wallNow();
        s.prog.eSUPfile = c.path;
        Load(s.ctx);
        ocrAll(s.ctx);
        SUP2Srt(s.ctx);
        const std::string srt = srtFileText(s.prog.mSRT, static_cast<TextEncoding>(s.opt.coSrtEncoding));
        cpu = processCpu() - cpu0;
        wall = wallNow() - wall0;
        benchmark::DoNotOptimize(srt);
        log = s.host.logText();
        read.clear();
        for (const TSUP& sub : s.prog.Subs) read.push_back(sub.text);
    }
    if (log.find("Using the rule engine instead.") != std::string::npos) {
        state.SkipWithError("the learned engine did not run");
        return;
    }
    read.resize(c.texts.size());   // a subtitle the run lost counts as read empty
    report(state, cpu, wall, read);
    const double perSubtitle = cpu / kSubtitles;
    // "N glyphs, ... (M glyphs)": the share of glyphs the teacher saw.
    const int64_t glyphs = numberBefore(log, " glyphs, ");
    const int64_t teacherGlyphs = numberBefore(log, " glyphs);");
    const int64_t teacherLines = numberBefore(log, " lines holding");
    // A fresh run always asks the teacher something; 0 means the engine does not count it.
    if (glyphs > 0 && teacherGlyphs > 0) state.counters["teacher_glyph_pct"] = 100.0 * teacherGlyphs / glyphs;
    if (teacherLines >= 0) state.counters["teacher_lines"] = static_cast<double>(teacherLines);
    const int64_t teacherCrops = numberBefore(log, " word crops");
    if (teacherCrops >= 0) state.counters["teacher_crops"] = static_cast<double>(teacherCrops);
    if (gLibraryPerSubtitle > 0) state.counters["x_faster_than_lib_per_line"] = gLibraryPerSubtitle / perSubtitle;
    if (gCommandPerSubtitle > 0) state.counters["x_faster_than_command"] = gCommandPerSubtitle / perSubtitle;
}
BENCHMARK(BM_LearnedOcrStream)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// "Next" after "OCR all" over a 100-subtitle disc-like stream (glyphs at fractional pens,
// pictures without text among the text as the errors to walk): each click shows the stored
// text and its frames. Time per click.
void BM_LearnedNextOver100(benchmark::State& state) {
    StyleSpec look{FontFamily::LiberationSans, 52, {235, 235, 235}, {16, 16, 16}, 2, 8, 1920, 1080, 4, 1.0};
    const TextRenderer renderer(look.style());
    TextOptions o;
    o.count = 95;
    o.italicEvery = 6;
    std::vector<SubtitleText> subs;
    for (const std::string& t : subtitleTexts("eng", o)) {
        subs.push_back({t, {}});
        if (subs.size() % 19 == 7) subs.push_back({{}, {}, static_cast<uint32_t>(subs.size())});
    }
    RenderSession s;
    s.opt.ocrEngine = kOcrLearned;
    s.opt.ocrLanguage = "eng";
    s.prog.eSUPfile = writeTempFile("next-bench.sup", textStream(renderer, subs));
    Load(s.ctx);
    ocrAll(s.ctx);
    int64_t clicks = 0;
    for (auto _ : state) {
        int32_t n = bNextClick(s.ctx, 0);
        if (n == 0) {
            state.SkipWithError("no subtitle to walk to");
            return;
        }
        for (; n != 0; n = bNextClick(s.ctx, n)) ++clicks;
    }
    state.counters["clicks"] = static_cast<double>(clicks);
    state.counters["ms_per_click"] =
        benchmark::Counter(static_cast<double>(clicks) / 1000.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LearnedNextOver100)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
