// The VobSub index and program-stream parsers, and the colour mapping of DVD subpicture units.
#include "stream/vobsub.h"

#include <algorithm>
#include <cctype>

namespace vantrel {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A decimal number of at most `digits` digits, optionally signed; false (and `value` left as
// it was) for anything else.
bool decimal(std::string_view s, int digits, int64_t& value, bool sign = false) {
    s = trim(s);
    int64_t factor = 1;
    if (sign && !s.empty() && (s.front() == '-' || s.front() == '+')) {
        if (s.front() == '-') factor = -1;
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > static_cast<size_t>(digits)) return false;
    int64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    value = factor * v;
    return true;
}

bool hexNumber(std::string_view s, int digits, int64_t& value) {
    s = trim(s);
    if (s.empty() || s.size() > static_cast<size_t>(digits)) return false;
    int64_t v = 0;
    for (const char c : s) {
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : (c >= 'a' && c <= 'f')                   ? c - 'a' + 10
                      : (c >= 'A' && c <= 'F')                   ? c - 'A' + 10
                                                                 : -1;
        if (d < 0) return false;
        v = v * 16 + d;
    }
    value = v;
    return true;
}

// "[+|-]hh:mm:ss:ms" in milliseconds.
bool clockTime(std::string_view s, int64_t& ms) {
    s = trim(s);
    int sign = 1;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        if (s.front() == '-') sign = -1;
        s.remove_prefix(1);
    }
    int64_t part[4] = {};
    static constexpr int kDigits[4] = {6, 2, 2, 3};
    for (int k = 0; k < 4; ++k) {
        const size_t colon = k < 3 ? s.find(':') : s.size();
        if (colon == std::string_view::npos || !decimal(s.substr(0, colon), kDigits[k], part[k])) return false;
        s.remove_prefix(std::min(s.size(), colon + 1));
    }
    ms = sign * (((part[0] * 60 + part[1]) * 60 + part[2]) * 1000 + part[3]);
    return true;
}

// The value after "name:" inside a line's value ("en, index: 0" -> "0").
std::string_view field(std::string_view value, std::string_view name) {
    const std::string low = lower(value);
    const size_t at = low.find(name);
    if (at == std::string::npos) return {};
    std::string_view rest = value.substr(at + name.size());
    rest = trim(rest);
    if (rest.empty() || rest.front() != ':') return {};
    rest.remove_prefix(1);
    return trim(rest.substr(0, rest.find(',')));
}

void addEntry(VobSubIndex& index, std::string_view value, int64_t delayMs, bool& ok) {
    int64_t ms = 0;
    int64_t pos = 0;
    const size_t comma = value.find(',');
    if (comma == std::string_view::npos || !clockTime(value.substr(0, comma), ms) ||
        !hexNumber(field(value.substr(comma), "filepos"), 15, pos)) {
        ok = false;
        return;
    }
    // An entry before any "id:" line belongs to the first substream.
    if (index.tracks.empty()) index.tracks.push_back({});
    index.tracks.back().entries.push_back({std::max<int64_t>(0, ms + delayMs) * 90, pos});
}

}  // namespace

