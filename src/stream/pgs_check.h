// Checker of Blu-ray presentation graphics streams against the disc decoder model: timing,
// buffers, epoch limits and the coding of every segment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// The decoder model's constants. Times are 90 kHz ticks.
struct PgsModel {
    static constexpr int64_t kTicksPerSecond = 90000;
    static constexpr int64_t kObjectPixelsPerSecond = 16000000;    // object decoding
    static constexpr int64_t kPlanePixelsPerSecond = 32000000;     // plane clear, window transfer
    static constexpr int64_t kCodedBufferBytes = 1 << 20;          // coded data buffer
    static constexpr int64_t kCodedBytesPerSecond = 2000000;       // its fill rate
    static constexpr int64_t kObjectBufferBytes = 4 << 20;         // decoded objects of an epoch
    static constexpr size_t kMaxObjectIds = 64;
    static constexpr size_t kMaxWindows = 2;
    static constexpr size_t kMaxCompositionObjects = 2;
    static constexpr size_t kMaxPalettes = 8;                      // ids 0 to 7
    static constexpr int64_t kMaxLead = kTicksPerSecond;           // PTS - DTS stays below this

    // Ticks to decode an object of `pixels` pixels.
    static int64_t objectDecodeTicks(int64_t pixels) {
        return (pixels * kTicksPerSecond + kObjectPixelsPerSecond - 1) / kObjectPixelsPerSecond;
    }
    // Ticks to clear or transfer an area of `pixels` pixels of the graphics plane.
    static int64_t planeTicks(int64_t pixels) {
        return (pixels * kTicksPerSecond + kPlanePixelsPerSecond - 1) / kPlanePixelsPerSecond;
    }
};

struct CheckViolation {
    int64_t offset = 0;   // file offset of the segment's marker, or of the display set's PCS
    std::string rule;     // short name of the rule, e.g. "decode-time"
    std::string message;  // what is wrong, with the values involved
};

struct CheckReport {
    std::vector<CheckViolation> violations;
    // What limits the check without being a fault of the stream, e.g. that it codes no
    // decoding times, so that the timing rules were left out.
    std::vector<CheckViolation> notes;
    size_t segments = 0;
    size_t displaySets = 0;
    size_t epochs = 0;
    bool clean() const { return violations.empty(); }
};

// Checks the stream held in memory. Never reads outside [data, data + size).
CheckReport checkPgs(const uint8_t* data, size_t size);
inline CheckReport checkPgs(const std::vector<uint8_t>& bytes) { return checkPgs(bytes.data(), bytes.size()); }

// Checks the stream file; throws PlatformError when it cannot be opened or read.
CheckReport checkPgsFile(const std::string& fileName);

// The report as text lines: one per violation ("<offset hex>  <rule>  <message>"), one per note
// ("Note: <message>."), then a summary.
std::vector<std::string> checkReportLines(const CheckReport& report);

}  // namespace vantrel
