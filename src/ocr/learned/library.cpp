// Reading, writing and searching the user's glyph library.
#include "ocr/learned/library.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "core/encoding.h"
#include "ocr/learned/glyphs.h"
#include "platform/files.h"

namespace vantrel {
namespace {

constexpr int32_t kMaxSide = 4096;
// A library holds labels, not pictures: a larger file is no library.
constexpr int64_t kMaxFileBytes = int64_t{256} << 20;

uint64_t hashOf(int32_t width, int32_t height, uint8_t rise, const std::vector<uint8_t>& bits) {
    return glyphHash(width, height, static_cast<Rise>(rise), bits);
}

size_t* findIndex(GlyphLibrary& lib, int32_t width, int32_t height, uint8_t rise, const std::vector<uint8_t>& bits,
                  uint64_t h) {
    const auto [first, last] = lib.index.equal_range(h);
    for (auto it = first; it != last; ++it) {
        const LibraryGlyph& g = lib.glyphs[it->second];
        if (g.width == width && g.height == height && g.rise == rise && g.bits == bits) return &it->second;
    }
    return nullptr;
}

void rebuildIndex(GlyphLibrary& lib) {
    lib.index.clear();
    for (size_t i = 0; i < lib.glyphs.size(); ++i) {
        const LibraryGlyph& g = lib.glyphs[i];
        lib.index.emplace(hashOf(g.width, g.height, g.rise, g.bits), i);
    }
}

std::string escapeLabel(const std::string& label) {
    const std::string utf8 = asUtf8(label);
    std::string out;
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char c : utf8) {
        if (c <= 0x20 || c == '%' || c == 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

bool number(std::string_view text, int64_t& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// Reads a file's text, refusing what cannot be a library before reading it whole.
std::string readLibraryFile(const std::string& file) {
    int64_t size = 0, modified = 0;
    if (fileStamp(file, size, modified) && size > kMaxFileBytes)
        throw GlyphLibraryError("\"" + file + "\" is no Vantrel glyph library.");
    const std::vector<uint8_t> data = readWholeFile(file);
    return std::string(data.begin(), data.end());
}

}  // namespace

bool validLibraryLabel(std::string_view label) {
    if (label.empty() || !validUtf8(label) || charCount(label) > kMaxGlyphLabel) return false;
    for (size_t i = 0; i < label.size();) {
        const char32_t c = nextChar(label, i);
        if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0xFFFD) return false;
    }
    return true;
}

bool validGlyphLabel(std::string_view label) {
    return validLibraryLabel(label) && label.find('|') == std::string_view::npos;
}

const LibraryGlyph* findLibraryGlyph(const GlyphLibrary& lib, int32_t width, int32_t height, uint8_t rise,
                                     const std::vector<uint8_t>& bits) {
    const auto [first, last] = lib.index.equal_range(hashOf(width, height, rise, bits));
    for (auto it = first; it != last; ++it) {
        const LibraryGlyph& g = lib.glyphs[it->second];
        if (g.width == width && g.height == height && g.rise == rise && g.bits == bits) return &g;
    }
    return nullptr;
}

const LibraryGlyph* findLibraryShape(const GlyphLibrary& lib, int32_t width, int32_t height, uint8_t rise,
                                     const std::vector<uint8_t>& bits) {
    if (const LibraryGlyph* exact = findLibraryGlyph(lib, width, height, rise, bits)) return exact;
    for (const LibraryGlyph& g : lib.glyphs) {
        if (g.rise != rise || std::abs(g.width - width) > 1 || std::abs(g.height - height) > 1) continue;
        if (g.bits.size() != static_cast<size_t>(g.width) * static_cast<size_t>(g.height)) continue;
        if (sameShape(bits.data(), width, height, g.bits.data(), g.width, g.height)) return &g;
    }
    return nullptr;
}

void putLibraryGlyph(GlyphLibrary& lib, LibraryGlyph glyph) {
    const uint64_t h = hashOf(glyph.width, glyph.height, glyph.rise, glyph.bits);
    if (size_t* at = findIndex(lib, glyph.width, glyph.height, glyph.rise, glyph.bits, h)) {
        lib.glyphs[*at] = std::move(glyph);
        return;
    }
    lib.glyphs.push_back(std::move(glyph));
    lib.index.emplace(h, lib.glyphs.size() - 1);
}

bool removeLibraryGlyph(GlyphLibrary& lib, int32_t width, int32_t height, uint8_t rise,
                        const std::vector<uint8_t>& bits) {
    const size_t* at = findIndex(lib, width, height, rise, bits, hashOf(width, height, rise, bits));
    if (!at) return false;
    lib.glyphs.erase(lib.glyphs.begin() + static_cast<std::ptrdiff_t>(*at));
    rebuildIndex(lib);
    return true;
}

std::string bitmapHex(const std::vector<uint8_t>& bits) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve((bits.size() + 3) / 4);
    for (size_t i = 0; i < bits.size(); i += 4) {
        int digit = 0;
        for (size_t k = 0; k < 4; ++k) digit = (digit << 1) | (i + k < bits.size() && bits[i + k] ? 1 : 0);
        out += hex[digit];
    }
    return out;
}

std::string glyphLibraryText(const GlyphLibrary& lib) {
    std::string out;
    out += kGlyphLibraryMagic;
    out += "\nversion " + std::to_string(kGlyphLibraryVersion) + "\n";
    for (const LibraryGlyph& g : lib.glyphs) {
        out += "glyph " + std::to_string(g.width) + ' ' + std::to_string(g.height) + ' ' + std::to_string(g.rise) +
               ' ' + std::to_string(g.italic) + ' ';
        out += bitmapHex(g.bits) + ' ' + escapeLabel(g.label) + '\n';
    }
    out += "end " + std::to_string(lib.glyphs.size()) + "\n";
    return out;
}

std::vector<LibraryGlyph> parseGlyphLibrary(std::string_view text, const std::string& name) {
    const std::string quoted = "\"" + name + "\"";
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        pos = eol + 1;
    }
    if (lines.empty() || lines[0] != kGlyphLibraryMagic)
        throw GlyphLibraryError(quoted + " is no Vantrel glyph library.");
    int64_t version = 0;
    const auto head = lines.size() > 1 ? fields(lines[1]) : std::vector<std::string_view>{};
    if (head.size() != 2 || head[0] != "version" || !number(head[1], version))
        throw GlyphLibraryError("The glyph library " + quoted + " is damaged: its version line is missing.");
    if (version != kGlyphLibraryVersion)
        throw GlyphLibraryError(quoted + " is a glyph library of version " + std::string(head[1]) +
                                "; this program reads version " + std::to_string(kGlyphLibraryVersion) + ".");
    std::vector<LibraryGlyph> glyphs;
    bool ended = false;
    for (size_t n = 2; n < lines.size(); ++n) {
        const std::string_view line = lines[n];
        if (line.empty() || line[0] == '#') continue;
        auto damaged = [&](const std::string& why) {
            return GlyphLibraryError("The glyph library " + quoted + " is damaged (line " + std::to_string(n + 1) +
                                     "): " + why + ".");
        };
        if (ended) throw damaged("text after the end line");
        const auto f = fields(line);
        if (f.empty()) continue;
        if (f[0] == "end") {
            int64_t count = -1;
            if (f.size() != 2 || !number(f[1], count) || count != static_cast<int64_t>(glyphs.size()))
                throw damaged("the end line does not match the glyphs read");
            ended = true;
            continue;
        }
        if (f[0] != "glyph" || f.size() != 7) throw damaged("not a glyph line");
        int64_t w = 0, h = 0, rise = 0, italic = 0;
        if (!number(f[1], w) || !number(f[2], h) || w < 1 || h < 1 || w > kMaxSide || h > kMaxSide ||
            w * h > kMaxClusterPixels)
            throw damaged("the glyph size is wrong");
        if (!number(f[3], rise) || rise < 0 || rise > 2) throw damaged("the rise is not 0, 1 or 2");
        if (!number(f[4], italic) || italic < -1 || italic > 1) throw damaged("italic is not -1, 0 or 1");
        const auto pixels = static_cast<size_t>(w * h);
        const std::string_view hex = f[5];
        if (hex.size() != (pixels + 3) / 4) throw damaged("the bitmap has the wrong length");
        LibraryGlyph g;
        g.width = static_cast<int32_t>(w);
        g.height = static_cast<int32_t>(h);
        g.rise = static_cast<uint8_t>(rise);
        g.italic = static_cast<int8_t>(italic);
        g.bits.resize(pixels);
        for (size_t i = 0; i < hex.size(); ++i) {
            const int digit = hexDigit(hex[i]);
            if (digit < 0) throw damaged("the bitmap is not hexadecimal");
            for (size_t k = 0; k < 4; ++k) {
                const bool bit = (digit >> (3 - k)) & 1;
                if (i * 4 + k < pixels) g.bits[i * 4 + k] = bit ? 1 : 0;
                else if (bit) throw damaged("the bitmap has bits past its end");
            }
        }
        std::string utf8;
        const std::string_view label = f[6];
        for (size_t i = 0; i < label.size(); ++i) {
            if (label[i] != '%') {
                utf8 += label[i];
                continue;
            }
            const int hi = i + 2 < label.size() ? hexDigit(label[i + 1]) : -1;
            const int lo = i + 2 < label.size() ? hexDigit(label[i + 2]) : -1;
            if (hi < 0 || lo < 0) throw damaged("the label has a broken % escape");
            utf8 += static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (!validUtf8(utf8)) throw damaged("the label is not UTF-8");
        g.label = std::move(utf8);
        if (!validLibraryLabel(g.label)) throw damaged("the label cannot be used");
        glyphs.push_back(std::move(g));
    }
    if (!ended) throw GlyphLibraryError("The glyph library " + quoted + " is incomplete: its end line is missing.");
    return glyphs;
}

void loadGlyphLibrary(GlyphLibrary& lib) {
    if (lib.path.empty() || !fileExists(lib.path)) {
        lib.glyphs.clear();
        lib.index.clear();
        return;
    }
    std::vector<LibraryGlyph> glyphs = parseGlyphLibrary(readLibraryFile(lib.path), lib.path);
    GlyphLibrary loaded;
    for (LibraryGlyph& g : glyphs) putLibraryGlyph(loaded, std::move(g));
    lib.glyphs = std::move(loaded.glyphs);
    lib.index = std::move(loaded.index);
}

bool saveGlyphLibrary(GlyphLibrary& lib, MessageLog& msg) {
    if (lib.path.empty()) return false;
    std::string problem;
    struct stat st {};
    // A library the user made read-only stays as it is.
    if (stat(lib.path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        problem = "the file is read-only";
    } else {
        try {
            const size_t slash = lib.path.find_last_of('/');
            if (slash != std::string::npos && slash > 0 && !folderExists(lib.path.substr(0, slash)))
                createFolder(lib.path.substr(0, slash));
            const std::string text = glyphLibraryText(lib);
            writeWholeFile(lib.path, text.data(), text.size());
            lib.saveFailed = false;
            return true;
        } catch (const PlatformError& e) {
            problem = e.what();
        }
    }
    if (!lib.saveFailed)
        msg.log("The glyph library \"" + lib.path + "\" cannot be saved (" + problem +
                "); what you teach is used until the program ends.");
    lib.saveFailed = true;
    return false;
}

void exportGlyphLibrary(const GlyphLibrary& lib, const std::string& file) {
    const std::string text = glyphLibraryText(lib);
    writeWholeFile(file, text.data(), text.size());
}

size_t importGlyphLibrary(GlyphLibrary& lib, const std::string& file) {
    std::vector<LibraryGlyph> glyphs = parseGlyphLibrary(readLibraryFile(file), file);
    const size_t n = glyphs.size();
    for (LibraryGlyph& g : glyphs) putLibraryGlyph(lib, std::move(g));
    return n;
}

std::string defaultGlyphLibraryPath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') base = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0] != 0) base = std::string(home) + "/.config";
    else return {};
    return base + "/Corvane Labs/glyph-library.txt";
}

}  // namespace vantrel
