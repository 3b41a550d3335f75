// Stream writers: every subtitle becomes a showing and a clearing display set (Blu-ray) or
// one packet with a start and a stop sequence (HD DVD).
#include "export/writers.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>
#include <vector>

#include "core/job.h"
#include "core/log_names.h"
#include "export/bd_timing.h"
#include "export/encoder.h"
#include "export/out_buffer.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "render/composer.h"

namespace vantrel {
namespace {

constexpr size_t kFirstFragment = 65508;
constexpr size_t kLaterFragment = 65515;
constexpr size_t kWholeObject = 65519;

std::string progressText(size_t i, size_t count, Clock::time_point start) {
    const int64_t remaining =
        remainingSeconds(Clock::now() - start, static_cast<int64_t>(i) + 1, static_cast<int64_t>(count));
    return "Subtitle: " + std::to_string(i + 1) + "/" + std::to_string(count) +
           " Remaining time: " + formatHMS(remaining);
}

// The end time the writers use; says so in the log when it had to be supplied.
uint32_t endTimeFor(Context& ctx, size_t i, int& logged) {
    const uint32_t end = effectiveEnd(ctx.prog.Subs, i);
    if (endSupplied(ctx.prog.Subs, i)) {
        ctx.msg.log(endSuppliedMessage(ctx.prog.Subs[i], end));
        ++logged;
    }
    return end;
}

// The rectangles a record's picture is written from: every slot holding a picture (both
// objects of a two-window subtitle), or slot 0 for tables without stream data.
std::vector<TSUPObject> writtenObjects(const Program& p, const TSUP& s) {
    std::vector<TSUPObject> out;
    if (p.SubKind == kBluRayKind) {
        for (const TSUPObject& o : s.obj)
            if (slotHasPicture(o)) out.push_back(o);
    }
    if (out.empty()) out.push_back(s.obj[0]);
    return out;
}

// Number of palette entries the pictures need: the stored count, or more when a picture uses
// an index past it (palette ids need not be contiguous, and four-colour sources store none).
int paletteEntries(const TSUP& s, const std::vector<TSUPObject>& objects, const IndexedImage& img) {
    int highest = -1;
    for (const TSUPObject& o : objects) {
        const int right = std::min<int>(o.x2, img.width);
        const int bottom = std::min<int>(o.y2 + 1, img.height);
        for (int y = o.y1; y < bottom; ++y)
            for (int x = o.x1; x < right; ++x) highest = std::max<int>(highest, img.at(x, y));
    }
    return std::clamp(std::max(s.palCount, highest + 1), 0, 256);
}

// The picture area of a subtitle with both edges taken, kept on the screen. Blu-ray records
// hold the right and bottom edges exclusive; subpicture and text records hold them inclusive.
struct Area {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool empty() const { return right < left || bottom < top; }
};

Area pictureArea(const TSUPObject& o, uint8_t subKind) {
    const int inclusive = subKind == 2 ? 1 : 0;
    return {o.x1, o.y1, std::min<int>(o.x2 - inclusive, kScreenWidth - 1),
            std::min<int>(o.y2 - inclusive, kScreenHeight - 1)};
}

// The slot the Blu-ray writer codes: the area with exclusive right and bottom edges.
TSUPObject blurayObject(const TSUPObject& o, uint8_t subKind) {
    const Area a = pictureArea(o, subKind);
    TSUPObject out = o;
    out.x2 = static_cast<uint16_t>(std::max(a.left, a.right + 1));
    out.y2 = static_cast<uint16_t>(std::max(a.top, a.bottom + 1));
    return out;
}

// Whether an object of a subtitle shows as forced: a forced subtitle's objects are, except
// where the source marks only some of them.
uint8_t slotForced(const TSUP& s, const TSUPObject& slot) {
    if (!s.forced) return 0;
    const bool some = std::any_of(s.obj.begin(), s.obj.end(), [](const TSUPObject& o) { return o.forced != 0; });
    return !some || slot.forced ? 1 : 0;
}

// One composition object as written: the planned object and its forced flag.
struct Composed {
    const BdObject* object = nullptr;
    bool forced = false;
};

class PgsWriter {
public:
    PgsWriter(OutputFile& file, VideoFormat video) : file_(file), video_(video) {}

    void segment(uint32_t pts, uint32_t dts, uint8_t type, const OutBuffer& payload) {
        OutBuffer h;
        h.putByte('P');
        h.putByte('G');
        h.putDWord(pts);
        h.putDWord(dts);
        h.putByte(type);
        h.putWord(static_cast<uint16_t>(payload.outLen()));
        file_.write(h.data(), h.outLen());
        file_.write(payload.data(), payload.outLen());
    }

