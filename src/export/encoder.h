// Run-length encoders of the composed paletted picture: Blu-ray objects and HD DVD fields.
#pragma once

#include <cstdint>
#include <vector>

#include "core/pictures.h"
#include "core/subtitle.h"
#include "export/out_buffer.h"

namespace vantrel {

// Palette index at (x, y); 0 outside the picture.
uint8_t pixelAt(const IndexedImage& img, int x, int y);

// The Blu-ray code of columns x1 .. x2-1 and lines y1 .. y2-1 of the slot's rectangle.
// An empty rectangle gives no bytes.
std::vector<uint8_t> encodeBDObject(const IndexedImage& img, const TSUPObject& slot);

// Appends the HD DVD code of every second line from y1 + field while y <= y2, columns
// x1 .. x2-1. After field 1 the control offset (outLen - 10) goes into bytes 17..19.
void encodeHDField(OutBuffer& out, const IndexedImage& img, const TSUPObject& slot, int field);

}  // namespace vantrel
