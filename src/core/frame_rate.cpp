// The frame-rate table shared by the stream writers and the picture scripts.
#include "core/frame_rate.h"

namespace vantrel {

uint8_t frameRateCode(int rgFrame) {
    static constexpr uint8_t codes[] = {1, 2, 3, 4, 6, 7};
    return codes[rgFrame >= 0 && rgFrame <= 5 ? rgFrame : 0];
}

const char* FrameRateName(int code) {
    static const char* const names[16] = {"reserved", "23.976", "24",       "25",       "29.97",    "reserved",
                                          "50",       "59.94",  "reserved", "reserved", "reserved", "reserved",
                                          "reserved", "reserved", "reserved", "reserved"};
    return names[code & 15];
}

}  // namespace vantrel