    // u16 width, u16 height, u8 frameRate<<4, u16 number, u8 state, u8 paletteUpdate,
    // u8 paletteId, u8 objects; per object: u16 id, u8 window, u8 flags (0x40 forced),
    // u16 x, u16 y.
    void pcs(uint32_t pts, uint32_t dts, uint8_t state, const std::vector<Composed>& objects = {}) {
        OutBuffer p;
        p.putWord(video_.width);
        p.putWord(video_.height);
        p.putByte(static_cast<uint8_t>(video_.frameCode * 16));
        p.putWord(composition_++);
        p.putByte(state);
        p.putByte(0);
        p.putByte(0);
        p.putByte(static_cast<uint8_t>(objects.size()));
        for (const Composed& c : objects) {
            p.putWord(c.object->id);
            p.putByte(c.object->window);
            p.putByte(c.forced ? 0x40 : 0x00);
            p.putWord(c.object->area.x1);
            p.putWord(c.object->area.y1);
        }
        segment(pts, dts, 0x16, p);
    }

    // u8 windows; per window: u8 id, u16 x, u16 y, u16 width, u16 height
    void wds(uint32_t pts, uint32_t dts, const std::vector<TSUPObject>& windows) {
        OutBuffer p;
        p.putByte(static_cast<uint8_t>(windows.size()));
        for (size_t k = 0; k < windows.size(); ++k) {
            const TSUPObject& o = windows[k];
            p.putByte(static_cast<uint8_t>(k));
            p.putWord(o.x1);
            p.putWord(o.y1);
            p.putWord(static_cast<uint16_t>(o.x2 - o.x1));
            p.putWord(static_cast<uint16_t>(o.y2 - o.y1));
        }
        segment(pts, dts, 0x17, p);
    }

    // u8 id, u8 version, then per entry: u8 index, Y, Cr, Cb, alpha
    void pds(uint32_t pts, uint32_t dts, const PaletteState& pal, int entries, uint8_t version) {
        OutBuffer p;
        p.putByte(0);
        p.putByte(version);
        const ColorMatrix matrix = matrixFor(video_.height);
        for (int j = 0; j < entries; ++j) {
            const YCrCb c = paletteEntry(pal, static_cast<size_t>(j), matrix);
            p.putByte(static_cast<uint8_t>(j));
            p.putByte(c.y);
            p.putByte(c.cr);
            p.putByte(c.cb);
            p.putByte(pal.Alpha[static_cast<size_t>(j)]);
        }
        segment(pts, dts, 0x14, p);
    }

    // u16 id, u8 version, u8 flags; the first fragment adds u24 dataLength (the run-length
    // bytes plus the 4 bytes of width and height), u16 width, u16 height.
    void ods(uint32_t pts, uint32_t dts, const TSUPObject& o, const std::vector<uint8_t>& data, uint16_t id,
             uint8_t version) {
        const size_t total = data.size();
        size_t index = 0;
        while (index < total) {
            const size_t rest = total - index;
            const size_t length = rest > kWholeObject ? (index == 0 ? kFirstFragment : kLaterFragment) : rest;
            const bool first = index == 0;
            const bool last = index + length == total;
            OutBuffer p;
            p.putWord(id);
            p.putByte(version);
            p.putByte(static_cast<uint8_t>((first ? 0x80 : 0) | (last ? 0x40 : 0)));
            if (first) {
                p.put24(static_cast<uint32_t>(total + 4));
                p.putWord(static_cast<uint16_t>(o.x2 - o.x1));
                p.putWord(static_cast<uint16_t>(o.y2 - o.y1));
            }
            p.putBytes(data.data() + index, length);
            segment(pts, dts, 0x15, p);
            index += length;
        }
    }

    // A composition without objects at `pts`, decoded while the windows clear.
    void clear(uint32_t pts, uint32_t dts, const std::vector<TSUPObject>& windows) {
        pcs(pts, dts, 0x00);
        wds(dts, dts, windows);
        end(dts);
    }

