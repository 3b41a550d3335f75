// Walks a presentation graphics stream the way the disc decoder model consumes it and records
// every place where a player could fall behind, overflow a buffer or misread the data.
#include "stream/pgs_check.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "platform/files.h"
#include "stream/load.h"

namespace vantrel {
namespace {

enum : uint8_t { kPDS = 0x14, kODS = 0x15, kPCS = 0x16, kWDS = 0x17, kEND = 0x80 };
constexpr size_t kHeaderSize = 13;   // "PG", u32 PTS, u32 DTS, u8 type, u16 length

using Indexes = std::bitset<256>;

std::string num(int64_t v) { return std::to_string(v); }

const char* typeName(uint8_t type) {
    switch (type) {
        case kPCS: return "PCS";
        case kWDS: return "WDS";
        case kPDS: return "PDS";
        case kODS: return "ODS";
        case kEND: return "END";
        default: return "segment";
    }
}

// Big-endian reads from a payload whose length the caller has checked.
uint32_t be16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
uint32_t be24(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }

// Decodes the run-length data of a width x height object without keeping pixels: every line
// must hold exactly `width` pixels and end with its end-of-line code. Collects the palette
// indexes used. Returns what is wrong, or an empty text.
std::string scanRunLengths(const uint8_t* p, size_t n, uint32_t width, uint32_t height, Indexes& used) {
    std::array<bool, 256> seen{};
    const uint8_t* const end = p + n;
    uint32_t line = 0;
    uint64_t x = 0;
    while (p < end) {
        const uint8_t b = *p++;
        if (b != 0) {
            seen[b] = true;
            ++x;
            continue;
        }
        if (p >= end) return "line " + num(line) + ": the data ends inside a run code";
        const uint8_t c = *p++;
        if (c == 0) {
            if (x != width)
                return "line " + num(line) + " holds " + num(static_cast<int64_t>(x)) + " pixels, the width is " +
                       num(width);
            ++line;
            x = 0;
            continue;
        }
        uint32_t length = c & 0x3F;
        if (c & 0x40) {
            if (p >= end) return "line " + num(line) + ": the data ends inside a run code";
            length = (length << 8) | *p++;
        }
        uint8_t colour = 0;
        if (c & 0x80) {
            if (p >= end) return "line " + num(line) + ": the data ends inside a run code";
            colour = *p++;
        }
        seen[colour] = true;
        x += length;
    }
    if (x != 0) return "line " + num(line) + " has no end-of-line code";
    if (line != height) return num(line) + " lines coded, the height is " + num(height);
    for (size_t k = 0; k < 256; ++k)
        if (seen[k]) used.set(k);
    return {};
}

struct Rect {
    uint32_t x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Rect&) const = default;
};

std::string sizeText(uint32_t w, uint32_t h) { return num(w) + "x" + num(h); }

std::string rectText(const Rect& r) { return sizeText(r.w, r.h) + " at " + num(r.x) + "," + num(r.y); }

// An object id as the epoch has it: the decoder sizes the id's buffer by its first definition.
struct EpochObject {
    int64_t offset = 0;          // the first definition of the id in the epoch
    uint32_t width = 0, height = 0;
    uint8_t version = 0;
    std::vector<uint8_t> data;   // its run-length code, to tell a repeated definition from a new one
    Indexes used;
};

struct PaletteDef {
    bool defined = false;
    uint8_t version = 0;
    std::vector<uint8_t> data;   // its entries as coded
    Indexes entries;
};

struct CompositionObject {
    uint16_t objectId = 0;
    uint8_t windowId = 0;
};

// An object whose fragments are still arriving.
struct OpenObject {
    int64_t offset = 0;
    uint16_t id = 0;
    uint8_t version = 0;
    uint32_t declared = 0;       // data length of the first fragment, width and height included
    uint32_t width = 0, height = 0;
    int64_t firstDts = 0;
};

// One segment as it enters the coded data buffer.
struct BufferEntry {
    int64_t offset = 0;
    int64_t bytes = 0;
    int64_t removal = 0;         // decoding time
};

class Checker {
public:
    CheckReport report;

