// Helpers for the render tests and benchmarks: a program state, bit strings, and a
// Blu-ray run-length encoder for hand-made pictures.
#pragma once

#include <string_view>
#include <vector>

#include "core/context.h"
#include "support/stream_builder.h"
#include "support/recording_host.h"
#include "support/session.h"

namespace vantrel::testing {

// A program state with a recording host.
using RenderSession = TestSession;

// Bytes from a string of '0' and '1', most significant bit first; spaces are ignored and
// the last byte is padded with zero bits. bits("10 01 1 0000000 0000") == {0x98, 0x00}.
Bytes bits(std::string_view text);

// A picture of palette indexes, row-major.
struct IndexPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

// Blu-ray run-length data of a picture: every row ends with the end-of-line code.
Bytes bluRayRle(const IndexPicture& picture);

// A picture that looks like two centred lines of text in a 1080p window: glyph-like strokes
// of ink (index 1) with a dark outline (index 2) on a transparent background (index 0).
IndexPicture twoTextLines(int width, int height);

}  // namespace vantrel::testing