VobSubIndex parseVobSubIndex(std::string_view text) {
    constexpr int64_t kDelayLimit = int64_t{1} << 40;   // milliseconds: 34 years
    VobSubIndex index;
    int64_t delayMs = 0;       // the running sum of the current track's "delay:" lines
    int64_t offsetMs = 0;      // "time offset:", for every track
    int64_t langIdx = -1;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string key = lower(trim(line.substr(0, colon)));
        const std::string_view value = trim(line.substr(colon + 1));
        bool ok = true;
        if (key == "timestamp") {
            addEntry(index, value, delayMs, ok);
        } else if (key == "size") {
            const size_t x = lower(value).find('x');
            int64_t w = 0, h = 0;
            ok = x != std::string::npos && decimal(value.substr(0, x), 4, w) && decimal(value.substr(x + 1), 4, h) &&
                 w > 0 && h > 0;
            if (ok) {
                index.width = static_cast<uint16_t>(w);
                index.height = static_cast<uint16_t>(h);
            }
        } else if (key == "palette") {
            std::array<uint32_t, 16> colours{};
            size_t count = 0;
            std::string_view rest = value;
            while (ok && !rest.empty()) {
                const size_t comma = rest.find(',');
                int64_t rgb = 0;
                ok = count < colours.size() && hexNumber(rest.substr(0, comma), 6, rgb);
                if (ok) {
                    const auto v = static_cast<uint32_t>(rgb);
                    colours[count++] = ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);
                }
                rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
            }
            ok = ok && count == colours.size();
            if (ok) {
                index.palette = colours;
                index.hasPalette = true;
            }
        } else if (key == "id") {
            VobSubTrack t;
            for (const char c : value.substr(0, value.find(',')))
                if (std::isalnum(static_cast<unsigned char>(c)) && t.language.size() < 8) t.language += c;
            int64_t sub = static_cast<int64_t>(index.tracks.size());
            const std::string_view given = field(value, "index");
            if (!given.empty() && !decimal(given, 2, sub)) ok = false;
            t.substream = static_cast<int>(std::clamp<int64_t>(sub, 0, 31));
            index.tracks.push_back(std::move(t));
            delayMs = 0;
        } else if (key == "delay") {
            int64_t ms = 0;
            ok = clockTime(value, ms);
            // Bounded far beyond any film, so that no count of lines makes the sum overflow.
            if (ok) delayMs = std::clamp<int64_t>(delayMs + ms, -kDelayLimit, kDelayLimit);
        } else if (key == "time offset") {
            ok = clockTime(value, offsetMs) || decimal(value, 9, offsetMs, true);
        } else if (key == "langidx") {
            ok = decimal(value, 2, langIdx);
        }
        if (!ok) ++index.badLines;
    }
    for (VobSubTrack& t : index.tracks)
        for (VobSubEntry& e : t.entries) e.pts = std::max<int64_t>(0, e.pts + offsetMs * 90);
    for (size_t i = 0; i < index.tracks.size(); ++i)
        if (index.tracks[i].substream == langIdx && index.defaultTrack < 0) index.defaultTrack = static_cast<int>(i);
    return index;
}

namespace {

// One packet of an MPEG program stream, as far as subpictures need it.
struct PsPacket {
    int64_t packPos = 0;    // the pack header the packet follows (its own start without one)
    int64_t payload = 0;    // file offset of the payload after the substream byte
    int64_t length = 0;     // bytes of that payload
    int substream = -1;     // private stream 1: the payload's first byte
    bool hasPts = false;
    int64_t pts = 0;
};

// Walks packs and packets: u32 start code 00 00 01 xx; 0xBA pack header (MPEG-2: 14 bytes
// plus stuffing, MPEG-1: 12); 0xB9 end code; 0xBB.. a packet: u16 length, then that many bytes.
class PsReader {
public:
    PsReader(InputFile& f, int64_t pos) : f_(f), pos_(pos), packPos_(pos) {}

    bool cut() const { return cut_; }
    int64_t position() const { return pos_; }

