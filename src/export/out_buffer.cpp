// Output buffer appends.
#include "export/out_buffer.h"

#include <stdexcept>

namespace vantrel {

void OutBuffer::putBits(uint32_t value, int n) {
    for (int k = n - 1; k >= 0; --k) {
        bitAcc_ = static_cast<uint8_t>((bitAcc_ << 1) | ((value >> k) & 1u));
        if (++bitCount_ == 8) {
            bytes_.push_back(bitAcc_);
            bitAcc_ = 0;
            bitCount_ = 0;
        }
    }
}

void OutBuffer::putByte(uint8_t b) {
    if (bitCount_ > 0) putBits(b, 8);
    else bytes_.push_back(b);
}

void OutBuffer::putWord(uint16_t v) {
    if (bitCount_ > 0) {
        putBits(v, 16);
        return;
    }
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    bytes_.push_back(static_cast<uint8_t>(v));
}

void OutBuffer::put24(uint32_t v) {
    bytes_.push_back(static_cast<uint8_t>(v >> 16));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    bytes_.push_back(static_cast<uint8_t>(v));
}

void OutBuffer::putDWord(uint32_t v) {
    for (int k = 3; k >= 0; --k) bytes_.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

void OutBuffer::putDWordLE(uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes_.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

void OutBuffer::patchWord(size_t at, uint16_t v) {
    if (at + 2 > bytes_.size()) return;
    bytes_[at] = static_cast<uint8_t>(v >> 8);
    bytes_[at + 1] = static_cast<uint8_t>(v);
}

void OutBuffer::patchDWordLE(size_t at, uint32_t v) {
    if (at + 4 > bytes_.size()) return;
    for (size_t k = 0; k < 4; ++k) bytes_[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

void OutBuffer::patch24(size_t at, uint32_t v) {
    // A patch past the written bytes is a writer's miscount: the stream would carry a wrong
    // size field, so it is reported rather than skipped.
    if (at > bytes_.size() || bytes_.size() - at < 3) throw std::out_of_range("patch past the end of the output buffer");
    bytes_[at] = static_cast<uint8_t>(v >> 16);
    bytes_[at + 1] = static_cast<uint8_t>(v >> 8);
    bytes_[at + 2] = static_cast<uint8_t>(v);
}

}  // namespace vantrel
