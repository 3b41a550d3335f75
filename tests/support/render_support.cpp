// Render test helpers.
#include "support/render_support.h"

#include <algorithm>

namespace vantrel::testing {

Bytes bits(std::string_view text) {
    Bytes out;
    int used = 8;
    for (char c : text) {
        if (c != '0' && c != '1') continue;
        if (used == 8) {
            out.push_back(0);
            used = 0;
        }
        if (c == '1') out.back() = static_cast<uint8_t>(out.back() | (0x80 >> used));
        ++used;
    }
    return out;
}

namespace {

// One run: 1 or 2 pixels of a colour other than 0 as single bytes, else the shortest code.
void putRun(Bytes& out, uint8_t color, int length) {
    while (length > 0) {
        const int l = std::min(length, 16383);
        if (color != 0 && l <= 2) {
            for (int k = 0; k < l; ++k) out.push_back(color);
        } else if (color == 0 && l < 64) {
            out.insert(out.end(), {0x00, static_cast<uint8_t>(l)});
        } else if (color == 0) {
            out.insert(out.end(), {0x00, static_cast<uint8_t>(0x40 | (l >> 8)), static_cast<uint8_t>(l & 0xFF)});
        } else if (l < 64) {
            out.insert(out.end(), {0x00, static_cast<uint8_t>(0x80 | l), color});
        } else {
            out.insert(out.end(),
                       {0x00, static_cast<uint8_t>(0xC0 | (l >> 8)), static_cast<uint8_t>(l & 0xFF), color});
        }
        length -= l;
    }
}

}  // namespace

Bytes bluRayRle(const IndexPicture& picture) {
    Bytes out;
    for (int y = 0; y < picture.height; ++y) {
        int x = 0;
        while (x < picture.width) {
            const uint8_t c = picture.at(x, y);
            int end = x + 1;
            while (end < picture.width && picture.at(end, y) == c) ++end;
            putRun(out, c, end - x);
            x = end;
        }
        out.insert(out.end(), {0x00, 0x00});
    }
    return out;
}

IndexPicture twoTextLines(int width, int height) {
    IndexPicture p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height), 0)};
    const int lineHeight = height / 2;
    for (int line = 0; line < 2; ++line) {
        const int top = line * lineHeight + lineHeight / 6;
        const int bottom = (line + 1) * lineHeight - lineHeight / 6;
        // Letters of 30 pixels with a gap every sixth letter, a little narrower on line 2.
        const int textWidth = line == 0 ? width * 9 / 10 : width * 7 / 10;
        const int left = (width - textWidth) / 2;
        for (int x0 = left, letter = 0; x0 + 30 <= left + textWidth; x0 += 34, ++letter) {
            if (letter % 6 == 5) continue;   // a space
            for (int y = top; y < bottom; ++y) {
                for (int x = x0; x < x0 + 30; ++x) {
                    // Two vertical stems and a bar: ink 5 pixels wide, outline 2 pixels.
                    const int dx = x - x0;
                    const bool stem = (dx >= 2 && dx < 9) || (dx >= 21 && dx < 28);
                    const bool bar = y >= (top + bottom) / 2 - 3 && y < (top + bottom) / 2 + 4;
                    const bool inkStem = (dx >= 4 && dx < 7) || (dx >= 23 && dx < 26);
                    const bool inkBar = y >= (top + bottom) / 2 - 1 && y < (top + bottom) / 2 + 2;
                    uint8_t v = 0;
                    if (stem || bar) v = 2;
                    if (inkStem || (inkBar && dx >= 4 && dx < 26)) v = 1;
                    p.pixels[static_cast<size_t>(y * width + x)] = v;
                }
            }
        }
    }
    return p;
}

}  // namespace vantrel::testing
