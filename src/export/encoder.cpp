// Run-length encoders. Runs never cross a line; each line ends with its own code.
#include "export/encoder.h"

#include <algorithm>

namespace vantrel {
namespace {

// Length of the run of colour c starting at x, up to (not including) right.
int runLength(const IndexedImage& img, int x, int y, int right, uint8_t c) {
    int n = 1;
    if (img.contains(0, y)) {
        const int inside = std::min(right, img.width);
        const uint8_t* row = img.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(img.width);
        while (x + n < inside && row[x + n] == c) ++n;
        if (x + n < inside || c != 0) return n;   // past the picture every pixel reads 0
    } else if (c != 0) {
        return 1;
    }
    while (x + n < right && pixelAt(img, x + n, y) == c) ++n;
    return n;
}

}  // namespace

uint8_t pixelAt(const IndexedImage& img, int x, int y) { return img.contains(x, y) ? img.at(x, y) : 0; }

std::vector<uint8_t> encodeBDObject(const IndexedImage& img, const TSUPObject& slot) {
    std::vector<uint8_t> out;
    const int left = slot.x1, right = slot.x2, top = slot.y1, bottom = slot.y2;
    if (right <= left || bottom <= top) return out;
    out.reserve(static_cast<size_t>(right - left) * static_cast<size_t>(bottom - top) / 4 + 64);
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right;) {
            const uint8_t c = pixelAt(img, x, y);
            const int len = runLength(img, x, y, right, c);
            const auto lo = static_cast<uint8_t>(len & 0xFF);
            const auto hi = static_cast<uint8_t>(len >> 8);
            if (c != 0 && len <= 2) {
                out.insert(out.end(), static_cast<size_t>(len), c);
            } else if (c == 0 && len <= 63) {
                out.insert(out.end(), {0x00, lo});
            } else if (c == 0) {
                out.insert(out.end(), {0x00, static_cast<uint8_t>(0x40 + hi), lo});
            } else if (len <= 63) {
                out.insert(out.end(), {0x00, static_cast<uint8_t>(0x80 + len), c});
            } else {
                out.insert(out.end(), {0x00, static_cast<uint8_t>(0xC0 + hi), lo, c});
            }
            x += len;
        }
        out.insert(out.end(), {0x00, 0x00});
    }
    return out;
}

void encodeHDField(OutBuffer& out, const IndexedImage& img, const TSUPObject& slot, int field) {
    const int left = slot.x1, right = slot.x2, top = slot.y1, bottom = slot.y2;
    for (int y = top + field; y <= bottom && right > left; y += 2) {
        for (int x = left; x < right;) {
            const uint8_t c = pixelAt(img, x, y);
            const int len = runLength(img, x, y, right, c);
            // Colours 0..3: "1x" prefixes with 2 bits of colour; others with 8 bits.
            const bool small = c < 4;
            auto colour = [&](uint32_t prefix) {
                out.putBits(prefix, 2);
                if (small) out.putBits(c, 2);
                else out.putByte(c);
            };
            if (x + len == right) {
                colour(small ? 0b10 : 0b11);
                out.putBits(0x80, 8);   // 1, then seven 0 bits: to the end of the line
                x = right;
            } else if (len == 1) {
                colour(small ? 0b00 : 0b01);
                x += 1;
            } else if (len <= 9) {
                colour(small ? 0b10 : 0b11);
                out.putBits(static_cast<uint32_t>(len - 2), 4);   // 0, then 3 bits
                x += len;
            } else {
                const int covered = std::min(len, 136);
                colour(small ? 0b10 : 0b11);
                out.putBits(0x80u | static_cast<uint32_t>(covered - 9), 8);   // 1, then 7 bits
                x += covered;
            }
        }
        out.alignByte();
    }
    if (field == 1) out.patch24(17, static_cast<uint32_t>(out.outLen() - 10));
}

}  // namespace vantrel