    // The next private stream 1 packet; false at the end of the file or of readable data.
    bool next(PsPacket& p) {
        const int64_t size = f_.size();
        while (true) {
            uint8_t h[16] = {};
            if (pos_ >= size) return false;
            const size_t got = readAt(pos_, h, sizeof h);
            if (got < 4) return stop();
            if (h[0] != 0 || h[1] != 0 || h[2] != 1) {
                if (!resync()) return stop();
                continue;
            }
            const uint8_t code = h[3];
            if (code == 0xBA) {
                int64_t len = 0;
                if ((h[4] & 0xC0) == 0x40) len = got >= 14 ? 14 + (h[13] & 7) : 0;
                else if ((h[4] & 0xF0) == 0x20) len = 12;
                if (len == 0) return stop();
                packPos_ = pos_;
                pos_ += len;
                continue;
            }
            if (code == 0xB9) {
                pos_ += 4;
                continue;
            }
            if (code < 0xBB) {
                if (!resync()) return stop();
                continue;
            }
            if (got < 6) return stop();
            const int64_t start = pos_;
            const int64_t end = pos_ + 6 + ((int64_t{h[4]} << 8) | h[5]);
            if (end > size) return stop();
            pos_ = end;
            if (code != 0xBD) {
                packPos_ = pos_;
                continue;
            }
            if (packet(start, end, p)) {
                p.packPos = packPos_;
                packPos_ = pos_;
                return true;
            }
            packPos_ = pos_;
        }
    }

private:
    size_t readAt(int64_t at, uint8_t* dst, size_t n) {
        f_.seek(at);
        return f_.read(dst, n);
    }

    bool stop() {
        cut_ = true;
        return false;
    }

    // Bytes that are no start code: the next "00 00 01" within 1 MiB, else the end.
    bool resync() {
        cut_ = true;
        uint8_t buf[4096];
        const int64_t limit = pos_ + (1 << 20);
        int64_t at = pos_ + 1;
        while (at < limit) {
            const size_t got = readAt(at, buf, sizeof buf);
            if (got < 3) return false;
            for (size_t k = 0; k + 2 < got; ++k)
                if (buf[k] == 0 && buf[k + 1] == 0 && buf[k + 2] == 1) {
                    pos_ = at + static_cast<int64_t>(k);
                    packPos_ = pos_;
                    return true;
                }
            at += static_cast<int64_t>(got) - 2;
        }
        return false;
    }

    // The PES header of a private stream 1 packet spanning [start, end): MPEG-2 (flags, header
    // length, PTS in its first five bytes) or MPEG-1 (stuffing, buffer size, PTS or PTS+DTS).
    bool packet(int64_t start, int64_t end, PsPacket& p) {
        uint8_t h[64] = {};
        const int64_t avail = std::min<int64_t>(end - start - 6, sizeof h);
        if (avail < 1 || readAt(start + 6, h, static_cast<size_t>(avail)) != static_cast<size_t>(avail)) return false;
        int64_t at = 0;
        p.hasPts = false;
        auto pts = [&](int64_t k) {
            p.hasPts = true;
            p.pts = (int64_t{(h[k] >> 1) & 7} << 30) | (int64_t{h[k + 1]} << 22) | (int64_t{h[k + 2] >> 1} << 15) |
                    (int64_t{h[k + 3]} << 7) | (h[k + 4] >> 1);
        };
        if ((h[0] & 0xC0) == 0x80) {
            if (avail < 3) return false;
            at = 3 + h[2];
            if ((h[1] & 0x80) && h[2] >= 5 && avail >= 8) pts(3);
        } else {
            while (at < avail && h[at] == 0xFF && at < 16) ++at;
            if (at < avail && (h[at] & 0xC0) == 0x40) at += 2;
            if (at >= avail) return false;
            if ((h[at] & 0xF0) == 0x20) {
                if (at + 5 > avail) return false;
                pts(at);
                at += 5;
            } else if ((h[at] & 0xF0) == 0x30) {
                if (at + 10 > avail) return false;
                pts(at);
                at += 10;
            } else if (h[at] == 0x0F) {
                at += 1;
            } else {
                return false;
            }
        }
        if (at >= avail) return false;
        p.substream = h[at];
        p.payload = start + 6 + at + 1;
        p.length = end - p.payload;
        return true;
    }

    InputFile& f_;
    int64_t pos_;
    int64_t packPos_;
    bool cut_ = false;
};

bool isSubpictureStream(int id) { return id >= 0x20 && id <= 0x3F; }

}  // namespace