    void segment(int64_t offset, uint32_t pts32, uint32_t dts32, uint8_t type, const uint8_t* payload,
                 size_t length, size_t declared) {
        ++report.segments;
        const int64_t pts = pts32;
        // A decoding time of 0 means the segment carries none: it decodes at its PTS.
        if (dts32 != 0) dtsCoded_ = true;
        const int64_t dts = dts32 == 0 ? pts : dts32;
        if (length < declared)
            add(offset, "segment-size",
                std::string(typeName(type)) + " says " + num(static_cast<int64_t>(declared)) +
                    " payload bytes, the file holds " + num(static_cast<int64_t>(length)));
        if (dts > pts)
            addTiming(offset, "dts-after-pts",
                      std::string(typeName(type)) + " DTS " + num(dts) + " lies after its PTS " + num(pts));
        else if (pts - dts >= PgsModel::kMaxLead)
            addTiming(offset, "lead",
                      std::string(typeName(type)) + " PTS " + num(pts) + " lies " + num(pts - dts) +
                          " ticks after its DTS " + num(dts) + " (1 s or more)");
        if (lastDts_ && dts < *lastDts_)
            addTiming(offset, "dts-order",
                      std::string(typeName(type)) + " DTS " + num(dts) + " goes back from " + num(*lastDts_));
        lastDts_ = std::max(dts, lastDts_.value_or(dts));
        buffer_.push_back({offset, static_cast<int64_t>(length) + 3, dts});

        if (type == kPCS) {
            pcs(offset, pts, dts, payload, length);
            return;
        }
        if (!inSet_) {
            if (type == kWDS || type == kPDS || type == kODS || type == kEND)
                add(offset, "structure", std::string(typeName(type)) + " outside a display set");
            return;
        }
        switch (type) {
            case kWDS: wds(offset, payload, length); break;
            case kPDS: pds(offset, payload, length); break;
            case kODS: ods(offset, pts, dts, payload, length); break;
            case kEND: endSet(offset, pts); break;
            default: break;
        }
    }

    // Ends the walk. The timing rules hold only for a stream that codes decoding times: where
    // every DTS is 0 (as most rips leave them) they are replaced by one note, and the rest
    // of the rules stand.
    void finish() {
        if (inSet_) endSet(-1, 0);
        if (dtsCoded_) {
            checkCodedBuffer();
            report.violations.insert(report.violations.end(), std::make_move_iterator(timing_.begin()),
                                     std::make_move_iterator(timing_.end()));
        } else if (report.segments > 0) {
            report.notes.push_back({0, "no-dts",
                                    "no decoding times coded (every DTS is 0): the timing rules are not checked"});
        }
        timing_.clear();
        std::stable_sort(report.violations.begin(), report.violations.end(),
                         [](const CheckViolation& a, const CheckViolation& b) { return a.offset < b.offset; });
    }

    void add(int64_t offset, std::string rule, std::string message) {
        report.violations.push_back({offset, std::move(rule), std::move(message)});
    }

private:
    // A violation of the decoding times, kept apart until the walk knows whether the stream
    // codes them.
    void addTiming(int64_t offset, std::string rule, std::string message) {
        timing_.push_back({offset, std::move(rule), std::move(message)});
    }

