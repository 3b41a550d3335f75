// OCR of typical two-line subtitles: recognising one bitmap, and the batch over a stream.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ocr/ocr.h"
#include "ocr/ocr_batch.h"
#include "render/composer.h"
#include "stream/load.h"
#include "support/render_support.h"
#include "support/stream_builder.h"
#include "text/atlas.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

const std::vector<std::string> kTexts = {
    "Where are you going at this hour?|I don't know yet, but I'll be back.",
    "The quick brown fox jumps|over the lazy dog.",
    "We should leave before it gets dark.|Nobody will notice.",
    "HELLO WORLD, 2024!|Meet me at the station, okay?",
};

// A two-line text set with the glyph atlas, as a two-colour picture (1 = ink) cut to the
// rows and columns the text covers.
IndexPicture textPicture(const std::string& text) {
    RenderSession s;
    s.prog.SubKind = kSrtKind;
    fillLineY(s.prog, s.opt);
    TSUP sub;
    sub.text = text;
    sub.lineCount = static_cast<int32_t>(std::count(text.begin(), text.end(), '|') + 1);
    sub.obj[0].x1 = 100;
    sub.obj[0].x2 = 1820;
    s.prog.Subs.push_back(sub);
    DrawSub(s.ctx, 1);
    s.prog.ExportingBD = true;
    DrawSub(s.ctx, 1);
    const TSUPObject o = s.prog.Subs[0].obj[0];
    const PaletteState& pal = s.prog.pal;
    int left = o.x2, right = o.x1;
    for (int y = o.y1; y <= o.y2; ++y)
        for (int x = o.x1; x < o.x2; ++x)
            if (pal.Palette[s.prog.pics.IndexImage.at(x, y)] >= pal.cutThreshold) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    left -= 4;
    right += 5;
    const int top = o.y1 - 4, height = o.y2 - o.y1 + 9;
    IndexPicture p{right - left, height, std::vector<uint8_t>(static_cast<size_t>((right - left) * height), 0)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (pal.Palette[s.prog.pics.IndexImage.at(left + x, top + y)] >= pal.cutThreshold)
                p.pixels[static_cast<size_t>(y * p.width + x)] = 1;
    return p;
}

// A Blu-ray stream of `count` such subtitles, two seconds each, centred near the bottom.
std::string textStream(int count) {
    std::vector<IndexPicture> pictures;
    for (const std::string& t : kTexts) pictures.push_back(textPicture(t));
    PgsBuilder b;
    for (int i = 0; i < count; ++i) {
        const IndexPicture& p = pictures[static_cast<size_t>(i) % pictures.size()];
        const auto w = static_cast<uint16_t>(p.width), h = static_cast<uint16_t>(p.height);
        const auto x = static_cast<uint16_t>((1920 - w) / 2), y = static_cast<uint16_t>(1000 - h);
        const uint32_t t = 90000u * 3u * static_cast<uint32_t>(i + 1);
        const Bytes rle = bluRayRle(p);
        b.pcs(t, {{0, 0, x, y}}, 0x80);
        b.wds(t, {{0, x, y, w, h}});
        b.pds(t, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}});
        b.ods(t, 0, true, true, rle, w, h, static_cast<uint32_t>(rle.size() + 4));
        b.end(t);
        b.pcs(t + 180000, {}, 0x00);
        b.wds(t + 180000, {{0, x, y, w, h}});
        b.end(t + 180000);
    }
    return writeTempFile("ocr-bench-" + std::to_string(count) + ".sup", b.bytes());
}

struct LoadedSession : RenderSession {
    explicit LoadedSession(const std::string& path) {
        prog.eSUPfile = path;
        Load(ctx);
    }
};

// Recognising the glyphs and building the text of one two-line subtitle whose ink plane is
// ready (what ocr does after DrawSub, without the overlay and the record).
void BM_RecogniseTwoLines(benchmark::State& state) {
    LoadedSession s(textStream(1));
    s.prog.ocrRunning = true;
    DrawSub(s.ctx, 1);
    const TSUPObject& o = s.prog.Subs[0].obj[0];
    const OcrSettings settings = OcrSettings::from(s.opt);
    for (auto _ : state) {
        const Segmentation seg = segment(s.prog.pics.inkPlane, o.x2 - o.x1, o.y2 - o.y1, 4, settings);
        bool known = true;
        std::string text = buildText(seg, false, known);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_RecogniseTwoLines)->Unit(benchmark::kMicrosecond);

// The whole ocr call: recognition, text, fix-ups, replacement tables, overlay, record.
void BM_OcrTwoLines(benchmark::State& state) {
    LoadedSession s(textStream(1));
    s.prog.ocrRunning = true;
    DrawSub(s.ctx, 1);
    for (auto _ : state) {
        s.prog.Subs[0].font = kFontUndecided;
        ocr(s.ctx, 1);
    }
    state.SetLabel(s.prog.Subs[0].text);
}
BENCHMARK(BM_OcrTwoLines)->Unit(benchmark::kMicrosecond);

// What the batch does per subtitle: DrawSub in OCR mode (reading the stream file,
// decoding, composing) and ocr.
void BM_DrawSubAndOcr(benchmark::State& state) {
    LoadedSession s(textStream(4));
    int n = 0;
    for (auto _ : state) {
        const int i = n++ % 4 + 1;
        s.prog.Subs[static_cast<size_t>(i - 1)].font = kFontUndecided;
        s.prog.ocrRunning = true;
        DrawSub(s.ctx, i);
        ocr(s.ctx, i, OcrView{false});
        s.prog.ocrRunning = false;
    }
}
BENCHMARK(BM_DrawSubAndOcr)->Unit(benchmark::kMicrosecond);

// "O&CR all" over a stream of 2,000 two-line subtitles.
void BM_BatchOcr2000(benchmark::State& state) {
    LoadedSession s(textStream(2000));
    for (auto _ : state) {
        for (TSUP& sub : s.prog.Subs) sub.font = kFontUndecided;
        const OcrBatchResult r = ocrAll(s.ctx);
        benchmark::DoNotOptimize(r.totalGlyphs);
    }
    state.counters["per_subtitle_ms"] =
        benchmark::Counter(2000.0 * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BatchOcr2000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