VobSubIndex scanVobSub(InputFile& sub, bool& cut) {
    VobSubIndex index;
    PsReader r(sub, 0);
    PsPacket p;
    while (r.next(p)) {
        if (!isSubpictureStream(p.substream) || !p.hasPts) continue;
        const int id = p.substream - 0x20;
        auto t = std::find_if(index.tracks.begin(), index.tracks.end(),
                              [id](const VobSubTrack& x) { return x.substream == id; });
        if (t == index.tracks.end()) {
            index.tracks.push_back({});
            index.tracks.back().substream = id;
            t = index.tracks.end() - 1;
        }
        t->entries.push_back({p.pts, p.packPos});
    }
    cut = r.cut();
    return index;
}

SpuRead readVobSubUnit(InputFile& sub, int64_t filepos, int substream) {
    SpuRead out;
    if (filepos < 0 || filepos >= sub.size()) {
        out.cut = true;
        return out;
    }
    // A unit is at most 64 KiB; the packets of other substreams between its pieces are few.
    constexpr int64_t kReach = 8 << 20;
    PsReader r(sub, filepos);
    PsPacket p;
    while (r.position() - filepos < kReach && r.next(p)) {
        if (p.substream != 0x20 + substream || p.length <= 0) continue;
        const size_t have = out.spu.size();
        out.spu.resize(have + static_cast<size_t>(p.length));
        sub.seek(p.payload);
        sub.readExact(out.spu.data() + have, static_cast<size_t>(p.length));
        if (out.spu.size() < 2) continue;
        const size_t need = (size_t{out.spu[0]} << 8) | out.spu[1];
        if (need < 4) break;
        if (out.spu.size() >= need) {
            out.spu.resize(need);
            return out;
        }
    }
    out.cut = true;
    return out;
}

namespace {

// Reads `count` bits from bit `at` of data[0..end), MSB first; bits past `end` read as 0.
uint32_t bitsAt(const std::vector<uint8_t>& d, size_t end, size_t at, int count) {
    uint32_t v = 0;
    for (int k = 0; k < count; ++k) {
        const size_t bit = at + static_cast<size_t>(k);
        const size_t byte = bit / 8;
        const uint32_t b = byte < end ? (d[byte] >> (7 - bit % 8)) & 1u : 0u;
        v = (v << 1) | b;
    }
    return v;
}

void setTwoBits(std::vector<uint8_t>& d, size_t at, uint8_t value) {
    for (int k = 0; k < 2; ++k) {
        const size_t bit = at + static_cast<size_t>(k);
        const auto mask = static_cast<uint8_t>(1u << (7 - bit % 8));
        const bool on = (value >> (1 - k)) & 1;
        d[bit / 8] = static_cast<uint8_t>(on ? d[bit / 8] | mask : d[bit / 8] & ~mask);
    }
}

// Rewrites the colour of every code of one field: `lines` rows of `width` pixels from byte
// `from`, codes of 4, 8, 12 or 16 bits whose last two bits are the colour, rows byte-aligned.
void mapField(std::vector<uint8_t>& d, size_t from, size_t end, int64_t width, int64_t lines,
              const std::array<uint8_t, 4>& map) {
    size_t bit = from * 8;
    const size_t endBit = end * 8;
    for (int64_t line = 0; line < lines && bit < endBit; ++line) {
        int64_t x = 0;
        while (bit < endBit) {
            const uint32_t v = bitsAt(d, end, bit, 16);
            int length = 4;
            int64_t run = v >> 14;
            if ((v >> 2) == 0) {
                length = 16;
                run = 0;
            } else if ((v >> 10) == 0) {
                length = 16;
                run = (v >> 2) & 0xFF;
            } else if ((v >> 12) == 0) {
                length = 12;
                run = (v >> 6) & 0x3F;
            } else if ((v >> 14) == 0) {
                length = 8;
                run = (v >> 10) & 0x0F;
            }
            if (bit + static_cast<size_t>(length) > endBit) return;
            const size_t colourBit = bit + static_cast<size_t>(length) - 2;
            setTwoBits(d, colourBit, map[bitsAt(d, end, colourBit, 2)]);
            bit += static_cast<size_t>(length);
            x = run == 0 ? width : x + run;
            if (x >= width) {
                bit = (bit + 7) / 8 * 8;
                break;
            }
        }
    }
}

uint32_t be16(const std::vector<uint8_t>& d, size_t at) { return (uint32_t{d[at]} << 8) | d[at + 1]; }

}  // namespace

