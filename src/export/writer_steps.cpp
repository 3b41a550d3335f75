// Steps both stream writers take for every subtitle.
#include "export/writer_steps.h"

#include <algorithm>

#include "platform/files.h"

namespace vantrel::writing {

std::string progressText(size_t i, size_t count, Clock::time_point start) {
    const int64_t remaining =
        remainingSeconds(Clock::now() - start, static_cast<int64_t>(i) + 1, static_cast<int64_t>(count));
    return "Subtitle: " + std::to_string(i + 1) + "/" + std::to_string(count) +
           " Remaining time: " + formatHMS(remaining);
}

uint32_t endTimeFor(Context& ctx, size_t i, int& logged) {
    const uint32_t end = effectiveEnd(ctx.prog.Subs, i);
    if (endSupplied(ctx.prog.Subs, i)) {
        ctx.msg.log(endSuppliedMessage(ctx.prog.Subs[i], end));
        ++logged;
    }
    return end;
}

std::vector<TSUPObject> writtenObjects(const Program& p, const TSUP& s) {
    std::vector<TSUPObject> out;
    if (p.SubKind == kBluRayKind) {
        for (const TSUPObject& o : s.obj)
            if (slotHasPicture(o)) out.push_back(o);
    }
    if (out.empty()) out.push_back(s.obj[0]);
    return out;
}

Area pictureArea(const TSUPObject& o, uint8_t subKind) {
    const int inclusive = subKind == kBluRayKind ? 1 : 0;
    return {o.x1, o.y1, std::min<int>(o.x2 - inclusive, kScreenWidth - 1),
            std::min<int>(o.y2 - inclusive, kScreenHeight - 1)};
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

}  // namespace vantrel::writing
