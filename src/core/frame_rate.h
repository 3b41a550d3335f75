// Frame rates of the exported streams and scripts: the rgFrame choice, its stream code, its name.
#pragma once

#include <cstdint>

namespace vantrel {

// Frame-rate code of an rgFrame item (0..5 -> 1, 2, 3, 4, 6, 7); items outside 0..5 count as 0.
uint8_t frameRateCode(int rgFrame);
// Names of the 16 frame-rate codes ("23.976", "reserved", ...).
const char* FrameRateName(int code);

}  // namespace vantrel
