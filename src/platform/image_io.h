// Picture files: PNG (indexed, RGB, grey) through libpng, and 24-bit BMP.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// A decoded PNG. Paletted files keep their indexes in `pixels` (one byte each) with the
// palette in `colors` (red in the low byte) and `alpha`; other files are expanded to RGB
// colour values in `rgb`.
struct DecodedPng {
    int width = 0;
    int height = 0;
    bool indexed = false;
    std::vector<uint8_t> pixels;       // indexed: width*height indexes
    std::array<uint32_t, 256> colors{};
    std::array<uint8_t, 256> alpha{};
    int paletteSize = 0;
    std::vector<uint32_t> rgb;         // not indexed: width*height colour values
};

// Largest picture accepted when reading (either side), to bound memory on hostile files.
inline constexpr int kMaxPictureSide = 16384;

// Pictures larger than `maxSide` on either side are refused before their pixels are decoded.
DecodedPng decodePng(const uint8_t* data, size_t size, int maxSide = kMaxPictureSide);
DecodedPng readPngFile(const std::string& name);

// How hard the deflate step works: Compact for the smallest file, Fast for many pictures in
// a row (a lower zlib level and no row filters, which paletted pictures gain little from).
enum class PngEffort { Compact, Fast };

// Writes an 8-bit paletted PNG (colour type 3) with PLTE and tRNS of `entries` entries.
void writeIndexedPng(const std::string& name, int width, int height, const uint8_t* pixels, size_t stride,
                     const std::array<uint32_t, 256>& colors, const std::array<uint8_t, 256>& alpha,
                     int entries = 256, PngEffort effort = PngEffort::Compact);
// Writes a 24-bit RGB PNG from colour values (red in the low byte).
void writeRgbPng(const std::string& name, int width, int height, const uint32_t* pixels, size_t stride);
// Writes an 8-bit grey PNG.
void writeGreyPng(const std::string& name, int width, int height, const uint8_t* pixels, size_t stride);

// 24-bit BMP, bottom-up rows padded to 4 bytes.
void writeBmp(const std::string& name, int width, int height, const uint32_t* pixels, size_t stride);

// A picture file (BMP of 24 or 32 bits, or any PNG) as colour values.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};
RgbPicture readPicture(const std::string& name, int maxSide = kMaxPictureSide);

}  // namespace vantrel
