// PNG through libpng's classic interface; BMP by hand.
#include "platform/image_io.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include <png.h>

#include "platform/files.h"

namespace vantrel {
namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (n > r->size - r->pos) png_error(png, "unexpected end of PNG data");
    std::memcpy(out, r->data + r->pos, n);
    r->pos += n;
}

void silentWarning(png_structp, png_const_charp) {}
// The error ends the decode through its jump buffer; the caller reports it.
[[noreturn]] void silentError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Decodes into `out`; returns an error text or nullptr. Kept free of objects with
// destructors between setjmp and the end, as longjmp would skip them.
const char* decodeInto(const uint8_t* data, size_t size, int maxSide, DecodedPng& out,
                       std::vector<png_bytep>& rows) {
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) return "not a PNG file";
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, silentError, silentWarning);
    if (!png) return "out of memory";
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return "out of memory";
    }
    MemoryReader reader{data, size, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return "damaged PNG file";
    }
    png_set_read_fn(png, &reader, readFromMemory);
    png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
    png_read_info(png, info);
    const auto width = png_get_image_width(png, info);
    const auto height = png_get_image_height(png, info);
    if (width > static_cast<png_uint_32>(maxSide) || height > static_cast<png_uint_32>(maxSide)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return "Picture too large";
    }
    const int colorType = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.indexed = colorType == PNG_COLOR_TYPE_PALETTE;
    if (out.indexed) {
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count) && palette) {
            out.paletteSize = count;
            for (int i = 0; i < count && i < 256; ++i)
                out.colors[static_cast<size_t>(i)] = palette[i].red | (palette[i].green << 8) |
                                                     (static_cast<uint32_t>(palette[i].blue) << 16);
        }
        out.alpha.fill(255);
        png_bytep trans = nullptr;
        int transCount = 0;
        if (png_get_tRNS(png, info, &trans, &transCount, nullptr) && trans)
            for (int i = 0; i < transCount && i < 256; ++i) out.alpha[static_cast<size_t>(i)] = trans[i];
        if (depth < 8) png_set_packing(png);
    } else {
        if (depth == 16) png_set_strip_16(png);
        if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
        if (depth < 8 && colorType == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const size_t pixelBytes = out.indexed ? 1 : 4;
    if (rowBytes != width * pixelBytes) png_error(png, "unexpected row layout");
    std::vector<uint8_t>& buffer = out.pixels;
    buffer.resize(rowBytes * height);
    rows.resize(height);
    for (size_t y = 0; y < height; ++y) rows[y] = buffer.data() + y * rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
}

// Where libpng writes to; a write error keeps the file layer's message (which says why) for
// the caller, as libpng itself only learns that writing stopped.
struct PngSink {
    OutputFile& file;
    std::string error;
};

void writeToFile(png_structp png, png_bytep data, png_size_t n) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        sink->file.write(data, n);
    } catch (const std::exception& e) {
        sink->error = e.what();
        failed = true;
    }
    // Left outside the handler: the jump must not cross a live exception.
    if (failed) png_error(png, "write error");
}

void noFlush(png_structp) {}

// Encodes rows already laid out in `rows`; returns an error text or nullptr.
const char* encode(PngSink& sink, int width, int height, int colorType, const std::vector<png_bytep>& rows,
                   const png_color* palette, const png_byte* trans, int entries, PngEffort effort) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, silentError, silentWarning);
    if (!png) return "out of memory";
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return "out of memory";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "PNG write error";
    }
    png_set_write_fn(png, &sink, writeToFile, noFlush);
    if (effort == PngEffort::Fast) {
        png_set_compression_level(png, 1);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) {
        png_set_PLTE(png, info, palette, entries);
        png_set_tRNS(png, info, trans, entries, nullptr);
    }
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return nullptr;
}

