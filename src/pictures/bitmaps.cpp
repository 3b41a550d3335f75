// The bitmap saving loop, the saving step of the composer and the 1280x720 reduction.
#include "pictures/bitmaps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "core/job.h"
#include "core/log_names.h"
#include "pictures/scripts.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/image_io.h"
#include "render/palette.h"

namespace vantrel {
namespace {

constexpr int kReducedWidth = 1280;
constexpr int kReducedHeight = 720;

// Palette look-ups of one picture. A subtitle has few colours and its averages repeat, so
// most look-ups are answered here instead of by a search of all 256 entries.
class NearestColorCache {
public:
    explicit NearestColorCache(const PaletteState& pal) : pal_(pal) { keys_.fill(kEmpty); }

    uint8_t operator()(int32_t r, int32_t g, int32_t b) {
        if (r < 0 || g < 0 || b < 0 || r > 255 || g > 255 || b > 255) return NearestColor(pal_, r, g, b);
        const auto key = static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b) << 16;
        const uint32_t slot = (key * 2654435761u) >> (32 - kBits);
        if (keys_[slot] != key) {
            keys_[slot] = key;
            values_[slot] = NearestColor(pal_, r, g, b);
        }
        return values_[slot];
    }

private:
    static constexpr int kBits = 12;
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
    const PaletteState& pal_;
    std::array<uint32_t, 1u << kBits> keys_;
    std::array<uint8_t, 1u << kBits> values_{};
};

// Text subtitles: for every grey level the step of the grey ramp (indexes 2..18) nearest to
// it; between equally near steps the brighter, more opaque one, so that a solid fill keeps
// the level and opacity of the full-size picture.
std::array<uint8_t, 256> greyRampIndexes(const PaletteState& pal) {
    std::array<uint8_t, 256> out{};
    for (int v = 0; v < 256; ++v) {
        int best = 2, bestDistance = 1 << 30;
        for (int k = 2; k <= 18; ++k) {
            const int distance = std::abs(static_cast<int>(pal.Palette[static_cast<size_t>(k)] & 0xFF) - v);
            if (distance < bestDistance || (distance == bestDistance && pal.Alpha[static_cast<size_t>(k)] >=
                                                                           pal.Alpha[static_cast<size_t>(best)])) {
                best = k;
                bestDistance = distance;
            }
        }
        out[static_cast<size_t>(v)] = static_cast<uint8_t>(best);
    }
    return out;
}

// Reduces one rectangle (x1..x2 x y1..y2, both ends taken) into `out`.
void reduceRect(const IndexedImage& src, const PaletteState& pal, const TSUPObject& o, TableKind subKind,
                bool testTransparent, NearestColorCache& nearest, const std::array<uint8_t, 256>& greyRamp,
                IndexedImage& out) {
    constexpr float s = 1.5f;                           // source pixels per target pixel
    constexpr float factor = (1.0f / s) * (1.0f / s);   // the area of one source pixel
    const uint8_t T = pal.TranspIdx;
    const int tx0 = 2 * o.x1 / 3;
    const int tx1 = std::min(2 * o.x2 / 3, out.width - 1);
    const int ty0 = 2 * o.y1 / 3;
    const int ty1 = std::min(2 * o.y2 / 3, out.height - 1);
    for (int ty = ty0; ty <= ty1; ++ty) {
        const float sy0 = s * static_cast<float>(ty);
        const float sy1 = sy0 + s;
        const int y0 = static_cast<int>(std::floor(sy0));
        const int y1 = std::min(static_cast<int>(std::ceil(sy1)) - 1, src.height - 1);
        for (int tx = tx0; tx <= tx1; ++tx) {
            const float sx0 = s * static_cast<float>(tx);
            const float sx1 = sx0 + s;
            const int x0 = static_cast<int>(std::floor(sx0));
            const int x1 = std::min(static_cast<int>(std::ceil(sx1)) - 1, src.width - 1);
            float R = 0, G = 0, B = 0;
            bool transparent = false;
            for (int y = y0; y <= y1; ++y) {
                const auto fy = static_cast<float>(y);
                float wy = 1;
                if (fy < sy0) wy -= sy0 - fy;
                if (fy + 1 > sy1) wy -= fy + 1 - sy1;
                for (int x = x0; x <= x1; ++x) {
                    const auto fx = static_cast<float>(x);
                    float wx = 1;
                    if (fx < sx0) wx -= sx0 - fx;
                    if (fx + 1 > sx1) wx -= fx + 1 - sx1;
                    const uint8_t c = src.at(x, y);
                    if (testTransparent && pal.Alpha[c] <= pal.Alpha[T]) {
                        transparent = true;
                        continue;
                    }
                    const Color color = pal.Palette[c];
                    const float w = wx * wy * factor;
                    R += static_cast<float>(color & 0xFF) * w;
                    G += static_cast<float>((color >> 8) & 0xFF) * w;
                    B += static_cast<float>((color >> 16) & 0xFF) * w;
                }
            }
            uint8_t index = T;
            if (!transparent) {
                if (subKind == kSrtKind) {
                    index = greyRamp[static_cast<size_t>(std::clamp(std::lround(R), 0L, 255L))];
                } else {
                    index = nearest(static_cast<int32_t>(R), static_cast<int32_t>(G), static_cast<int32_t>(B));
                }
            }
            out.at(tx, ty) = index;
        }
    }
}

// The end of a "Writing" status line: position and remaining time.
std::string progressOf(int64_t n, int64_t count, const std::string& remaining) {
    return " (" + std::to_string(n) + "/" + std::to_string(count) + ") Remaining time: " + remaining;
}

}  // namespace

