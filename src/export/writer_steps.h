// Steps both stream writers take for every subtitle: progress text, end times, the
// rectangles and area written, the log lines for what is left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/context.h"
#include "platform/clock.h"

namespace vantrel::writing {

// The picture area of a subtitle with both edges taken, kept on the screen. Blu-ray records
// hold the right and bottom edges exclusive; subpicture and text records hold them inclusive.
struct Area {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool empty() const { return right < left || bottom < top; }
};

// The area of slot `o` in a table of kind `subKind`, with both edges taken.
Area pictureArea(const TSUPObject& o, uint8_t subKind);

// "Subtitle: i/count Remaining time: h:mm:ss" after subtitle i (0-based) of `count`.
std::string progressText(size_t i, size_t count, Clock::time_point start);

// The end time the writers use; says so in the log when it had to be supplied.
uint32_t endTimeFor(Context& ctx, size_t i, int& logged);

// The end a writer gives Subs[i]: its effective end, but no later than the start of the next
// subtitle written, as one composition shows at a time. Says so in the log.
uint32_t endBeforeNext(Context& ctx, size_t i, int& logged);

// The rectangles a record's picture is written from: every slot holding a picture (both
// objects of a two-window subtitle), or slot 0 for tables without stream data.
std::vector<TSUPObject> writtenObjects(const Program& p, const TSUP& s);

// Logs that subtitle `s` was left out for an empty area.
void logSkipped(Context& ctx, const TSUP& s, int& logged);

// Fails the export when none of the table's subtitles went into the stream.
void checkWritten(const Program& p, size_t written);

}  // namespace vantrel::writing