void writePng(const std::string& name, int width, int height, int colorType, std::vector<uint8_t>& data,
              size_t rowBytes, const png_color* palette = nullptr, const png_byte* trans = nullptr, int entries = 0,
              PngEffort effort = PngEffort::Compact) {
    if (width <= 0 || height <= 0) throw PlatformError("Cannot write an empty picture to \"" + name + "\"");
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (size_t y = 0; y < rows.size(); ++y) rows[y] = data.data() + y * rowBytes;
    OutputFile file(name);
    PngSink sink{file, {}};
    if (const char* error = encode(sink, width, height, colorType, rows, palette, trans, entries, effort))
        throw PlatformError(sink.error.empty() ? "Cannot write file \"" + name + "\". " + error : sink.error);
    file.close();
}

}  // namespace

DecodedPng decodePng(const uint8_t* data, size_t size, int maxSide) {
    DecodedPng out;
    std::vector<png_bytep> rows;
    if (const char* error = decodeInto(data, size, maxSide, out, rows)) throw PlatformError(error);
    if (!out.indexed) {
        out.rgb.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
        for (size_t i = 0; i < out.rgb.size(); ++i) {
            const uint8_t* p = out.pixels.data() + 4 * i;
            out.rgb[i] = p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
        }
        out.pixels.clear();
    }
    return out;
}

DecodedPng readPngFile(const std::string& name) {
    const auto bytes = readWholeFile(name);
    try {
        return decodePng(bytes.data(), bytes.size());
    } catch (const PlatformError& e) {
        throw PlatformError("Cannot read picture \"" + name + "\". " + e.what());
    }
}

void writeIndexedPng(const std::string& name, int width, int height, const uint8_t* pixels, size_t stride,
                     const std::array<uint32_t, 256>& colors, const std::array<uint8_t, 256>& alpha, int entries,
                     PngEffort effort) {
    entries = std::max(1, std::min(entries, 256));
    std::vector<uint8_t> data(static_cast<size_t>(width) * static_cast<size_t>(std::max(height, 0)));
    for (int y = 0; y < height; ++y)
        std::memcpy(data.data() + static_cast<size_t>(y) * static_cast<size_t>(width), pixels + static_cast<size_t>(y) * stride,
                    static_cast<size_t>(width));
    png_color palette[256];
    png_byte trans[256];
    for (size_t i = 0; i < 256; ++i) {
        palette[i].red = static_cast<png_byte>(colors[i] & 0xFF);
        palette[i].green = static_cast<png_byte>((colors[i] >> 8) & 0xFF);
        palette[i].blue = static_cast<png_byte>((colors[i] >> 16) & 0xFF);
        trans[i] = alpha[i];
    }
    writePng(name, width, height, PNG_COLOR_TYPE_PALETTE, data, static_cast<size_t>(width), palette, trans, entries,
             effort);
}

void writeRgbPng(const std::string& name, int width, int height, const uint32_t* pixels, size_t stride) {
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> data(rowBytes * static_cast<size_t>(std::max(height, 0)));
    for (int y = 0; y < height; ++y) {
        const uint32_t* src = pixels + static_cast<size_t>(y) * stride;
        uint8_t* dst = data.data() + static_cast<size_t>(y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = static_cast<uint8_t>(src[x] & 0xFF);
            dst[3 * x + 1] = static_cast<uint8_t>((src[x] >> 8) & 0xFF);
            dst[3 * x + 2] = static_cast<uint8_t>((src[x] >> 16) & 0xFF);
        }
    }
    writePng(name, width, height, PNG_COLOR_TYPE_RGB, data, rowBytes);
}

void writeGreyPng(const std::string& name, int width, int height, const uint8_t* pixels, size_t stride) {
    std::vector<uint8_t> data(static_cast<size_t>(width) * static_cast<size_t>(std::max(height, 0)));
    for (int y = 0; y < height; ++y)
        std::memcpy(data.data() + static_cast<size_t>(y) * static_cast<size_t>(width), pixels + static_cast<size_t>(y) * stride,
                    static_cast<size_t>(width));
    writePng(name, width, height, PNG_COLOR_TYPE_GRAY, data, static_cast<size_t>(width));
}

