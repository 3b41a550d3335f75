// The output buffer of the stream writers: big-endian appends and an MSB-first bit writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel {

// Grows as needed, so an object or packet of any size fits.
class OutBuffer {
public:
    void reset() {
        bytes_.clear();
        bitAcc_ = 0;
        bitCount_ = 0;
    }
    // Appends the n (1..32) low bits of value, most significant first.
    void putBits(uint32_t value, int n);
    void putByte(uint8_t b);
    void putWord(uint16_t v);
    void put24(uint32_t v);
    void putDWord(uint32_t v);
    void putDWordLE(uint32_t v);
    void putBytes(const uint8_t* data, size_t n) { bytes_.insert(bytes_.end(), data, data + n); }
    // Pads the partial byte with zero bits.
    void alignByte() {
        if (bitCount_ > 0) putBits(0, 8 - bitCount_);
    }
    // Overwrites three bytes at `at` with v, big-endian; std::out_of_range when they are not
    // all written yet.
    void patch24(size_t at, uint32_t v);
    void patchWord(size_t at, uint16_t v);        // big-endian
    void patchDWordLE(size_t at, uint32_t v);

    size_t outLen() const { return bytes_.size(); }
    int bitCount() const { return bitCount_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    const uint8_t* data() const { return bytes_.data(); }

private:
    std::vector<uint8_t> bytes_;
    uint8_t bitAcc_ = 0;
    int bitCount_ = 0;
};

}  // namespace vantrel
