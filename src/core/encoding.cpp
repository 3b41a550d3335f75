// Windows-1252 <-> UTF-8, and the characters of UTF-8 text.
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

void putUtf8(std::string& out, uint32_t cp) {
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
        putUtf8(out, cp);
    }
    return out;
}

}  // namespace

std::string cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) putUtf8(out, codePointOf(static_cast<unsigned char>(ch)));
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

bool validUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t n = decodeUtf8(text, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string asUtf8(std::string_view text) {
    if (validUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (size_t i = 0; i < text.size();) putUtf8(out, nextChar(text, i));
    return out;
}

std::string encodeText(std::string_view text, TextEncoding encoding, size_t* unmapped) {
    if (encoding == TextEncoding::Cp1252) return utf8ToCp1252(text, unmapped);
    return asUtf8(text);
}

std::optional<std::string> unicodeTextAsUtf8(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
    if (bytes.substr(0, 2) == "\xFF\xFE") return utf16ToUtf8(bytes.substr(2), false);
    if (bytes.substr(0, 2) == "\xFE\xFF") return utf16ToUtf8(bytes.substr(2), true);
    if (looksLikeUtf8(bytes)) return std::string(bytes);
    return std::nullopt;
}

char32_t nextChar(std::string_view text, size_t& i) {
    uint32_t cp = 0;
    const size_t n = decodeUtf8(text, i, cp);
    if (n == 0) return codePointOf(static_cast<unsigned char>(text[i++]));
    i += n;
    return cp;
}

std::u32string toChars(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) out += nextChar(text, i);
    return out;
}

char32_t firstChar(std::string_view text) {
    size_t i = 0;
    return text.empty() ? 0 : nextChar(text, i);
}

size_t charCount(std::string_view text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++n) nextChar(text, i);
    return n;
}

void appendUtf8(std::string& out, char32_t c) { putUtf8(out, c > 0x10FFFF ? 0xFFFD : c); }

std::string toUtf8(std::u32string_view chars) {
    std::string out;
    out.reserve(chars.size());
    for (char32_t c : chars) appendUtf8(out, c);
    return out;
}

std::string toUtf8(char32_t c) {
    std::string out;
    appendUtf8(out, c);
    return out;
}

int cp1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (size_t k = 0; k < kHigh.size(); ++k)
        if (kHigh[k] != 0 && kHigh[k] == c) return static_cast<int>(0x80 + k);
    return -1;
}

Script scriptOf(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == 0xAA || c == 0xBA) return Script::Latin;
    if ((c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0x1E00 && c <= 0x1EFF)) return Script::Latin;
    if ((c >= 0x370 && c <= 0x3FF) || (c >= 0x1F00 && c <= 0x1FFF)) return Script::Greek;
    if (c >= 0x400 && c <= 0x52F) return Script::Cyrillic;
    return Script::None;
}

bool isLetter(char32_t c) {
    switch (scriptOf(c)) {
        case Script::Latin: return true;
        case Script::Greek: return c == 0x386 || (c >= 0x388 && c <= 0x3FF && c != 0x3F6) || c >= 0x1F00;
        case Script::Cyrillic: return c <= 0x481 || c >= 0x48A;
        case Script::None: return false;
    }
    return false;
}

bool isDigit(char32_t c) { return c >= '0' && c <= '9'; }

namespace {

// Ranges where letters come in pairs, capital first: at even code points (or odd ones).
struct PairRange {
    char32_t first, last;
    bool upperEven;
};
constexpr PairRange kPairs[] = {
    {0x100, 0x137, true},  {0x139, 0x148, false}, {0x14A, 0x177, true}, {0x179, 0x17E, false},
    {0x218, 0x21B, true},  {0x460, 0x481, true},  {0x48A, 0x4BF, true}, {0x4C1, 0x4CE, false},
    {0x4D0, 0x52F, true},  {0x1E00, 0x1E95, true}, {0x1EA0, 0x1EFF, true},
};

// The capital of a small letter, or 0 when c is none (or has no capital).
char32_t upperOf(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c == 0x131) return 'I';
    if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? 0x3A3 : c - 0x20;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    if (c == 0x130) return 0;
    for (const PairRange& r : kPairs)
        if (c >= r.first && c <= r.last) return ((c % 2 == 0) == r.upperEven) ? 0 : c - 1;
    return 0;
}

// The small letter of a capital, or 0 when c is none.
char32_t lowerOf(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c == 0x178) return 0xFF;
    if (c == 0x130) return 'i';
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c == 0x131) return 0;
    for (const PairRange& r : kPairs)
        if (c >= r.first && c <= r.last) return ((c % 2 == 0) == r.upperEven) ? c + 1 : 0;
    return 0;
}

}  // namespace

bool isUpper(char32_t c) { return lowerOf(c) != 0; }
bool isLower(char32_t c) { return upperOf(c) != 0 || c == 0xDF || c == 0x138 || c == 0x149 || c == 0x17F || c == 0x390 || c == 0x3B0; }
char32_t toLowerChar(char32_t c) {
    const char32_t l = lowerOf(c);
    return l ? l : c;
}
char32_t toUpperChar(char32_t c) {
    const char32_t u = upperOf(c);
    return u ? u : c;
}

}  // namespace vantrel