void writeBmp(const std::string& name, int width, int height, const uint32_t* pixels, size_t stride) {
    if (width <= 0 || height <= 0) throw PlatformError("Cannot write an empty picture to \"" + name + "\"");
    const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    const size_t imageBytes = rowBytes * static_cast<size_t>(height);
    std::vector<uint8_t> out(54 + imageBytes, 0);
    auto put16 = [&](size_t at, uint32_t v) {
        out[at] = static_cast<uint8_t>(v);
        out[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    // BITMAPFILEHEADER (14 bytes) then BITMAPINFOHEADER (40 bytes)
    out[0] = 'B';
    out[1] = 'M';
    put32(2, static_cast<uint32_t>(out.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    put32(34, static_cast<uint32_t>(imageBytes));
    put32(38, 2835);
    put32(42, 2835);
    for (int y = 0; y < height; ++y) {
        const uint32_t* src = pixels + static_cast<size_t>(height - 1 - y) * stride;
        uint8_t* dst = out.data() + 54 + static_cast<size_t>(y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = static_cast<uint8_t>((src[x] >> 16) & 0xFF);     // blue
            dst[3 * x + 1] = static_cast<uint8_t>((src[x] >> 8) & 0xFF);  // green
            dst[3 * x + 2] = static_cast<uint8_t>(src[x] & 0xFF);         // red
        }
    }
    writeWholeFile(name, out.data(), out.size());
}

RgbPicture readPicture(const std::string& name, int maxSide) {
    const auto bytes = readWholeFile(name);
    RgbPicture pic;
    auto bad = [&](const char* why) { return PlatformError("Cannot read picture \"" + name + "\". " + why); };
    if (bytes.size() >= 8 && png_sig_cmp(bytes.data(), 0, 8) == 0) {
        DecodedPng png;
        try {
            png = decodePng(bytes.data(), bytes.size(), maxSide);
        } catch (const PlatformError& e) {
            throw bad(e.what());
        }
        pic.width = png.width;
        pic.height = png.height;
        if (png.indexed) {
            pic.pixels.resize(png.pixels.size());
            for (size_t i = 0; i < png.pixels.size(); ++i) pic.pixels[i] = png.colors[png.pixels[i]];
        } else {
            pic.pixels = std::move(png.rgb);
        }
        return pic;
    }
    // BITMAPFILEHEADER + BITMAPINFOHEADER, uncompressed 24 or 32 bits per pixel.
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') throw bad("Unsupported picture format");
    auto get16 = [&](size_t at) { return static_cast<uint32_t>(bytes[at] | (bytes[at + 1] << 8)); };
    auto get32 = [&](size_t at) { return get16(at) | (get16(at + 2) << 16); };
    const uint32_t dataOffset = get32(10);
    const auto width = static_cast<int32_t>(get32(18));
    const auto rawHeight = static_cast<int32_t>(get32(22));
    const uint32_t bits = get16(28);
    const uint32_t compression = get32(30);
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || width > maxSide ||
        std::abs(rawHeight) > maxSide)
        throw bad(width > maxSide || (rawHeight != INT32_MIN && std::abs(rawHeight) > maxSide) ? "Picture too large"
                                                                                       : "Bad picture size");
    if ((bits != 24 && bits != 32) || (compression != 0 && compression != 3)) throw bad("Unsupported BMP format");
    const int height = std::abs(rawHeight);
    const size_t bytesPerPixel = bits / 8;
    const size_t rowBytes = (static_cast<size_t>(width) * bytesPerPixel + 3) & ~size_t{3};
    if (dataOffset > bytes.size() || rowBytes * static_cast<size_t>(height) > bytes.size() - dataOffset)
        throw bad("Truncated BMP file");
    pic.width = width;
    pic.height = height;
    pic.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int srcRow = rawHeight > 0 ? height - 1 - y : y;
        const uint8_t* src = bytes.data() + dataOffset + static_cast<size_t>(srcRow) * rowBytes;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = src + static_cast<size_t>(x) * bytesPerPixel;
            pic.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                p[2] | (p[1] << 8) | (static_cast<uint32_t>(p[0]) << 16);
        }
    }
    return pic;
}

}  // namespace vantrel