    // u16 width, u16 height, u8 frameRate, u16 number, u8 state, u8 paletteUpdate, u8 paletteId,
    // u8 objects; per object: u16 objectId, u8 windowId, u8 flags, u16 x, u16 y, cropping when flagged.
    void pcs(int64_t offset, int64_t pts, int64_t dts, const uint8_t* p, size_t n) {
        if (inSet_) {
            add(setOffset_, "structure", "display set without END");
            endSet(-1, 0);
        }
        if (n < 11) {
            add(offset, "structure", "PCS of " + num(static_cast<int64_t>(n)) + " bytes is too short");
            return;
        }
        ++report.displaySets;
        inSet_ = true;
        setOffset_ = offset;
        setPts_ = pts;
        setDts_ = dts;
        videoW_ = be16(p);
        videoH_ = be16(p + 2);
        const auto number = static_cast<uint16_t>(be16(p + 5));
        state_ = p[7] & 0xC0;
        paletteUpdate_ = (p[8] & 0x80) != 0;
        paletteId_ = p[9];
        shown_ = std::move(composition_);
        composition_.clear();
        decoded_.clear();
        decodedIds_.clear();
        if (lastSetPts_) {
            if (pts == *lastSetPts_)
                add(offset, "same-pts", "a second display set at PTS " + num(pts));
            else if (pts < *lastSetPts_)
                add(offset, "pts-order", "display set PTS " + num(pts) + " goes back from " + num(*lastSetPts_));
        }
        lastSetPts_ = pts;
        if (state_ == 0x80) {
            startEpoch();
        } else {
            if (!epochOpen_) {
                add(offset, "epoch", "the first display set is not an epoch start (state " + num(state_ >> 6) + ")");
                startEpoch();
            } else if (lastNumber_) {
                // Within an epoch every composition takes a new, higher number (modulo 2^16).
                const int diff = (number - *lastNumber_) & 0xFFFF;
                if (diff == 0 || diff >= 0x8000)
                    add(offset, "composition-number",
                        "composition number " + num(number) + " follows " + num(*lastNumber_) +
                            " in the same epoch; the numbers must increase");
            }
        }
        lastNumber_ = number;
        const size_t count = p[10];
        size_t at = 11;
        for (size_t k = 0; k < count; ++k) {
            if (at + 8 > n) {
                add(offset, "structure", "PCS ends inside composition object " + num(static_cast<int64_t>(k)));
                break;
            }
            composition_.push_back({static_cast<uint16_t>(be16(p + at)), p[at + 2]});
            at += (p[at + 3] & 0x80) ? 16 : 8;
        }
        if (count > PgsModel::kMaxCompositionObjects)
            add(offset, "objects",
                num(static_cast<int64_t>(count)) + " composition objects, at most " +
                    num(PgsModel::kMaxCompositionObjects));
        if (paletteUpdate_) {
            // A palette update changes only the colours of what shows: the same objects as
            // the composition before it.
            for (const CompositionObject& c : composition_) {
                const bool showing = std::any_of(shown_.begin(), shown_.end(), [&](const CompositionObject& s) {
                    return s.objectId == c.objectId;
                });
                if (!showing)
                    add(offset, "palette-update",
                        "palette update shows object " + num(c.objectId) + ", which the composition before it does not show");
            }
        }
    }

    void startEpoch() {
        ++report.epochs;
        epochOpen_ = true;
        for (uint8_t id : windowIds_) windows_[id].reset();
        windowIds_.clear();
        for (uint8_t id : paletteIds_) palettes_[id] = {};
        paletteIds_.clear();
        objects_.clear();
        objectBytes_ = 0;
        objectBufferReported_ = idsReported_ = windowsReported_ = palettesReported_ = false;
    }

    // u8 count; per window: u8 id, u16 x, u16 y, u16 width, u16 height
    void wds(int64_t offset, const uint8_t* p, size_t n) {
        if (n < 1) {
            add(offset, "structure", "empty WDS");
            return;
        }
        const size_t count = p[0];
        if (1 + 9 * count > n) add(offset, "structure", "WDS ends inside its windows");
        for (size_t k = 0; k < count && 1 + 9 * (k + 1) <= n; ++k) {
            const uint8_t* w = p + 1 + 9 * k;
            const Rect r{be16(w + 1), be16(w + 3), be16(w + 5), be16(w + 7)};
            std::optional<Rect>& slot = windows_[w[0]];
            if (!slot) {
                windowIds_.push_back(w[0]);
                slot = r;
            } else if (!(*slot == r)) {
                // The plane's windows are laid out once per epoch.
                add(offset, "window-change",
                    "window " + num(w[0]) + " is " + rectText(r) + " here, " + rectText(*slot) +
                        " earlier in the epoch");
            }
        }
        if (windowIds_.size() > PgsModel::kMaxWindows && !windowsReported_) {
            windowsReported_ = true;
            add(offset, "windows",
                num(static_cast<int64_t>(windowIds_.size())) + " windows in one epoch, at most " +
                    num(PgsModel::kMaxWindows));
        }
    }