    void end(uint32_t pts) { segment(pts, 0, 0x80, OutBuffer{}); }

private:
    OutputFile& file_;
    VideoFormat video_;
    uint16_t composition_ = 0;
};

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

void logSkipped(Context& ctx, const TSUP& s, int& logged) {
    ctx.msg.log("Subtitle " + std::to_string(s.num) + " has an empty area and was not written.");
    ++logged;
}

// A stream without one of the table's subtitles in it is no result: the export fails rather
// than leave an empty file and report it done. A cancel before the first subtitle and an
// empty table keep the empty file.
void checkWritten(const Program& p, size_t written) {
    if (written == 0 && !p.Subs.empty() && !p.Cancel)
        throw PlatformError("Nothing to export: no subtitle has a picture.");
}

// The stop delay of an HD DVD subpicture counts units of 1024 ticks in 16 bits, about
// 12 minutes 25 seconds. A longer subtitle is cut to that with a log line.
uint16_t hdStopDelay(Context& ctx, const TSUP& s, uint32_t end, int& logged) {
    // Units of 1024 ticks, rounded to the nearest one.
    const uint64_t units = (uint64_t{end - s.startPTS} + 512) >> 10;
    if (units <= 0xFFFF) return static_cast<uint16_t>(units);
    ctx.msg.log("Subtitle " + std::to_string(s.num) + " lasts longer than an HD DVD subtitle can be shown; it ends at " +
                ticksToSrtTime(s.startPTS + (0xFFFFu << 10)) + ".");
    ++logged;
    return 0xFFFF;
}

// The end a writer gives Subs[i]: its effective end, but no later than the start of the next
// subtitle written, as one composition shows at a time (a later subtitle would otherwise
// appear only when the earlier one ends). Says so in the log.
uint32_t endBeforeNext(Context& ctx, size_t i, int& logged) {
    const std::vector<TSUP>& subs = ctx.prog.Subs;
    uint32_t end = endTimeFor(ctx, i, logged);
    const uint32_t start = subs[i].startPTS;
    for (size_t j = i + 1; j < subs.size(); ++j) {
        if (!selectedForJob(ctx, j)) continue;
        const uint32_t next = subs[j].startPTS;
        if (next > start && next < end) {
            ctx.msg.log("Subtitle " + std::to_string(subs[i].num) + " overlaps subtitle " +
                        std::to_string(subs[j].num) + " and ends at its start.");
            ++logged;
            end = next;
        }
        break;
    }
    return end;
}

// Rounded division by 1000 that also rounds negative sums to the nearest.
int round1000(int v) { return v >= 0 ? (v + 500) / 1000 : -((-v + 500) / 1000); }
uint8_t clampByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

YCrCb RGBToYCrCb(uint32_t color, ColorMatrix matrix) {
    const int r = static_cast<int>(color & 0xFF);
    const int g = static_cast<int>((color >> 8) & 0xFF);
    const int b = static_cast<int>((color >> 16) & 0xFF);
    if (matrix == ColorMatrix::BT709)
        return {clampByte(round1000(183 * r + 614 * g + 62 * b) + 16),
                clampByte(round1000(439 * r - 399 * g - 40 * b) + 128),
                clampByte(round1000(-101 * r - 338 * g + 439 * b) + 128)};
    return {static_cast<uint8_t>((257 * r + 504 * g + 98 * b + 500) / 1000 + 16),
            static_cast<uint8_t>((439 * r - 368 * g - 71 * b + 500) / 1000 + 128),
            static_cast<uint8_t>((-148 * r - 291 * g + 439 * b + 500) / 1000 + 128)};
}

YCrCb paletteEntry(const PaletteState& pal, size_t i, ColorMatrix matrix) {
    if (pal.Alpha[i] == 0) return {16, 128, 128};
    const SourceEntry& e = pal.source[i];
    if (e.defined && pal.sourceMatrix == matrix) return {e.y, e.cr, e.cb};
    return RGBToYCrCb(pal.Palette[i], matrix);
}

uint8_t exportFrameCode(const Context& ctx) {
    const uint8_t source = ctx.prog.SubKind == kBluRayKind ? ctx.prog.video.frameCode : 0;
    const bool known = source != 0 && std::string_view(FrameRateName(source)) != "reserved";
    return known && !ctx.opt.frameChosen ? source : frameRateCode(ctx.opt.rgFrame);
}

int expBD(Context& ctx, const std::string& fileName) {
    Program& p = ctx.prog;
    int logged = 0;
    size_t written = 0;
    OutputFile file(fileName);
    VideoFormat video = sourceVideo(p);
    video.frameCode = exportFrameCode(ctx);
    PgsWriter w(file, video);
    const auto start = Clock::now();
    const size_t count = p.Subs.size();

    // The times of a subtitle's display sets depend on its neighbours: plan them all first.
    std::vector<BdTimingInput> inputs;
    std::vector<size_t> planned(count, SIZE_MAX);
    for (size_t i = 0; i < count; ++i) {
        if (!selectedForJob(ctx, i)) continue;
        // A text subtitle without text has no picture.
        if (p.SubKind == kSrtKind && p.Subs[i].obj[0].x2 <= p.Subs[i].obj[0].x1) continue;
        // Each object of a two-window subtitle is written at its own place and size; objects
        // that overlap go out as one object over their union.
        std::vector<TSUPObject> objects;
        for (const TSUPObject& slot : writtenObjects(p, p.Subs[i])) {
            TSUPObject b = blurayObject(slot, p.SubKind);
            if (b.x2 <= b.x1 || b.y2 <= b.y1) continue;
            b.forced = slotForced(p.Subs[i], slot);
            for (auto o = objects.begin(); o != objects.end();) {
                if (o->x1 < b.x2 && b.x1 < o->x2 && o->y1 < b.y2 && b.y1 < o->y2) {
                    b = uniteAreas(*o, b);
                    o = objects.erase(o);
                } else {
                    ++o;
                }
            }
            objects.push_back(b);
        }
        if (objects.empty()) continue;
        planned[i] = inputs.size();
        inputs.push_back({p.Subs[i].num, p.Subs[i].startPTS, endTimeFor(ctx, i, logged), objects});
    }
    std::vector<std::string> changes;
    const std::vector<BdTiming> plan = planBluRayTiming(inputs, changes);
    for (const std::string& line : changes) ctx.msg.log(line);
    logged += static_cast<int>(changes.size());

    for (size_t i = 0; i < count; ++i) {
        if (planned[i] == SIZE_MAX && !selectedForJob(ctx, i)) continue;
        ctx.msg.pslog(progressText(i, count, start), static_cast<int>(i), static_cast<int>(count));
        ctx.host().pumpMessages();
        DrawSub(ctx, static_cast<int32_t>(i + 1));
        const TSUP& s = p.Subs[i];
        if (planned[i] == SIZE_MAX) {
            logSkipped(ctx, s, logged);
        } else {
            // Each object at its own size in its window of the epoch, decoded in turn.
            ++written;
            const BdTiming& t = plan[planned[i]];
            std::vector<Composed> composed;
            std::vector<TSUPObject> areas;
            for (const BdObject& o : t.objects) {
                composed.push_back({&o, o.area.forced != 0});
                areas.push_back(o.area);
            }
            w.pcs(t.start, t.decode, t.epochStart ? 0x80 : 0x40, composed);
            w.wds(t.windowReady, t.decode, t.windows);
            w.pds(t.decode, 0, p.pal, paletteEntries(s, areas, p.pics.IndexImage), t.paletteVersion);
            for (const BdObject& o : t.objects)
                w.ods(o.ready, o.decode, o.area, encodeBDObject(p.pics.IndexImage, o.area), o.id, o.version);
            w.end(t.objectReady);
            // A subtitle that the next one replaces still ends when the export stops here.
            if (t.cleared || p.Cancel) w.clear(t.end, t.clearDecode, t.windows);
        }
        if (p.Cancel) break;
    }
    checkWritten(p, written);
    file.close();
    return logged;
}

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