bool mapSpuColours(std::vector<uint8_t>& spu, const std::array<uint32_t, 16>& palette) {
    if (spu.size() < 4) return false;
    const size_t size = std::min<size_t>(be16(spu, 0), spu.size());
    const size_t ctrl = be16(spu, 2);
    if (ctrl < 4 || ctrl >= size) return false;

    // The first SET_COLOR, SET_CONTR, SET_DAREA and SET_DSPXA of the control sequences:
    // u16 delay, u16 next, commands (a byte and its operands) up to CMD_END.
    int colour = -1, contrast = -1, area = -1, fields = -1;
    size_t at = ctrl;
    for (int sequences = 0; sequences < 64 && at + 4 <= size; ++sequences) {
        const size_t next = be16(spu, at + 2);
        size_t i = at + 4;
        bool end = false;
        while (!end && i < size) {
            const uint8_t cmd = spu[i];
            size_t operands = 0;
            int* slot = nullptr;
            switch (cmd) {
                case 0x00: case 0x01: case 0x02: break;
                case 0x03: operands = 2; slot = &colour; break;
                case 0x04: operands = 2; slot = &contrast; break;
                case 0x05: operands = 6; slot = &area; break;
                case 0x06: operands = 4; slot = &fields; break;
                case 0x07: operands = i + 3 <= size ? 2 + be16(spu, i + 1) : size; break;
                default: end = true; break;   // CMD_END, or a command that ends the walk
            }
            if (i + 1 + operands > size) break;
            if (slot && *slot < 0) *slot = static_cast<int>(i + 1);
            i += 1 + operands;
        }
        if (next <= at) break;
        at = next;
    }
    if (colour < 0 || contrast < 0 || area < 0 || fields < 0) return false;

    // Value v's palette entry and contrast are the nibbles of two bytes: v3 v2 | v1 v0.
    auto nibble = [&](int offset, int v) {
        const uint8_t b = spu[static_cast<size_t>(offset) + (v >= 2 ? 0 : 1)];
        return (v % 2 == 1) ? b >> 4 : b & 0x0F;
    };
    std::array<int, 4> luma{};
    std::vector<int> visible;
    for (int v = 0; v < 4; ++v) {
        const uint32_t c = palette[static_cast<size_t>(nibble(colour, v))];
        luma[static_cast<size_t>(v)] = static_cast<int>((299 * (c & 0xFF) + 587 * ((c >> 8) & 0xFF) + 114 * (c >> 16 & 0xFF)) / 1000);
        if (nibble(contrast, v) != 0) visible.push_back(v);
    }
    if (visible.empty()) return false;
    std::stable_sort(visible.begin(), visible.end(),
                     [&](int a, int b) { return luma[static_cast<size_t>(a)] > luma[static_cast<size_t>(b)]; });
    std::array<uint8_t, 4> map{0, 0, 0, 0};
    const int bright = visible.front();
    const int dark = visible.back();
    for (const int v : visible) {
        const int y = luma[static_cast<size_t>(v)];
        const bool nearBright = y - luma[static_cast<size_t>(dark)] > luma[static_cast<size_t>(bright)] - y;
        map[static_cast<size_t>(v)] = v == bright ? 1 : v == dark ? 2 : nearBright ? 3 : 2;
    }
    if (map == std::array<uint8_t, 4>{0, 1, 2, 3}) return false;

    // The area and field offsets as the stream reader takes them.
    const auto a = static_cast<size_t>(area);
    const int64_t x1 = ((spu[a] & 0x7F) << 4) + (spu[a + 1] >> 4);
    const int64_t x2 = ((spu[a + 1] & 0x07) << 8) + spu[a + 2];
    const int64_t y1 = ((spu[a + 3] & 0x7F) << 4) + (spu[a + 4] >> 4);
    const int64_t y2 = ((spu[a + 4] & 0x07) << 8) + spu[a + 5];
    const int64_t width = x2 - x1 + 1;
    const int64_t height = y2 - y1 + 1;
    if (width <= 0 || height <= 0) return false;
    const size_t top = be16(spu, static_cast<size_t>(fields));
    const size_t bottom = be16(spu, static_cast<size_t>(fields) + 2);
    if (top < 4 || top >= ctrl || bottom < 4 || bottom >= ctrl) return false;
    mapField(spu, top, ctrl, width, (height + 1) / 2, map);
    mapField(spu, bottom, ctrl, width, height / 2, map);
    return true;
}