    // u8 id, u8 version, then entries of u8 index, Y, Cr, Cb, alpha
    void pds(int64_t offset, const uint8_t* p, size_t n) {
        if (n < 2 || (n - 2) % 5 != 0) {
            add(offset, "structure", "PDS of " + num(static_cast<int64_t>(n)) + " bytes is not 2 + 5 per entry");
            if (n < 2) return;
        }
        const uint8_t id = p[0];
        const uint8_t version = p[1];
        PaletteDef& pal = palettes_[id];
        const bool same = pal.data.size() == n - 2 && std::equal(pal.data.begin(), pal.data.end(), p + 2);
        if (!pal.defined) {
            pal.defined = true;
            paletteIds_.push_back(id);
            if (id >= PgsModel::kMaxPalettes)
                add(offset, "palettes",
                    "palette id " + num(id) + ", the ids of an epoch's palettes run from 0 to " +
                        num(PgsModel::kMaxPalettes - 1));
        } else if (version == pal.version && !same) {
            // A decoder that has this version already skips the segment.
            add(offset, "version",
                "palette " + num(id) + " changes its entries and keeps its version " + num(version));
        }
        pal.version = version;
        pal.data.assign(p + 2, p + n);
        for (size_t at = 2; at + 5 <= n; at += 5) pal.entries.set(p[at]);
        if (paletteIds_.size() > PgsModel::kMaxPalettes && !palettesReported_) {
            palettesReported_ = true;
            add(offset, "palettes",
                num(static_cast<int64_t>(paletteIds_.size())) + " palettes in one epoch, at most " +
                    num(PgsModel::kMaxPalettes));
        }
    }

    // u16 id, u8 version, u8 flags (0x80 first, 0x40 last); a first fragment adds u24 dataLength,
    // u16 width, u16 height; then run-length data.
    void ods(int64_t offset, int64_t pts, int64_t dts, const uint8_t* p, size_t n) {
        if (n < 4) {
            add(offset, "structure", "ODS of " + num(static_cast<int64_t>(n)) + " bytes is too short");
            return;
        }
        if (paletteUpdate_ && !paletteUpdateObjects_) {
            paletteUpdateObjects_ = true;
            add(offset, "palette-update", "a palette update defines an object");
        }
        const uint16_t id = static_cast<uint16_t>(be16(p));
        const bool first = p[3] & 0x80;
        const bool last = p[3] & 0x40;
        if (first) {
            if (open_) {
                add(open_->offset, "fragments", "object " + num(open_->id) + " has no last fragment");
                open_.reset();
            }
            if (n < 11) {
                add(offset, "structure", "first ODS fragment of " + num(static_cast<int64_t>(n)) + " bytes");
                return;
            }
            open_.emplace();
            open_->offset = offset;
            open_->id = id;
            open_->version = p[2];
            open_->declared = be24(p + 4);
            open_->width = be16(p + 7);
            open_->height = be16(p + 9);
            open_->firstDts = dts;
            openData_.assign(p + 11, p + n);
        } else {
            if (!open_ || open_->id != id) {
                add(offset, "fragments", "fragment of object " + num(id) + " without a first fragment");
                return;
            }
            openData_.insert(openData_.end(), p + 4, p + n);
        }
        if (last) closeObject(pts);
    }

