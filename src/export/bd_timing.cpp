// Timing of the Blu-ray export. A subtitle's showing set must be decoded before its PTS: the
// plane or window clear, the decoding of its objects (one after the other) and the window
// transfers take their time at the model's rates, and no set may start decoding before the
// one ahead of it has finished. Subtitles that follow each other closely share an epoch
// (acquisition points in the epoch's windows, each object id kept to one size) instead of clearing
// the whole plane each time, and a clear decodes early where the next objects need the time,
// so that times stay as they are. Each object is coded at its own size; an epoch has one
// window per band of the screen its objects take (two at most), so that two lines far apart
// do not cost the decoding of the screen between them.
#include "export/bd_timing.h"

#include <algorithm>
#include <array>

#include "stream/pgs_check.h"

namespace vantrel {
namespace {

constexpr int64_t kLastTick = 0xFFFFFFFFll;
constexpr int64_t kPlanePixels = int64_t{1920} * 1080;

int64_t pixels(const TSUPObject& o) {
    return std::max<int64_t>(0, int64_t{o.x2} - o.x1) * std::max<int64_t>(0, int64_t{o.y2} - o.y1);
}

bool contains(const TSUPObject& outer, const TSUPObject& inner) {
    return outer.x1 <= inner.x1 && outer.y1 <= inner.y1 && inner.x2 <= outer.x2 && inner.y2 <= outer.y2;
}

// Ticks to clear every window of an epoch.
int64_t clearTicks(const std::vector<TSUPObject>& windows) {
    int64_t t = 0;
    for (const TSUPObject& w : windows) t += PgsModel::planeTicks(pixels(w));
    return t;
}

// Ticks between the DTS and PTS of a showing composition: the plane (at an epoch start) or
// the epoch's windows clear while the objects decode one after the other from the DTS; the
// window of each object transfers once it is decoded and the window before it has
// transferred; a window that holds both objects transfers once, when both are decoded.
int64_t showTicks(const std::vector<TSUPObject>& windows, const std::vector<BdObject>& objects, bool epochStart) {
    int64_t t = epochStart ? PgsModel::planeTicks(kPlanePixels) : clearTicks(windows);
    std::vector<int64_t> ready;
    int64_t decoded = 0;
    for (const BdObject& o : objects) {
        decoded += PgsModel::objectDecodeTicks(pixels(o.area));
        ready.push_back(decoded);
    }
    auto transfer = [&](uint8_t w) { return w < windows.size() ? PgsModel::planeTicks(pixels(windows[w])) : 0; };
    if (objects.size() == 2 && objects[0].window == objects[1].window)
        return std::max({t, ready[0], ready[1]}) + transfer(objects[0].window);
    for (size_t k = 0; k < objects.size(); ++k) t = std::max(t, ready[k]) + transfer(objects[k].window);
    return t;
}

// Composition objects over the rectangles of one subtitle, each in the window that holds it.
std::vector<BdObject> placeObjects(const std::vector<TSUPObject>& areas, const std::vector<TSUPObject>& windows) {
    std::vector<BdObject> out;
    for (const TSUPObject& a : areas) {
        BdObject o;
        o.area = a;
        for (size_t w = 0; w < windows.size(); ++w)
            if (contains(windows[w], a)) {
                o.window = static_cast<uint8_t>(w);
                break;
            }
        out.push_back(o);
    }
    return out;
}

// The windows of an epoch whose objects take `rects`: two windows on either side of a line
// that no rectangle crosses, where the two together are smaller than one window over all;
// else that one window.
std::vector<TSUPObject> epochWindows(const std::vector<TSUPObject>& rects) {
    if (rects.empty()) return {};
    TSUPObject all = rects[0];
    for (const TSUPObject& r : rects) all = uniteAreas(all, r);
    std::vector<TSUPObject> best = {all};
    int64_t bestPixels = pixels(all);
    for (const bool rows : {true, false}) {
        for (const TSUPObject& at : rects) {
            const int split = rows ? at.y1 : at.x1;
            TSUPObject before{}, after{};
            bool hasBefore = false, hasAfter = false, crossed = false;
            for (const TSUPObject& r : rects) {
                const int from = rows ? r.y1 : r.x1;
                const int to = rows ? r.y2 : r.x2;
                if (to <= split) {
                    before = hasBefore ? uniteAreas(before, r) : r;
                    hasBefore = true;
                } else if (from >= split) {
                    after = hasAfter ? uniteAreas(after, r) : r;
                    hasAfter = true;
                } else {
                    crossed = true;
                    break;
                }
            }
            if (crossed || !hasBefore || !hasAfter) continue;
            if (pixels(before) + pixels(after) < bestPixels) {
                best = {before, after};
                bestPixels = pixels(before) + pixels(after);
            }
        }
    }
    return best;
}

std::string milliseconds(int64_t ticks) { return std::to_string((ticks + 45) / 90) + " ms"; }

// The object ids of an epoch. The decoder keeps one buffer per id for the whole epoch, sized
// by the id's first object: an id is only used again for an object of the same width and
// height, and never for the next subtitle while the one that shows it is on screen.
class EpochIds {
public:
    // Gives each of `objects` an id in `out`, none of them in `showing`; false when the
    // epoch's ids or its object buffer run out.
    bool take(const std::vector<TSUPObject>& objects, const std::vector<uint16_t>& showing,
              std::vector<uint16_t>& out) {
        out.clear();
        std::vector<Size> added;
        int64_t bytes = bytes_;
        for (const TSUPObject& o : objects) {
            const Size size{o.x2 - o.x1, o.y2 - o.y1};
            auto free = [&](uint16_t id) {
                return std::find(showing.begin(), showing.end(), id) == showing.end() &&
                       std::find(out.begin(), out.end(), id) == out.end();
            };
            uint16_t id = 0;
            while (id < sizes_.size() && !(sizes_[id] == size && free(id))) ++id;
            if (id == sizes_.size()) {
                bytes += int64_t{size.w} * size.h;
                id = static_cast<uint16_t>(sizes_.size() + added.size());
                if (id >= PgsModel::kMaxObjectIds || bytes > PgsModel::kObjectBufferBytes) return false;
                added.push_back(size);
            }
            out.push_back(id);
        }
        sizes_.insert(sizes_.end(), added.begin(), added.end());
        bytes_ = bytes;
        return true;
    }

private:
    struct Size {
        int w = 0, h = 0;
        bool operator==(const Size&) const = default;
    };
    std::vector<Size> sizes_;   // index: the id
    int64_t bytes_ = 0;         // the decoded objects of the epoch, one byte a pixel
};

struct Work {
    int64_t start = 0, end = 0;
    size_t group = 0;
};

}  // namespace

TSUPObject uniteAreas(const TSUPObject& a, const TSUPObject& b) {
    TSUPObject u = a;
    u.x1 = std::min(a.x1, b.x1);
    u.y1 = std::min(a.y1, b.y1);
    u.x2 = std::max(a.x2, b.x2);
    u.y2 = std::max(a.y2, b.y2);
    u.forced = a.forced | b.forced;
    return u;
}

std::vector<BdTiming> planBluRayTiming(const std::vector<BdTimingInput>& subs, std::vector<std::string>& log) {
    const size_t n = subs.size();
    std::vector<Work> work(n);
    for (size_t i = 0; i < n; ++i) work[i] = {subs[i].start, subs[i].end, 0};
    auto name = [&](size_t i) { return "Subtitle " + std::to_string(subs[i].num); };

    // One composition at a time: a subtitle that starts before the previous one ends cuts it.
    for (size_t i = 1; i < n; ++i) {
        if (work[i].start < work[i - 1].end && work[i].start > work[i - 1].start) {
            work[i - 1].end = work[i].start;
            log.push_back(name(i - 1) + " ends at " + ticksToSrtTime(static_cast<uint32_t>(work[i].start)) +
                          ", where " + name(i) + " starts.");
        }
    }

    // Epochs: a subtitle starts a new one when its whole-plane decode (its objects in windows
    // of their own) fits between the clear of the previous subtitle and its own start, or
    // when the running epoch has no object id left for it; else it joins the running epoch.
    std::vector<std::vector<TSUPObject>> rects;   // per epoch, the rectangles of its objects
    std::vector<std::vector<uint16_t>> ids(n);    // per subtitle, the ids of its objects
    EpochIds epochIds;
    for (size_t i = 0; i < n; ++i) {
        bool fresh = i == 0;
        if (!fresh) {
            const std::vector<TSUPObject>& own = subs[i].objects;
            const int64_t gap = work[i].start - work[i - 1].end;
            fresh = gap >= showTicks(own, placeObjects(own, own), true) - clearTicks(subs[i - 1].objects);
        }
        if (!fresh) fresh = !epochIds.take(subs[i].objects, ids[i - 1], ids[i]);
        if (fresh) {
            epochIds = {};
            // Objects larger than the buffer still get ids of their own, for the checker to report.
            if (!epochIds.take(subs[i].objects, {}, ids[i])) {
                ids[i].resize(subs[i].objects.size());
                for (size_t k = 0; k < ids[i].size(); ++k) ids[i][k] = static_cast<uint16_t>(k);
            }
            rects.emplace_back();
        }
        rects.back().insert(rects.back().end(), subs[i].objects.begin(), subs[i].objects.end());
        work[i].group = rects.size() - 1;
    }
    std::vector<std::vector<TSUPObject>> windows;
    for (const auto& r : rects) windows.push_back(epochWindows(r));

    std::vector<BdTiming> out(n);
    int64_t lastDts = 1;       // a DTS of 0 would read as "none": decoding starts at tick 1
    int64_t lastPts = -1;
    std::array<uint8_t, PgsModel::kMaxObjectIds> objectVersion{};
    uint8_t paletteVersion = 0;
    for (size_t i = 0; i < n; ++i) {
        Work& w = work[i];
        BdTiming& t = out[i];
        t.input = i;
        t.windows = windows[w.group];
        t.epochStart = i == 0 || work[i - 1].group != w.group;
        if (t.epochStart) {
            objectVersion.fill(0);
            paletteVersion = 0;
        }
        t.objects = placeObjects(subs[i].objects, t.windows);
        for (size_t k = 0; k < t.objects.size(); ++k) {
            BdObject& o = t.objects[k];
            o.id = ids[i][k];
            o.version = objectVersion[o.id]++;
        }
        t.paletteVersion = paletteVersion++;
        const int64_t need = showTicks(t.windows, t.objects, t.epochStart);

        if (i > 0) {
            // The previous subtitle ends with a clearing set at its end time, unless this one
            // starts right then and replaces it. The clear needs only its windows' time; it
            // decodes early where this set has to decode before the previous end.
            Work& p = work[i - 1];
            BdTiming& pt = out[i - 1];
            pt.cleared = p.end < w.start;
            if (pt.cleared) {
                const int64_t wanted = std::min(p.end - clearTicks(pt.windows), w.start - need);
                const int64_t clearDecode = std::max({wanted, lastDts, p.end - PgsModel::kMaxLead + 1});
                pt.end = static_cast<uint32_t>(p.end);
                pt.clearDecode = static_cast<uint32_t>(clearDecode);
                lastDts = clearDecode;
                lastPts = p.end;
            }
        }
        // Too little time after the previous set, or before the stream's start: this one
        // shows later.
        const int64_t earliest = std::max(lastDts + need, lastPts + 1);
        if (w.start < earliest) {
            log.push_back(name(i) + " starts " + milliseconds(earliest - w.start) + " later, at " +
                          ticksToSrtTime(static_cast<uint32_t>(std::min(earliest, kLastTick))) +
                          ", so that it can be decoded in time.");
            w.start = earliest;
        }
        if (i > 0 && !out[i - 1].cleared) {
            // Replaced by this one: a clear at its start stands in only when the export stops.
            out[i - 1].end = static_cast<uint32_t>(std::min(w.start, kLastTick));
            out[i - 1].clearDecode =
                static_cast<uint32_t>(std::min(w.start - clearTicks(out[i - 1].windows), kLastTick));
        }
        const int64_t decode = w.start - need;
        t.start = static_cast<uint32_t>(std::min(w.start, kLastTick));
        t.decode = static_cast<uint32_t>(std::min(decode, kLastTick));
        int64_t transfers = 0;
        for (const TSUPObject& win : t.windows) transfers += PgsModel::planeTicks(pixels(win));
        t.windowReady = static_cast<uint32_t>(std::min(std::max(w.start - transfers, decode), kLastTick));
        int64_t at = decode;
        for (BdObject& o : t.objects) {
            o.decode = static_cast<uint32_t>(std::min(at, kLastTick));
            at += PgsModel::objectDecodeTicks(pixels(o.area));
            o.ready = static_cast<uint32_t>(std::min(at, kLastTick));
        }
        t.objectReady = static_cast<uint32_t>(std::min(at, kLastTick));
        lastDts = at;
        lastPts = w.start;
        // A subtitle ends after it starts.
        if (w.end <= w.start) w.end = w.start + 1;
    }
    if (n > 0) {
        BdTiming& last = out.back();
        const int64_t end = work.back().end;
        last.cleared = true;
        last.end = static_cast<uint32_t>(std::min(end, kLastTick));
        last.clearDecode = static_cast<uint32_t>(std::min(end - clearTicks(last.windows), kLastTick));
    }
    return out;
}

}  // namespace vantrel
