// Builders of Blu-ray and subpicture streams for tests, benchmarks and fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/subtitle.h"

namespace vantrel::testing {

using Bytes = std::vector<uint8_t>;

void putBE(Bytes& b, uint64_t v, int bytes);
void putLE(Bytes& b, uint64_t v, int bytes);

// A Blu-ray presentation graphics stream, one segment per call:
// "PG", u32 PTS, u32 DTS, u8 type, u16 length, payload.
class PgsBuilder {
public:
    struct CompObject {
        uint16_t objectId = 0;
        uint8_t windowId = 0;
        uint16_t x = 0, y = 0;
        bool cropped = false;
        bool forced = false;
        uint16_t cropX = 0, cropY = 0, cropW = 10, cropH = 10;   // written when cropped
    };
    struct Window {
        uint8_t id = 0;
        uint16_t x = 0, y = 0, w = 0, h = 0;
    };
    struct Entry {
        uint8_t index, y, cr, cb, alpha;
    };

    // A composition for a video of width x height (0: the size set by video()). Without a
    // number it takes the count of compositions written before it, as a disc numbers them.
    PgsBuilder& pcs(uint32_t pts, const std::vector<CompObject>& objects, uint8_t state = 0x80,
                    int32_t number = -1, uint16_t width = 0, uint16_t height = 0);
    // Video size (taken by compositions that name none), frame-rate code and palette id that
    // the following compositions carry (1920x1080, code 1, palette 0 unless set).
    PgsBuilder& video(uint16_t width, uint16_t height, uint8_t frameCode);
    PgsBuilder& paletteRef(uint8_t paletteId);
    // Whether the following compositions only change the palette of what shows.
    PgsBuilder& paletteUpdate(bool on) {
        paletteUpdate_ = on;
        return *this;
    }
    PgsBuilder& wds(uint32_t pts, const std::vector<Window>& windows);
    PgsBuilder& pds(uint32_t pts, const std::vector<Entry>& entries, uint8_t id = 0, uint8_t version = 0);
    // One ODS segment; `first` adds data length, width and height before the data.
    PgsBuilder& ods(uint32_t pts, uint16_t objectId, bool first, bool last, const Bytes& data,
                    uint16_t width = 0, uint16_t height = 0, uint32_t dataLength = 0);
    PgsBuilder& end(uint32_t pts);
    // Gives the next segment this decoding time (segments carry DTS 0 otherwise).
    PgsBuilder& dts(uint32_t value) {
        dts_ = value;
        return *this;
    }
    // Any segment with a raw payload; `length` overrides the length field when >= 0.
    PgsBuilder& segment(uint32_t pts, uint8_t type, const Bytes& payload, int length = -1);

    // Offset in the stream where the next segment will start.
    size_t offset() const { return bytes_.size(); }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
    uint32_t dts_ = 0;
    uint16_t width_ = 1920, height_ = 1080;
    uint8_t frameCode_ = 1;
    uint8_t paletteId_ = 0;
    uint16_t compositions_ = 0;
    bool paletteUpdate_ = false;
};

// A subpicture ("SP") stream: "SP", u32le PTS, u32le 0, then one SPU per packet.
class SpBuilder {
public:
    // HD DVD (32-bit header and pointers) when `hd`, DVD-style (16-bit) otherwise.
    struct Dcsq {
        uint16_t stm = 0;
        Bytes commands;          // command bytes with operands
        bool last = false;       // the next pointer points to this DCSQ itself
    };
    SpBuilder& packet(uint32_t pts, bool hd, const Bytes& pixels, const std::vector<Dcsq>& sequences,
                      uint32_t ptsHigh = 0);
    // Appends raw bytes (for malformed streams).
    SpBuilder& raw(const Bytes& b);

    const Bytes& bytes() const { return bytes_; }
    // File offset of the SPU start of each packet written so far.
    const std::vector<size_t>& spuStarts() const { return spuStarts_; }

    // Command helpers.
    static Bytes staDsp() { return {0x01}; }
    static Bytes stpDsp() { return {0x02}; }
    static Bytes cmdEnd() { return {0xFF}; }
    static Bytes setDarea(bool hd, uint16_t x1, uint16_t x2, uint16_t y1, uint16_t y2);
    static Bytes setDspxa(bool hd, uint32_t top, uint32_t bottom);
    static Bytes setColor2(const Bytes& ycrcb768);
    static Bytes setContr2(const Bytes& contrast256);

private:
    Bytes bytes_;
    std::vector<size_t> spuStarts_;
};

// Crafted streams of about `bytes` bytes that make as many records as the format allows: a
// Blu-ray object of 64 one-byte fragments, then 32-byte compositions that each show it; or
// 15-byte DVD-style subpicture packets.
Bytes craftedBluRay(size_t bytes);
Bytes craftedSubpictures(size_t bytes);

// Writes bytes to a fresh file in a temporary folder; returns its path.
std::string writeTempFile(const std::string& name, const Bytes& data);

// Writes bytes at `offset` of an existing file. Writing past the end leaves a hole, so a
// file of several GiB holds only the few blocks a test writes.
void writeAt(const std::string& path, int64_t offset, const Bytes& data);

// A record slot that holds only its rectangle, corners as the record keeps them.
inline TSUPObject slotRect(uint16_t x1, uint16_t y1, uint16_t x2, uint16_t y2) {
    TSUPObject o;
    o.x1 = x1;
    o.y1 = y1;
    o.x2 = x2;
    o.y2 = y2;
    return o;
}

}  // namespace vantrel::testing