        out.putWord(hdStopDelay(ctx, s, endBeforeNext(ctx, i, logged), logged));
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
        file.write(out.data(), out.outLen());
        ++written;
        if (p.Cancel) break;
    }
    checkWritten(p, written);
    file.close();
    return logged;
}

namespace {

std::string exportName(const std::string& baseName, int rgFormat, uint8_t frameCode) {
    std::string name = fileNameOnly(baseName);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        std::string ext = name.substr(dot + 1);
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == "sup" || ext == "srt") name.erase(dot);
    }
    return name + "." + (rgFormat == 0 ? "BD" : "HDDVD") + "." + FrameRateName(frameCode) + ".sup";
}

}  // namespace

std::string exportFileName(const std::string& baseName, int rgFormat, int rgFrame) {
    return exportName(baseName, rgFormat, frameRateCode(rgFrame));
}

std::string exportFileName(const Context& ctx) {
    return exportName(ctx.prog.BaseName, ctx.opt.rgFormat, exportFrameCode(ctx));
}

int writeStreamFile(Context& ctx, const std::string& fileName) {
    // The output file is written beside the target and takes its name only when complete.
    return ctx.opt.rgFormat == 0 ? expBD(ctx, fileName) : expHD(ctx, fileName);
}

ExportResult exportStream(Context& ctx, const std::string& fileName) {
    Program& p = ctx.prog;
    // An empty table has nothing to export: no file is written and nothing reports "Done.".
    if (p.Subs.empty() || refuseWhileWorking(ctx)) return ExportResult::Refused;
    int logged = 0;
    bool cancelled = false;
    {
        JobScope job(ctx, {ctx.opt.rgFormat == 0 ? &Program::ExportingBD : &Program::ExportingHD});
        ctx.msg.log2("Exporting subtitle stream: " + logName(fileName));
        ctx.msg.slog("Exporting...", 0);
        ctx.host().setProgress(0, static_cast<int>(p.Subs.size()));
        logged = writeStreamFile(ctx, fileName);
        cancelled = job.cancelled();
    }
    ctx.host().displaySubtitle(1);
    // "Ready" and "Done." take the place of the last log line: keep the writer's own lines.
    if (logged > 0) ctx.msg.log("");
    ctx.msg.slog2("Ready", "");
    if (!cancelled) ctx.msg.logn("Done.");
    ctx.msg.log("");
    return cancelled ? ExportResult::Cancelled : ExportResult::Done;
}

}  // namespace vantrel