std::string bitmapSourceName(const Program& prog) {
    if (prog.SubKind == kSrtKind) return fileNameOnly(prog.BaseName);
    // A container's track is read from a temporary copy: the pictures are named after the
    // track ("film.eng.sup"), as its stream would be.
    if (!prog.extractedStream.empty()) return prog.BaseName + ".sup";
    // The table's pixels come from the stream it was loaded from, which the file field may
    // no longer name.
    return fileNameOnly(prog.streamFile.empty() ? prog.eSUPfile : prog.streamFile);
}

std::string bitmapFolder(const Program& prog, const Options& opt) {
    std::string folder = opt.eWorkDir;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + bitmapSourceName(prog) + ".bitmaps/";
}

std::string pictureName(int64_t n) {
    const std::string digits = std::to_string(n);
    if (digits.size() >= 4) return "line" + digits;
    return "line" + std::string(4 - digits.size(), '0') + digits;
}

void reduceTo720p(const IndexedImage& source, const PaletteState& pal, const TSUP& sub, TableKind subKind,
                  uint8_t background, IndexedImage& out) {
    out.reset(kReducedWidth, kReducedHeight, background);
    out.colors = pal.Palette;
    out.transparency = pal.Alpha;
    // With every index opaque nothing is more opaque than TranspIdx, and the test would
    // blank the whole picture.
    const bool testTransparent = pal.Alpha[pal.TranspIdx] != 255;
    NearestColorCache nearest(pal);
    const std::array<uint8_t, 256> ramp = subKind == kSrtKind ? greyRampIndexes(pal) : std::array<uint8_t, 256>{};
    reduceRect(source, pal, sub.obj[0], subKind, testTransparent, nearest, ramp, out);
    const TSUPObject& second = sub.obj[1];
    if (second.x2 > second.x1) reduceRect(source, pal, second, subKind, testTransparent, nearest, ramp, out);
}

void savePictureFiles(Context& ctx, const std::string& picBase, int32_t n) {
    const Program& prog = ctx.prog;
    const Options& opt = ctx.opt;
    const Pictures& pics = prog.pics;
    if (opt.cbBMP) {
        const RgbImage& d = pics.display;
        writeBmp(picBase + ".bmp", d.width, d.height, d.pixels.data(), static_cast<size_t>(d.width));
    }
    if (!opt.cbPNG) return;
    const IndexedImage& img = pics.IndexImage;
    if (!opt.cb720p) {
        writeIndexedPng(picBase + ".png", img.width, img.height, img.pixels.data(), static_cast<size_t>(img.width),
                        img.colors, img.transparency, 256, PngEffort::Fast);
        return;
    }
    // The same background the composer gave IndexImage.
    const uint8_t background = opt.cbOCR ? prog.pal.DarkIdx : prog.pal.TranspIdx;
    IndexedImage reduced;
    if (n >= 1 && static_cast<size_t>(n) <= prog.Subs.size()) {
        reduceTo720p(img, prog.pal, prog.Subs[static_cast<size_t>(n) - 1], prog.SubKind, background, reduced);
    } else {
        reduced.reset(kReducedWidth, kReducedHeight, background);
        reduced.colors = img.colors;
        reduced.transparency = img.transparency;
    }
    writeIndexedPng(picBase + ".png", reduced.width, reduced.height, reduced.pixels.data(),
                    static_cast<size_t>(reduced.width), reduced.colors, reduced.transparency, 256, PngEffort::Fast);
}

