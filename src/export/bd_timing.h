// Display-set timing of the Blu-ray export: when each subtitle's sets decode and show,
// which subtitles share an epoch, the epoch's windows, and where a subtitle has to end
// earlier or start later so that the stream keeps the disc decoder model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/subtitle.h"

namespace vantrel {

// What the planner needs of one subtitle.
struct BdTimingInput {
    int32_t num = 0;                  // the subtitle's number, for log lines
    uint32_t start = 0;
    uint32_t end = 0;
    // The coded rectangles, one or two, that do not overlap; right and bottom edges exclusive.
    std::vector<TSUPObject> objects;
};

// One composition object of a showing set: its object at its own size and position.
struct BdObject {
    TSUPObject area;                  // rectangle on the screen, right and bottom exclusive
    uint16_t id = 0;
    uint8_t version = 0;
    uint8_t window = 0;               // id of the epoch window that holds it
    uint32_t decode = 0;              // DTS of its ODS: objects decode one after the other
    uint32_t ready = 0;               // PTS of its ODS: the object is decoded
};

// The display sets of one subtitle. All times are 90 kHz ticks.
struct BdTiming {
    size_t input = 0;                 // index into the planner's input
    bool epochStart = false;          // else an acquisition point in the running epoch
    std::vector<TSUPObject> windows;  // the epoch's windows; window id k is windows[k]
    std::vector<BdObject> objects;
    uint8_t paletteVersion = 0;
    uint32_t start = 0;               // PTS of the showing composition
    uint32_t decode = 0;              // DTS of its PCS and WDS, PTS of its PDS
    uint32_t windowReady = 0;         // PTS of its WDS
    uint32_t objectReady = 0;         // PTS of its END: every object is decoded
    bool cleared = false;             // a clearing set follows; else the next subtitle replaces it
    uint32_t end = 0;                 // PTS of the clearing composition
    uint32_t clearDecode = 0;         // its DTS, and PTS of its WDS and END
};

// The rectangle covering both, forced when either is.
TSUPObject uniteAreas(const TSUPObject& a, const TSUPObject& b);

// Plans the display sets of `subs` (in table order). Every change to a subtitle's times adds
// a line to `log`.
std::vector<BdTiming> planBluRayTiming(const std::vector<BdTimingInput>& subs, std::vector<std::string>& log);

}  // namespace vantrel
