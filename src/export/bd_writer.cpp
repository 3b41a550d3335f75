// The Blu-ray writer: every subtitle becomes a showing and a clearing display set, timed by
// the decoder model's plan.
#include <algorithm>
#include <string_view>
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

constexpr size_t kFirstFragment = 65508;
constexpr size_t kLaterFragment = 65515;
constexpr size_t kWholeObject = 65519;

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

}  // namespace

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

}  // namespace vantrel