    void closeObject(int64_t decodeEnd) {
        OpenObject& o = *open_;
        const int64_t have = static_cast<int64_t>(openData_.size()) + 4;
        if (have != o.declared)
            add(o.offset, "fragments",
                "object " + num(o.id) + " says " + num(o.declared) + " data bytes, its fragments hold " + num(have));
        const int64_t pixels = int64_t{o.width} * o.height;
        const int64_t needed = PgsModel::objectDecodeTicks(pixels);
        if (decodeEnd - o.firstDts < needed)
            addTiming(o.offset, "decode-time",
                      "object " + num(o.id) + " (" + sizeText(o.width, o.height) + ") decodes from DTS " +
                          num(o.firstDts) + " to PTS " + num(decodeEnd) + " = " + num(decodeEnd - o.firstDts) +
                          " ticks, it needs " + num(needed));
        Indexes used;
        const std::string rle = scanRunLengths(openData_.data(), openData_.size(), o.width, o.height, used);
        if (!rle.empty()) add(o.offset, "run-length", "object " + num(o.id) + ": " + rle);

        auto [it, added] = objects_.try_emplace(o.id);
        EpochObject& e = it->second;
        if (added) {
            e.offset = o.offset;
            e.width = o.width;
            e.height = o.height;
            objectBytes_ += pixels;
        } else if (e.width != o.width || e.height != o.height) {
            // The id's buffer was sized by its first definition for the whole epoch.
            add(o.offset, "object-size",
                "object " + num(o.id) + " is " + sizeText(o.width, o.height) + " here, it was defined at " +
                    sizeText(e.width, e.height) + " earlier in the epoch (at " +
                    hexUpper(static_cast<uint64_t>(e.offset), 8) + ")");
        } else if (o.version == e.version && openData_ != e.data) {
            add(o.offset, "version",
                "object " + num(o.id) + " changes its picture and keeps its version " + num(o.version));
        }
        e.version = o.version;
        // The buffers trade places: the next object's fragments fill the one this id had.
        std::swap(e.data, openData_);
        e.used = used;
        if (objects_.size() > PgsModel::kMaxObjectIds && !idsReported_) {
            idsReported_ = true;
            add(o.offset, "object-ids",
                num(static_cast<int64_t>(objects_.size())) + " object ids in one epoch, at most " +
                    num(PgsModel::kMaxObjectIds));
        }
        if (objectBytes_ > PgsModel::kObjectBufferBytes && !objectBufferReported_) {
            objectBufferReported_ = true;
            add(o.offset, "object-buffer",
                "objects of the epoch need " + num(objectBytes_) + " bytes, the buffer holds " +
                    num(PgsModel::kObjectBufferBytes));
        }
        decoded_.push_back({o.id, decodeEnd});
        auto [d, fresh] = decodedIds_.try_emplace(o.id, decodeEnd);
        if (!fresh) d->second = std::max(d->second, decodeEnd);
        open_.reset();
    }

    const Rect* window(uint8_t id) const { return windows_[id] ? &*windows_[id] : nullptr; }

    // How long the display set needs between the DTS and PTS of its PCS: clearing the plane (the
    // whole plane at an epoch start, else the epoch's windows), waiting for objects decoded in
    // this set, and transferring each window that shows an object. Objects decoded only after
    // the composition's PTS are reported on their own and left out here.
    int64_t compositionTicks() const {
        int64_t t = 0;
        if (state_ == 0x80) {
            t = PgsModel::planeTicks(int64_t{videoW_} * videoH_);
        } else {
            for (uint8_t id : windowIds_) t += PgsModel::planeTicks(int64_t{windows_[id]->w} * windows_[id]->h);
        }
        auto waitFor = [&](uint16_t objectId) {
            const auto d = decodedIds_.find(objectId);
            if (d != decodedIds_.end() && d->second <= setPts_) t = std::max(t, d->second - setDts_);
        };
        auto transfer = [&](uint8_t windowId) {
            if (const Rect* r = window(windowId)) t += PgsModel::planeTicks(int64_t{r->w} * r->h);
        };
        if (composition_.size() == 2 && composition_[0].windowId == composition_[1].windowId) {
            waitFor(composition_[0].objectId);
            waitFor(composition_[1].objectId);
            transfer(composition_[0].windowId);
        } else {
            for (const CompositionObject& c : composition_) {
                waitFor(c.objectId);
                transfer(c.windowId);
            }
        }
        return t;
    }

