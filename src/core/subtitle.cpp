// Time formatting, the effective end time of subtitle records, and their text as lines.
#include "core/subtitle.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vantrel {

std::string ticksToSrtTime(uint32_t ticks) {
    // The time of day is taken as a day fraction, then split into whole milliseconds.
    const double dayFraction = static_cast<double>(ticks) / 90000.0 / 86400.0;
    auto ms = static_cast<int64_t>(std::llround(dayFraction * 86400000.0));
    ms %= 86400000;
    const int64_t h = ms / 3600000;
    const int64_t m = ms / 60000 % 60;
    const int64_t s = ms / 1000 % 60;
    const int64_t z = ms % 1000;
    // "hh:mm:ss,zzz" digit by digit: a load formats two times per subtitle.
    std::string text = "00:00:00,000";
    auto put = [&text](size_t end, int64_t value) {
        for (size_t k = end; value > 0; --k, value /= 10) text[k] = static_cast<char>('0' + value % 10);
    };
    put(1, h);
    put(4, m);
    put(7, s);
    put(11, z);
    return text;
}

bool endSupplied(const std::vector<TSUP>& subs, size_t i) {
    const TSUP& s = subs.at(i);
    return !(s.endPTS > s.startPTS);
}

uint32_t effectiveEnd(const std::vector<TSUP>& subs, size_t i) {
    const TSUP& s = subs.at(i);
    if (s.endPTS > s.startPTS) return s.endPTS;
    if (i + 1 < subs.size() && subs[i + 1].startPTS > s.startPTS) return subs[i + 1].startPTS;
    // Saturate rather than wrap, so the supplied end never lies before the start.
    if (s.startPTS > UINT32_MAX - kDefaultDuration) return UINT32_MAX;
    return s.startPTS + kDefaultDuration;
}

std::string endSuppliedMessage(const TSUP& sub, uint32_t end) {
    return "Subtitle " + std::to_string(sub.num) + " has no end time: " + ticksToSrtTime(end) + " used.";
}

SlotArea pictureArea(const TSUP& sub) {
    SlotArea a;
    bool any = false;
    for (const TSUPObject& o : sub.obj) {
        if (!slotHasPicture(o)) continue;
        if (!any) {
            a = {o.x1, o.y1, o.x2, o.y2};
            any = true;
            continue;
        }
        a.x1 = std::min<int>(a.x1, o.x1);
        a.y1 = std::min<int>(a.y1, o.y1);
        a.x2 = std::max<int>(a.x2, o.x2);
        a.y2 = std::max<int>(a.y2, o.y2);
    }
    if (!any) a = {sub.obj[0].x1, sub.obj[0].y1, sub.obj[0].x2, sub.obj[0].y2};
    return a;
}

std::vector<std::string> TxtToLines(std::string_view text) {
    std::vector<std::string> lines;
    for (size_t bar = text.find('|'); bar != std::string_view::npos; bar = text.find('|')) {
        lines.emplace_back(text.substr(0, bar));
        text.remove_prefix(bar + 1);
    }
    lines.emplace_back(text);
    return lines;
}

std::string LinesToTxt(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += '|';
        text += line;
    }
    return text;
}

}  // namespace vantrel
