// Display-set timing of the Blu-ray export: when each subtitle's sets decode and show,
// which subtitles share an epoch, and where a subtitle has to end earlier or start later
// so that the stream keeps the disc decoder model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/subtitle.h"

namespace vantrel {

// What the planner needs of one subtitle.
struct BdTimingInput {
    int32_t num = 0;          // the subtitle's number, for log lines
    uint32_t start = 0;
    uint32_t end = 0;
    TSUPObject area;          // the coded rectangle, right and bottom edges exclusive
};

// The display sets of one subtitle. All times are 90 kHz ticks.
struct BdTiming {
    size_t input = 0;             // index into the planner's input
    bool epochStart = false;      // else an acquisition point in the running epoch
    TSUPObject window;            // the epoch's window; the object fills it
    uint16_t objectId = 0;
    uint8_t objectVersion = 0;
    uint8_t paletteVersion = 0;
    uint32_t start = 0;           // PTS of the showing composition
    uint32_t decode = 0;          // DTS of its PCS, WDS and ODS, PTS of its PDS
    uint32_t windowReady = 0;     // PTS of its WDS
    uint32_t objectReady = 0;     // PTS of its ODS and END: the object is decoded
    bool cleared = false;         // a clearing set follows; else the next subtitle replaces it
    uint32_t end = 0;             // PTS of the clearing composition
    uint32_t clearDecode = 0;     // its DTS, and PTS of its WDS and END
};

// Plans the display sets of `subs` (in table order). Every change to a subtitle's times adds
// a line to `log`.
std::vector<BdTiming> planBluRayTiming(const std::vector<BdTimingInput>& subs, std::vector<std::string>& log);

}  // namespace vantrel