    void endSet(int64_t offset, int64_t endPts) {
        inSet_ = false;
        paletteUpdateObjects_ = false;
        std::optional<uint16_t> incomplete;
        if (open_) {
            add(open_->offset, "fragments", "object " + num(open_->id) + " has no last fragment");
            incomplete = open_->id;
            open_.reset();
        }
        if (offset >= 0) {
            for (const auto& [id, decodeEnd] : decoded_)
                if (endPts < decodeEnd)
                    addTiming(offset, "decode-time",
                              "END PTS " + num(endPts) + " lies before object " + num(id) + " is decoded at " +
                                  num(decodeEnd));
        }
        for (const CompositionObject& c : composition_) {
            const Rect* w = window(c.windowId);
            if (!w)
                add(setOffset_, "reference", "composition object in window " + num(c.windowId) +
                                                 ", which the epoch does not define");
            if (incomplete == c.objectId) {
                add(setOffset_, "reference",
                    "composition shows object " + num(c.objectId) + " before it is completely defined");
                continue;
            }
            const auto it = objects_.find(c.objectId);
            if (it == objects_.end()) {
                add(setOffset_, "reference", "composition shows object " + num(c.objectId) + ", which is not decoded");
                continue;
            }
            const auto d = decodedIds_.find(c.objectId);
            if (d != decodedIds_.end() && d->second > setPts_)
                add(setOffset_, "reference",
                    "composition at PTS " + num(setPts_) + " shows object " + num(c.objectId) +
                        ", which is completely defined only at PTS " + num(d->second));
            const PaletteDef& pal = palettes_[paletteId_];
            const Indexes missing = it->second.used & ~pal.entries;
            if (missing.any()) {
                std::string list;
                int shown = 0;
                for (size_t k = 0; k < 256 && shown < 8; ++k)
                    if (missing[k]) {
                        list += (shown++ ? ", " : "") + num(static_cast<int64_t>(k));
                    }
                if (missing.count() > 8) list += ", ...";
                add(setOffset_, "palette-entry",
                    "object " + num(c.objectId) + " uses " + num(static_cast<int64_t>(missing.count())) +
                        " entries that palette " + num(paletteId_) + " does not define: " + list);
            }
        }
        const int64_t needed = compositionTicks();
        if (setPts_ - setDts_ < needed)
            addTiming(setOffset_, "decode-time",
                      "PCS PTS " + num(setPts_) + " lies " + num(setPts_ - setDts_) + " ticks after its DTS " +
                          num(setDts_) + ", the composition needs " + num(needed));
    }

    // The coded data buffer is filled at its rate and each segment leaves it at its decoding
    // time. Every segment is delivered as late as the rate allows; where even that fills the
    // buffer beyond its size, no delivery schedule can feed the decoder. Deliveries follow one
    // another without overlap, and every segment before k has left the buffer by the time k
    // leaves it: the buffer then holds what was delivered by that time less the bytes of the
    // segments before k. One pass over the segments with a second index that only moves on.
    void checkCodedBuffer() {
        const size_t n = buffer_.size();
        if (n == 0) return;
        // Decoding times that go back are reported already; the buffer takes them in order.
        std::vector<double> removal(n), start(n), before(n + 1);
        double running = static_cast<double>(buffer_[0].removal);
        for (size_t i = 0; i < n; ++i) {
            running = std::max(running, static_cast<double>(buffer_[i].removal));
            removal[i] = running;
            before[i + 1] = before[i] + static_cast<double>(buffer_[i].bytes);
        }
        const double ticksPerByte =
            static_cast<double>(PgsModel::kTicksPerSecond) / static_cast<double>(PgsModel::kCodedBytesPerSecond);
        double next = removal[n - 1];
        for (size_t i = n; i-- > 0;) {
            const double finish = std::min(removal[i], next);
            start[i] = finish - static_cast<double>(buffer_[i].bytes) * ticksPerByte;
            next = start[i];
        }
        const auto limit = static_cast<double>(PgsModel::kCodedBufferBytes);
        int64_t reportedUntil = -1;
        size_t m = 0;   // the first segment whose delivery has not started by removal[k]
        for (size_t k = 0; k < n; ++k) {
            if (k > 0 && removal[k] == removal[k - 1]) continue;
            m = std::max(m, k);
            while (m < n && start[m] < removal[k]) ++m;
            // Delivered by removal[k]: every segment before m, the last of them perhaps in part.
            double delivered = before[m];
            if (m > k) {
                const size_t j = m - 1;
                const double finish = start[j] + static_cast<double>(buffer_[j].bytes) * ticksPerByte;
                if (finish > removal[k])
                    delivered -= static_cast<double>(buffer_[j].bytes) - (removal[k] - start[j]) / ticksPerByte;
            }
            const double held = delivered - before[k];
            if (held > limit && buffer_[k].offset > reportedUntil) {
                add(buffer_[k].offset, "coded-buffer",
                    "at DTS " + num(static_cast<int64_t>(removal[k])) + " the coded data buffer must hold more than " +
                        num(PgsModel::kCodedBufferBytes) + " bytes");
                reportedUntil = buffer_[k].offset;
            }
        }
    }

