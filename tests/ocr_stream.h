// Blu-ray streams of painted glyphs for the OCR tests and benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ocr_glyph_painter.h"
#include "support/render_support.h"
#include "support/stream_builder.h"

namespace vantrel::testing {

// One subtitle: a picture shown at (x, y) from `start` until `end` (0: never cleared).
struct StreamSub {
    IndexPicture picture;
    uint16_t x = 100, y = 900;
    uint32_t start = 90000, end = 0;
};

// The top-left width x height pixels of a canvas as a picture: ink is index 1 (white),
// everything else index 0 (transparent black).
inline IndexPicture pictureOf(const InkCanvas& canvas, int width, int height) {
    IndexPicture p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height), 0)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.pixels[static_cast<size_t>(y * width + x)] = canvas.plane[static_cast<size_t>(y) * InkCanvas::kWidth + static_cast<size_t>(x)];
    return p;
}

// A picture of width x height with the glyphs `paint` puts on a canvas.
template <typename Paint>
IndexPicture paintedPicture(int width, int height, Paint paint) {
    InkCanvas canvas;
    paint(canvas);
    return pictureOf(canvas, width, height);
}

// Per subtitle: PCS, WDS, PDS (0 transparent, 1 white), ODS, END; and the clearing
// display set when the subtitle has an end.
inline Bytes pgsStream(const std::vector<StreamSub>& subs) {
    PgsBuilder b;
    uint16_t number = 0;
    for (const StreamSub& s : subs) {
        const auto w = static_cast<uint16_t>(s.picture.width);
        const auto h = static_cast<uint16_t>(s.picture.height);
        const Bytes rle = bluRayRle(s.picture);
        b.pcs(s.start, {{0, 0, s.x, s.y}}, 0x80, number++);
        b.wds(s.start, {{0, s.x, s.y, w, h}});
        b.pds(s.start, {{0, 16, 128, 128, 0}, {1, 235, 128, 128, 255}});
        b.ods(s.start, 0, true, true, rle, w, h, static_cast<uint32_t>(rle.size() + 4));
        b.end(s.start);
        if (s.end != 0) {
            b.pcs(s.end, {}, 0x00, number++);
            b.wds(s.end, {{0, s.x, s.y, w, h}});
            b.end(s.end);
        }
    }
    return b.bytes();
}

// "l l": two bars 30 columns apart.
inline IndexPicture twoBars() {
    return paintedPicture(200, 60, [](InkCanvas& c) {
        c.glyph(barShape(), {}, 20, 5);
        c.glyph(barShape(), {}, 50, 5);
    });
}

// `count` subtitles of "l l", one second each, written to a file named `name`.
inline std::string barsStream(const std::string& name, int count) {
    std::vector<StreamSub> subs;
    for (int i = 0; i < count; ++i) {
        StreamSub s;
        s.picture = twoBars();
        s.start = 90000u * static_cast<uint32_t>(2 * i + 1);
        s.end = s.start + 90000u;
        subs.push_back(s);
    }
    return writeTempFile(name, pgsStream(subs));
}

}  // namespace vantrel::testing