namespace {

// The authoring scripts of a picture saving when cbBDN asks for them, headed with the
// subtitles the saving takes (all, or the forced ones only).
void openScripts(const Context& ctx, const std::string& folder, std::optional<AuthoringScripts>& scripts) {
    const Program& p = ctx.prog;
    const Options& opt = ctx.opt;
    const size_t count = p.Subs.size();
    if (opt.cbBDN) {
        ScriptInfo info;
        if (p.SubKind != kSrtKind) info.subtitleName = bitmapSourceName(p);
        info.title = CutExt(bitmapSourceName(p));
        info.hd720 = opt.cb720p;
        info.rgFrame = opt.rgFrame;
        // The heads describe the subtitles saved: all, or the forced ones only.
        for (size_t i = 0; i < count; ++i) {
            if (!selectedForJob(ctx, i)) continue;
            if (info.count++ == 0) info.firstIn = p.Subs[i].startPTS;
            info.lastOut = effectiveEnd(p.Subs, i);
        }
        scripts.emplace(folder, std::move(info));
    }
}

}  // namespace

SaveBitmapsResult saveBitmaps(Context& ctx, const DrawSubView& view) {
    Program& p = ctx.prog;
    const Options& opt = ctx.opt;
    Host& host = ctx.host();
    SaveBitmapsResult result;
    if (refuseWhileWorking(ctx)) {
        result.refused = true;
        return result;
    }

    bool logged = false;   // lines were added after the folder line
    {
        JobScope job(ctx, {&Program::SavingPics});
        ctx.msg.slog("Saving bitmaps", 0);
        const size_t count = p.Subs.size();
        const auto count64 = static_cast<int64_t>(count);
        const auto start = Clock::now();
        result.folder = bitmapFolder(p, opt);
        createFolder(result.folder);
        ctx.msg.log2("Saving subpicture bitmaps to " + logName(result.folder));
        std::optional<AuthoringScripts> scripts;
        openScripts(ctx, result.folder, scripts);

        std::string picBase;
        DrawSubView saving = view;
        saving.savePictures = [&picBase](Context& c, int32_t n) { savePictureFiles(c, picBase, n); };
        host.setProgress(0, static_cast<int>(count));
        for (size_t i = 0; i < count; ++i) {
            const auto n = static_cast<int64_t>(i) + 1;
            if (!selectedForJob(ctx, i)) continue;
            host.pumpMessages();
            const std::string name = pictureName(n);
            picBase = result.folder + name;
            DrawSub(ctx, static_cast<int32_t>(n), saving);
            result.saved = i + 1;
            host.setProgress(static_cast<int>(n), static_cast<int>(count));
            host.setTitle("Vantrel - Saving bitmaps " + std::to_string(n * 100 / count64) + "%");
            const std::string remaining = formatHMS(remainingSeconds(Clock::now() - start, n, count64));
            if (scripts) {
                const uint32_t end = effectiveEnd(p.Subs, i);
                if (endSupplied(p.Subs, i)) {
                    ctx.msg.log(endSuppliedMessage(p.Subs[i], end));
                    logged = true;
                }
                scripts->add(p.Subs[i].num, p.Subs[i].startPTS, end, name + ".png", p.Subs[i].forced != 0);
                ctx.msg.slog("Subtitle: " + std::to_string(n) + "/" + std::to_string(count) +
                                 " Remaining time: " + remaining,
                             1);
            }
            if (opt.cbBMP) ctx.msg.slog("Writing " + name + ".bmp" + progressOf(n, count64, remaining), 1);
            if (opt.cbPNG) ctx.msg.slog("Writing " + name + ".png" + progressOf(n, count64, remaining), 1);
            if (p.Cancel) break;
        }
        if (scripts) scripts->close();
        result.cancelled = job.cancelled();
    }
    p.controls.ieSubs = p.Subs.empty() ? 0 : 1;
    host.controlsChanged(p.controls);
    host.displaySubtitle(p.Subs.empty() ? 0 : 1);
    // "Ready" empties the last log line; keep the lines the loop added.
    if (logged) ctx.msg.log("");
    ctx.msg.slog2("Ready", "");
    if (!result.cancelled) ctx.msg.logn("Done.");
    ctx.msg.log("");
    return result;
}

}  // namespace vantrel