    bool inSet_ = false;
    bool epochOpen_ = false;
    bool dtsCoded_ = false;
    int64_t setOffset_ = 0;
    int64_t setPts_ = 0, setDts_ = 0;
    uint32_t videoW_ = 0, videoH_ = 0;
    uint8_t state_ = 0;
    bool paletteUpdate_ = false, paletteUpdateObjects_ = false;
    uint8_t paletteId_ = 0;
    std::optional<int64_t> lastDts_;
    std::optional<int64_t> lastSetPts_;
    std::optional<uint16_t> lastNumber_;
    std::vector<CompositionObject> composition_;
    std::vector<CompositionObject> shown_;          // the composition before this one
    std::vector<std::pair<uint16_t, int64_t>> decoded_;       // objects of this set, PTS of their last fragment
    std::unordered_map<uint16_t, int64_t> decodedIds_;        // the same by id, the latest PTS
    std::optional<OpenObject> open_;
    std::vector<uint8_t> openData_;                 // the run-length code of open_ so far
    std::array<std::optional<Rect>, 256> windows_{};
    std::vector<uint8_t> windowIds_;                // the windows the epoch defines, in order
    std::unordered_map<uint16_t, EpochObject> objects_;
    std::array<PaletteDef, 256> palettes_{};
    std::vector<uint8_t> paletteIds_;
    int64_t objectBytes_ = 0;
    bool objectBufferReported_ = false, idsReported_ = false, windowsReported_ = false, palettesReported_ = false;
    std::vector<BufferEntry> buffer_;
    std::vector<CheckViolation> timing_;
};

// "PG", u32 PTS, u32 DTS, u8 type, u16 length
struct Header {
    bool marker = false;
    uint32_t pts = 0, dts = 0;
    uint8_t type = 0;
    size_t declared = 0;
};

Header parseHeader(const uint8_t* h) {
    return {h[0] == 'P' && h[1] == 'G', (be16(h + 2) << 16) | be16(h + 4), (be16(h + 6) << 16) | be16(h + 8), h[10],
            be16(h + 11)};
}

void badMarker(Checker& c, int64_t offset) {
    c.add(offset, "structure", "no \"PG\" marker; the check stops here");
}

}  // namespace

CheckReport checkPgs(const uint8_t* data, size_t size) {
    Checker c;
    size_t at = 0;
    while (at < size) {
        if (size - at < kHeaderSize) {
            c.add(static_cast<int64_t>(at), "structure", "the file ends inside a segment header");
            break;
        }
        const Header h = parseHeader(data + at);
        if (!h.marker) {
            badMarker(c, static_cast<int64_t>(at));
            break;
        }
        const size_t length = std::min(h.declared, size - at - kHeaderSize);
        c.segment(static_cast<int64_t>(at), h.pts, h.dts, h.type, data + at + kHeaderSize, length, h.declared);
        at += kHeaderSize + length;
    }
    c.finish();
    return std::move(c.report);
}

CheckReport checkPgsFile(const std::string& fileName) {
    InputFile f(fileName);
    Checker c;
    std::vector<uint8_t> payload(0xFFFF);
    while (f.remaining() > 0) {
        const int64_t offset = f.position();
        if (f.remaining() < static_cast<int64_t>(kHeaderSize)) {
            c.add(offset, "structure", "the file ends inside a segment header");
            break;
        }
        uint8_t raw[kHeaderSize];
        f.readExact(raw, kHeaderSize);
        const Header h = parseHeader(raw);
        if (!h.marker) {
            badMarker(c, offset);
            break;
        }
        const auto length = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(h.declared), f.remaining()));
        f.readExact(payload.data(), length);
        c.segment(offset, h.pts, h.dts, h.type, payload.data(), length, h.declared);
    }
    c.finish();
    return std::move(c.report);
}

std::vector<std::string> checkReportLines(const CheckReport& report) {
    std::vector<std::string> lines;
    lines.reserve(report.violations.size() + report.notes.size() + 1);
    for (const CheckViolation& v : report.violations)
        lines.push_back(hexUpper(static_cast<uint64_t>(v.offset), 8) + "  " + v.rule + "  " + v.message);
    for (const CheckViolation& n : report.notes) lines.push_back("Note: " + n.message + ".");
    const std::string sets = num(static_cast<int64_t>(report.displaySets)) + " display sets in " +
                             num(static_cast<int64_t>(report.epochs)) + " epochs";
    if (report.clean()) lines.push_back("No violations: " + sets + ".");
    else lines.push_back(num(static_cast<int64_t>(report.violations.size())) + " violations: " + sets + ".");
    return lines;
}

}  // namespace vantrel
