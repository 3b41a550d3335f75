// Timing of the Blu-ray export. A subtitle's showing set must be decoded before its PTS: the
// plane or window clear, the object decode and the window transfer take their time at the
// model's rates, and no set may start decoding before the one ahead of it has finished.
// Subtitles that follow each other closely share an epoch (acquisition points in the epoch's
// one window, objects 0 and 1 in turn) instead of clearing the whole plane each time, and a
// clear decodes early where the next object needs the time, so that times stay as they are.
#include "export/bd_timing.h"

#include <algorithm>

#include "stream/pgs_check.h"

namespace vantrel {
namespace {

constexpr int64_t kLastTick = 0xFFFFFFFFll;

int64_t pixels(const TSUPObject& o) {
    return std::max<int64_t>(0, int64_t{o.x2} - o.x1) * std::max<int64_t>(0, int64_t{o.y2} - o.y1);
}

TSUPObject unite(const TSUPObject& a, const TSUPObject& b) {
    TSUPObject u = a;
    u.x1 = std::min(a.x1, b.x1);
    u.y1 = std::min(a.y1, b.y1);
    u.x2 = std::max(a.x2, b.x2);
    u.y2 = std::max(a.y2, b.y2);
    return u;
}

// Ticks between the DTS and PTS of a showing composition whose object fills its window:
// clearing the plane (the whole plane at an epoch start, else the window), decoding the
// object, which starts with the composition, and transferring the window.
int64_t showTicks(const TSUPObject& window, bool epochStart) {
    const int64_t clear = epochStart ? PgsModel::planeTicks(int64_t{1920} * 1080) : PgsModel::planeTicks(pixels(window));
    return std::max(clear, PgsModel::objectDecodeTicks(pixels(window))) + PgsModel::planeTicks(pixels(window));
}

std::string milliseconds(int64_t ticks) { return std::to_string((ticks + 45) / 90) + " ms"; }

struct Work {
    int64_t start = 0, end = 0;
    TSUPObject own;
    size_t group = 0;
};

}  // namespace

std::vector<BdTiming> planBluRayTiming(const std::vector<BdTimingInput>& subs, std::vector<std::string>& log) {
    const size_t n = subs.size();
    std::vector<Work> work(n);
    for (size_t i = 0; i < n; ++i) work[i] = {subs[i].start, subs[i].end, subs[i].area, 0};
    auto name = [&](size_t i) { return "Subtitle " + std::to_string(subs[i].num); };

    // One composition at a time: a subtitle that starts before the previous one ends cuts it.
    for (size_t i = 1; i < n; ++i) {
        if (work[i].start < work[i - 1].end && work[i].start > work[i - 1].start) {
            work[i - 1].end = work[i].start;
            log.push_back(name(i - 1) + " ends at " + ticksToSrtTime(static_cast<uint32_t>(work[i].start)) +
                          ", where " + name(i) + " starts.");
        }
    }

    // Epochs: a subtitle starts a new one when its whole-plane decode fits between the clear
    // of the previous subtitle and its own start; else it joins the running epoch.
    std::vector<TSUPObject> windows;
    for (size_t i = 0; i < n; ++i) {
        bool fresh = i == 0;
        if (!fresh) {
            const int64_t gap = work[i].start - work[i - 1].end;
            fresh = gap >= showTicks(work[i].own, true) - PgsModel::planeTicks(pixels(work[i - 1].own));
        }
        if (fresh) windows.push_back(work[i].own);
        else windows.back() = unite(windows.back(), work[i].own);
        work[i].group = windows.size() - 1;
    }

    std::vector<BdTiming> out(n);
    int64_t lastDts = 1;       // a DTS of 0 would read as "none": decoding starts at tick 1
    int64_t lastPts = -1;
    uint8_t objectVersion[2] = {0, 0};
    uint8_t paletteVersion = 0;
    uint16_t nextId = 0;
    for (size_t i = 0; i < n; ++i) {
        Work& w = work[i];
        BdTiming& t = out[i];
        t.input = i;
        t.window = windows[w.group];
        t.epochStart = i == 0 || work[i - 1].group != w.group;
        const int64_t windowTicks = PgsModel::planeTicks(pixels(t.window));
        const int64_t need = showTicks(t.window, t.epochStart);
        if (t.epochStart) {
            nextId = 0;
            objectVersion[0] = objectVersion[1] = 0;
            paletteVersion = 0;
        }
        t.objectId = nextId;
        t.objectVersion = objectVersion[nextId]++;
        t.paletteVersion = paletteVersion++;
        nextId ^= 1;

        if (i > 0) {
            // The previous subtitle ends with a clearing set at its end time, unless this one
            // starts right then and replaces it. The clear needs only the window's time; it
            // decodes early where this set has to decode before the previous end.
            Work& p = work[i - 1];
            BdTiming& pt = out[i - 1];
            const int64_t pWindowTicks = PgsModel::planeTicks(pixels(pt.window));
            pt.cleared = p.end < w.start;
            if (pt.cleared) {
                const int64_t wanted = std::min(p.end - pWindowTicks, w.start - need);
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
                static_cast<uint32_t>(std::min(w.start - PgsModel::planeTicks(pixels(out[i - 1].window)), kLastTick));
        }
        const int64_t decode = w.start - need;
        t.start = static_cast<uint32_t>(std::min(w.start, kLastTick));
        t.decode = static_cast<uint32_t>(std::min(decode, kLastTick));
        t.windowReady = static_cast<uint32_t>(std::min(w.start - windowTicks, kLastTick));
        t.objectReady = static_cast<uint32_t>(std::min(decode + PgsModel::objectDecodeTicks(pixels(t.window)), kLastTick));
        lastDts = t.objectReady;
        lastPts = w.start;
        // A subtitle ends after it starts.
        if (w.end <= w.start) w.end = w.start + 1;
    }
    if (n > 0) {
        BdTiming& last = out.back();
        const int64_t end = work.back().end;
        last.cleared = true;
        last.end = static_cast<uint32_t>(std::min(end, kLastTick));
        last.clearDecode = static_cast<uint32_t>(std::min(end - PgsModel::planeTicks(pixels(last.window)), kLastTick));
    }
    return out;
}

}  // namespace vantrel
