// Windows-1252 <-> UTF-8.
#include "core/encoding.h"

#include <array>
#include <cstdint>

namespace vantrel {
namespace {

// Code points of bytes 0x80..0x9F; 0 marks the five bytes Windows-1252 leaves undefined,
// which map to the C1 control of the same value.
constexpr std::array<uint16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

uint32_t codePointOf(unsigned char c) {
    if (c >= 0x80 && c < 0xA0 && kHigh[c - 0x80] != 0) return kHigh[c - 0x80];
    return c;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at text[i]; returns its length, 0 when invalid.
size_t decodeUtf8(std::string_view text, size_t i, uint32_t& cp) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t n = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if ((c & 0xE0) == 0xC0) { n = 2; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { n = 3; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { n = 4; cp = c & 0x07; }
    else return 0;
    if (i + n > text.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        const auto cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms and surrogates are not valid UTF-8.
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// UTF-16 code units (after the byte-order mark) as UTF-8. A lone surrogate becomes U+FFFD,
// which has no Windows-1252 code; an odd last byte is dropped.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<uint32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < bytes.size()) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
        appendUtf8(out, cp);
    }
    return out;
}

}  // namespace

std::string cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) appendUtf8(out, codePointOf(static_cast<unsigned char>(ch)));
    return out;
}

std::string utf8ToCp1252(std::string_view text, size_t* unmapped) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t n = decodeUtf8(text, i, cp);
        if (n == 0) {
            out += text[i++];
            continue;
        }
        i += n;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        char mapped = '?';
        for (size_t k = 0; k < kHigh.size(); ++k)
            if (kHigh[k] == cp) mapped = static_cast<char>(0x80 + k);
        if (mapped == '?' && unmapped) ++*unmapped;
        out += mapped;
    }
    return out;
}

bool looksLikeUtf8(std::string_view text) {
    bool multi = false;
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t n = decodeUtf8(text, i, cp);
        if (n == 0) return false;
        multi = multi || n > 1;
        i += n;
    }
    return multi;
}

std::string encodeText(std::string_view text, TextEncoding encoding) {
    if (encoding == TextEncoding::Cp1252) return std::string(text);
    return cp1252ToUtf8(text);
}

std::optional<std::string> unicodeTextAsUtf8(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
    if (bytes.substr(0, 2) == "\xFF\xFE") return utf16ToUtf8(bytes.substr(2), false);
    if (bytes.substr(0, 2) == "\xFE\xFF") return utf16ToUtf8(bytes.substr(2), true);
    if (looksLikeUtf8(bytes)) return std::string(bytes);
    return std::nullopt;
}

std::string nameToUtf8(std::string_view platformName) {
    for (size_t i = 0; i < platformName.size();) {
        uint32_t cp = 0;
        const size_t n = decodeUtf8(platformName, i, cp);
        if (n == 0) return cp1252ToUtf8(platformName);
        i += n;
    }
    return std::string(platformName);
}

}  // namespace vantrel
