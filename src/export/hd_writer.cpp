// The HD DVD writer: every subtitle becomes one packet with a start and a stop sequence, or
// several of the same picture where it lasts longer than one packet can show it.
#include <algorithm>
#include <vector>

#include "core/log_names.h"
#include "export/bd_timing.h"
#include "export/encoder.h"
#include "export/out_buffer.h"
#include "export/writer_steps.h"
#include "export/writers.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "render/composer.h"

namespace vantrel {
namespace {

using namespace writing;

// Area bytes of SET_DAREA2: 11-bit left, right, top and bottom, packed in pairs.
void putArea(OutBuffer& out, uint32_t left, uint32_t right, uint32_t top, uint32_t bottom) {
    out.putByte(static_cast<uint8_t>((left >> 4) & 0x7F));
    out.putByte(static_cast<uint8_t>(((left & 0x0F) << 4) + ((right >> 8) & 0x07)));
    out.putByte(static_cast<uint8_t>(right & 0xFF));
    out.putByte(static_cast<uint8_t>((top >> 4) & 0x7F));
    out.putByte(static_cast<uint8_t>(((top & 0x0F) << 4) + ((bottom >> 8) & 0x07)));
    out.putByte(static_cast<uint8_t>(bottom & 0xFF));
}

// The area of the 1920x1080 screen that an area of a `video`-sized picture covers; empty
// where it lies outside the video.
Area scaledArea(const Area& a, VideoFormat video) {
    const int w = video.width;
    const int h = video.height;
    return {a.left * kScreenWidth / w, a.top * kScreenHeight / h,
            std::min((a.right + 1) * kScreenWidth / w, kScreenWidth) - 1,
            std::min((a.bottom + 1) * kScreenHeight / h, kScreenHeight) - 1};
}

// Fills `area` of the 1920x1080 picture `out` from the `video`-sized picture at the top-left
// of `in`, each pixel taking the source pixel it lies on.
void scaleToScreen(const IndexedImage& in, VideoFormat video, const Area& area, IndexedImage& out) {
    if (out.width != kScreenWidth || out.height != kScreenHeight) out.reset(kScreenWidth, kScreenHeight);
    for (int y = area.top; y <= area.bottom; ++y) {
        const int sy = std::min(y * video.height / kScreenHeight, in.height - 1);
        for (int x = area.left; x <= area.right; ++x) {
            const int sx = std::min(x * video.width / kScreenWidth, in.width - 1);
            out.at(x, y) = in.at(sx, sy);
        }
    }
}

// One subpicture of a subtitle: its PTS and its stop delay in units of 1024 ticks.
struct Piece {
    uint32_t pts = 0;
    uint16_t delay = 0;
};

// The stop delay of an HD DVD subpicture counts units of 1024 ticks in 16 bits, about
// 12 minutes 25 seconds. A longer subtitle becomes as many subpictures of the same picture as
// it needs, each starting where the one before it stops, so that it keeps its end.
std::vector<Piece> hdPieces(Context& ctx, const TSUP& s, uint32_t end, int& logged) {
    constexpr uint64_t kLongest = uint64_t{0xFFFF} << 10;
    uint64_t rest = end > s.startPTS ? end - s.startPTS : 0;
    std::vector<Piece> out;
    uint32_t pts = s.startPTS;
    while (rest > kLongest) {
        out.push_back({pts, 0xFFFF});
        pts += static_cast<uint32_t>(kLongest);
        rest -= kLongest;
    }
    // Units rounded to the nearest one; a rest too short for one unit is left to the rounding.
    const auto units = static_cast<uint16_t>((rest + 512) >> 10);
    if (out.empty() || units > 0) out.push_back({pts, units});
    if (out.size() > 1) {
        ctx.msg.log("Subtitle " + std::to_string(s.num) +
                    " lasts longer than an HD DVD subpicture can be shown; it is written as " +
                    std::to_string(out.size()) + " subpictures of the same picture.");
        ++logged;
    }
    return out;
}

}  // namespace

int expHD(Context& ctx, const std::string& fileName) {
    Program& p = ctx.prog;
    int logged = 0;
    size_t written = 0;
    OutputFile file(fileName);
    OutBuffer out;
    const VideoFormat video = sourceVideo(p);
    IndexedImage scaled;
    const auto start = Clock::now();
    const size_t count = p.Subs.size();
    for (size_t i = 0; i < count; ++i) {
        if (!selectedForJob(ctx, i)) continue;
        ctx.msg.slog(progressText(i, count, start), 1);
        ctx.host().pumpMessages();
        out.reset();
        // "SP", u32le PTS, u32 0, u16 0, u32 spuSize, u32 controlOffset (both patched below)
        out.putByte('S');
        out.putByte('P');
        out.putDWordLE(p.Subs[i].startPTS);
        out.putDWord(0);
        out.putWord(0);
        out.putDWord(0);
        out.putDWord(0);
        DrawSub(ctx, static_cast<int32_t>(i + 1));
        const TSUP& s = p.Subs[i];
        // One display area covers every object of the subtitle.
        Area a;
        for (const TSUPObject& o : writtenObjects(p, s)) {
            const Area b = pictureArea(o, p.SubKind);
            if (b.empty()) continue;
            if (a.empty()) {
                a = b;
                continue;
            }
            a = {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
        }
        if (a.empty()) {
            logSkipped(ctx, s, logged);
            if (p.Cancel) break;
            continue;
        }
        // HD DVD subpictures are 1920x1080: a picture made for another video size is scaled
        // to it, so that it lands where it showed on the source's screen.
        const IndexedImage* image = &p.pics.IndexImage;
        if (video.width != kScreenWidth || video.height != kScreenHeight) {
            a = scaledArea(a, video);
            if (a.empty()) {
                logSkipped(ctx, s, logged);
                if (p.Cancel) break;
                continue;
            }
            scaleToScreen(p.pics.IndexImage, video, a, scaled);
            image = &scaled;
        }
        // The fields hold exactly the lines and columns the display area names, from its top
        // line on, whether that line is even or odd.
        TSUPObject coded = s.obj[0];
        coded.x1 = static_cast<uint16_t>(a.left);
        coded.x2 = static_cast<uint16_t>(a.right + 1);
        coded.y1 = static_cast<uint16_t>(a.top);
        coded.y2 = static_cast<uint16_t>(a.bottom);
        encodeHDField(out, *image, coded, 0);
        const size_t p1 = out.outLen();
        encodeHDField(out, *image, coded, 1);

        out.putWord(0);
        const size_t n1 = out.outLen();
        out.putDWord(0);
        out.putByte(s.forced ? 0x00 : 0x01);   // FSTA_DSP (forced) or STA_DSP
        out.putByte(0x83);   // SET_COLOR2
        for (size_t j = 0; j < 256; ++j) {
            const YCrCb c = paletteEntry(p.pal, j, ColorMatrix::BT709);
            out.putByte(c.y);
            out.putByte(c.cr);
            out.putByte(c.cb);
        }
        out.putByte(0x84);   // SET_CONTR2
        for (size_t j = 0; j < 256; ++j) out.putByte(static_cast<uint8_t>(255 - p.pal.Alpha[j]));
        out.putByte(0x85);   // SET_DAREA2
        putArea(out, static_cast<uint32_t>(a.left), static_cast<uint32_t>(a.right), static_cast<uint32_t>(a.top),
                static_cast<uint32_t>(a.bottom));
        out.putByte(0x86);   // SET_DSPXA2
        out.putDWord(10);
        out.putDWord(static_cast<uint32_t>(p1 - 10));
        out.putByte(0xFF);   // CMD_END

        const std::vector<Piece> pieces = hdPieces(ctx, s, endBeforeNext(ctx, i, logged), logged);
        out.putWord(0);   // the stop delay, set per piece below
        const size_t n2 = out.outLen();
        out.putDWord(0);
        out.putByte(0x02);   // STP_DSP
        out.putByte(0xFF);   // CMD_END
        out.patch24(n1 + 1, static_cast<uint32_t>(out.outLen() - 18));
        if (out.outLen() & 1) out.putByte(0xFF);
        out.patch24(13, static_cast<uint32_t>(out.outLen() - 10));
        // Both sequences point to the second one.
        const auto& b = out.bytes();
        out.patch24(n2 + 1, (static_cast<uint32_t>(b[n1 + 1]) << 16) | (b[n1 + 2] << 8) | b[n1 + 3]);
        for (const Piece& piece : pieces) {
            out.patchDWordLE(2, piece.pts);
            out.patchWord(n2 - 2, piece.delay);
            file.write(out.data(), out.outLen());
        }
        ++written;
        if (p.Cancel) break;
    }
    checkWritten(p, written);
    file.close();
    return logged;
}

}  // namespace vantrel