bool spuReadable(const std::vector<uint8_t>& spu) {
    if (spu.size() < 5) return false;
    const size_t size = be16(spu, 0);
    const size_t ctrl = be16(spu, 2);
    if (size != spu.size() || ctrl < 4 || ctrl >= size) return false;
    // Sequences as the stream reader walks them: u16 delay, u16 next, then commands up to the
    // next sequence, or to the end of the area for the last one.
    size_t i = ctrl;
    while (i + 4 <= size) {
        const size_t next = be16(spu, i + 2);
        const size_t last = next > i + 4 ? std::min(next, size) : size;
        i += 4;
        while (i < last) {
            size_t operands = 0;
            switch (spu[i]) {
                case 0x00: case 0x01: case 0x02: case 0xFF: break;
                case 0x03: case 0x04: operands = 2; break;
                case 0x05: case 0x85: operands = 6; break;
                case 0x06: operands = 4; break;
                case 0x86: operands = 8; break;
                case 0x83: operands = 768; break;
                case 0x84: operands = 256; break;
                case 0x07: case 0x87:
                    if (i + 3 > size) return false;
                    operands = 2 + be16(spu, i + 1);
                    break;
                default: return false;
            }
            if (i + 1 + operands > size) return false;
            i += 1 + operands;
        }
        if (i + 1 >= size) break;
    }
    return true;
}

void appendSpPacket(std::string& out, uint32_t pts, const std::vector<uint8_t>& spu) {
    out += "SP";
    for (int k = 0; k < 4; ++k) out += static_cast<char>((pts >> (8 * k)) & 0xFF);
    out.append(4, '\0');
    out.append(reinterpret_cast<const char*>(spu.data()), spu.size());
}

bool isVobSubFile(const std::string& file) {
    const std::string ext = lower(fileExt(file));
    if (ext != ".idx" && ext != ".sub") return false;
    try {
        InputFile f(file);
        char head[32] = {};
        const size_t got = f.read(head, sizeof head);
        const std::string_view h(head, got);
        if (ext == ".sub") return got >= 4 && h.substr(0, 4) == std::string_view("\0\0\1\xBA", 4);
        const std::string_view sign = "# VobSub index file";
        const size_t bom = h.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
        return h.substr(bom, sign.size()) == sign;
    } catch (const PlatformError&) {
        return false;
    }
}

VobSubPair vobSubPair(const std::string& file) {
    const std::string ext = lower(fileExt(file));
    const std::string base = file.substr(0, file.size() - ext.size());
    auto find = [&](const char* low, const char* up) -> std::string {
        if (ext == low) return file;
        for (const std::string& name : {base + low, base + up})
            if (fileExists(name)) return name;
        return {};
    };
    return {find(".idx", ".IDX"), find(".sub", ".SUB")};
}

}  // namespace vantrel
