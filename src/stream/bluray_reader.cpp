// Reader of Blu-ray presentation graphics streams: one pass over the "PG" segments that
// records times, windows and where palettes and object fragments lie in the file.
#include <algorithm>
#include <string>

#include "stream/load.h"

namespace vantrel {
namespace {

enum SegmentType : uint8_t {
    kPDS = 0x14,
    kODS = 0x15,
    kPCS = 0x16,
    kWDS = 0x17,
    kICS = 0x18,
    kEND = 0x80,
    kTextStyle = 0x81,
    kTextPresentation = 0x82,
};

struct Segment {
    int64_t start = 0;    // file offset of the marker
    uint32_t pts = 0;
    uint8_t type = 0;
    int64_t length = 0;   // payload length, cut to what the file holds
    std::string pos() const { return hexUpper(static_cast<uint64_t>(start + 10) & 0xFFFFFFFFu, 8); }
    std::string len() const { return hexUpper(static_cast<uint64_t>(length), 2); }
};

class BluRayReader {
public:
    BluRayReader(Context& ctx, LoadState& st) : ctx_(ctx), st_(st), f_(st.file) {}

    void run() {
        const int64_t size = f_.size();
        while (f_.position() < size) {
            Segment seg;
            seg.start = f_.position();
            const uint16_t marker = f_.readWord();
            seg.pts = f_.readDWord();
            f_.readDWord();  // DTS, unused
            if (marker != 0x5047) {
                reportFormatError(ctx_, st_);
                return;
            }
            seg.type = f_.readByte();
            seg.length = f_.readWord();
            if (seg.length > f_.remaining()) {
                seg.length = f_.remaining();
                st_.truncated = true;
                st_.truncatedAt = seg.start;
            }
            if (st_.count % 100 == 0) {
                const int64_t pos = f_.position();
                ctx_.host().setProgress(static_cast<int>(pos * 100 / size), 100);
                ctx_.msg.slog(std::to_string(pos) + "/" + std::to_string(size), 1);
            }
            switch (seg.type) {
                case kPCS: pcs(seg); break;
                case kWDS: wds(seg); break;
                case kPDS:
                    if (!pds(seg)) return;
                    break;
                case kODS:
                    if (!ods(seg)) return;
                    break;
                case kEND:
                    detail(seg.pos() + ": END");
                    ctx_.host().pumpMessages();
                    if (ctx_.prog.Cancel) return;
                    break;
                case kICS:
                    detail("Interactive composition definition");
                    f_.skip(seg.length);
                    break;
                case kTextStyle:
                case kTextPresentation:
                    detail("Used by HDMV Text subtitle streams");
                    f_.skip(seg.length);
                    break;
                default: f_.skip(seg.length); break;
            }
        }
    }

private:
    bool details() const { return ctx_.opt.cbDetails; }
    void detail(const std::string& line) {
        if (details()) ctx_.msg.log(line);
    }
    // The record the segments of the current display set fill; none before the first PCS.
    TSUP* newest() { return st_.count > 0 ? &ctx_.prog.Subs[static_cast<size_t>(st_.count - 1)] : nullptr; }

    // u16 width, u16 height, u8 frameRate, u16 compositionNumber, u8 state, u8 paletteUpdate,
    // u8 paletteId, u8 objectCount; per object: u16 objectId, u8 windowId, u8 flags,
    // u16 x, u16 y, and when cropped u16 cropX, cropY, cropWidth, cropHeight.
    void pcs(const Segment& seg) {
        f_.readWord();
        f_.readWord();
        f_.readByte();
        f_.readWord();
        const uint8_t state = f_.readByte();
        f_.readByte();
        f_.readByte();
        const uint8_t objects = f_.readByte();
        auto& subs = ctx_.prog.Subs;
        if (objects >= 1) {
            if (details()) ctx_.msg.log("------------" + std::to_string(st_.count + 1) + "----------");
            ++st_.count;
            TSUP& rec = subs.emplace_back();
            rec.text = "line " + std::to_string(st_.count);
            rec.font = 4;
            rec.num = st_.count;
            rec.ocrOK = 0;
            rec.startTime = ticksToSrtTime(seg.pts);
            rec.startPTS = seg.pts;
        } else if (TSUP* rec = newest()) {
            // A composition without objects ends the newest subtitle; the one before it ends
            // here too when it never got an end and the newest has an object in a slot.
            if (st_.count > 1) {
                TSUP& prev = subs[static_cast<size_t>(st_.count - 2)];
                if (prev.endPTS == 0 && rec->obj[0].id + rec->obj[1].id != 0) {
                    prev.endPTS = seg.pts;
                    prev.endTime = ticksToSrtTime(seg.pts);
                }
            }
            rec->endPTS = seg.pts;
            rec->endTime = ticksToSrtTime(seg.pts);
        }
        if (details()) {
            ctx_.msg.log(hexUpper(static_cast<uint64_t>(seg.start + 2) & 0xFFFFFFFFu, 8) + ": PTS=" +
                         hexUpper(seg.pts, 8) + " (" + ticksToSrtTime(seg.pts) + ")");
            ctx_.msg.log(seg.pos() + ": PCS (" + seg.len() + ") state: " + std::to_string(state >> 6));
        }
        for (int k = 0; k < objects; ++k) {
            const uint16_t objectId = f_.readWord();
            const uint8_t windowId = f_.readByte();
            const uint8_t flags = f_.readByte();
            f_.readWord();
            f_.readWord();
            if (flags & 0x80) {
                for (int c = 0; c < 4; ++c) f_.readWord();
            }
            // Object ids past the table's 64 entries have no place; their data is skipped later.
            if (TSUP* rec = newest(); rec && objectId < kMaxObjectIds) rec->objWin[objectId] = windowId;
        }
    }

    // u8 windowCount; per window: u8 id, u16 x, u16 y, u16 width, u16 height.
    // The slot is the window's ordinal in the segment; windows past the second are read only.
    void wds(const Segment& seg) {
        const uint8_t windows = f_.readByte();
        for (int i = 0; i < windows; ++i) {
            const uint8_t id = f_.readByte();
            const uint16_t x = f_.readWord();
            const uint16_t y = f_.readWord();
            const uint16_t w = f_.readWord();
            const uint16_t h = f_.readWord();
            const auto x2 = static_cast<uint16_t>(x + w);
            const auto y2 = static_cast<uint16_t>(y + h);
            if (TSUP* rec = newest(); rec && i < kSlots) {
                TSUPObject& slot = rec->obj[static_cast<size_t>(i)];
                slot.x1 = x;
                slot.y1 = y;
                slot.x2 = x2;
                slot.y2 = y2;
            }
            if (details()) {
                ctx_.msg.log(seg.pos() + ": WDS" + std::to_string(i) + " (" + seg.len() + ")  id: " +
                             std::to_string(id) + " [" + std::to_string(x) + "," + std::to_string(y) +
                             "] - [" + std::to_string(x2) + "," + std::to_string(y2) + "]");
            }
        }
    }

    // u8 paletteId, u8 version, then 5-byte entries (index, Y, Cr, Cb, alpha).
    bool pds(const Segment& seg) {
        if (seg.length < 2) {
            reportFormatError(ctx_, st_);
            return false;
        }
        f_.readByte();
        f_.readByte();
        const int64_t entries = seg.length - 2;
        TSUP* rec = newest();
        if (rec && entries > 0) {
            rec->palPos = f_.position();
            rec->palCount = static_cast<int32_t>(entries / 5);
        }
        if (details()) {
            const int32_t shown = rec ? rec->palCount : static_cast<int32_t>(entries / 5);
            ctx_.msg.log(seg.pos() + ": PDS (" + seg.len() + ")  " + std::to_string(shown) + " palettes");
        }
        f_.skip(entries);
        return true;
    }

    // u16 objectId, u8 version, u8 sequenceFlags (0x80 first, 0x40 last); a first fragment
    // goes on with u24 dataLength, u16 width, u16 height; then run-length data.
    bool ods(const Segment& seg) {
        const bool first = seg.length >= 4 && (peekFlags() & 0x80);
        if (seg.length < 4 || (first && seg.length < 11)) {
            reportFormatError(ctx_, st_);
            return false;
        }
        const uint16_t objectId = f_.readWord();
        f_.readByte();
        const uint8_t flags = f_.readByte();
        const bool last = flags & 0x40;
        TSUP* rec = newest();
        // The slot the composition gave this object; ids and windows past the record's
        // capacity keep their data out of the table.
        TSUPObject* slot = nullptr;
        if (rec && objectId < kMaxObjectIds && rec->objWin[objectId] < kSlots)
            slot = &rec->obj[rec->objWin[objectId]];
        if (first) {
            f_.read24();
            const uint16_t width = f_.readWord();
            const uint16_t height = f_.readWord();
            frag_ = 0;
            if (slot) {
                slot->parts = 1;
                slot->id = objectId;
                slot->partPos[0] = f_.position();
                slot->partLen[0] = seg.length - 11;
            }
            if (details()) {
                ctx_.msg.log(seg.pos() + ": ODS" + std::to_string(objectId) + " (" + seg.len() + ") " +
                             std::to_string(width) + " x " + std::to_string(height) +
                             (last ? "" : "  first"));
            }
            f_.skip(seg.length - 11);
        } else {
            frag_ = std::min(frag_ + 1, kMaxParts);
            if (details()) {
                ctx_.msg.log(seg.pos() + ": ODS" + std::to_string(objectId) + " (" + seg.len() + ")" +
                             (last ? "  last" : ""));
            }
            if (slot && frag_ < kMaxParts) {
                const auto k = static_cast<size_t>(frag_);
                slot->partPos[k] = f_.position();
                slot->partLen[k] = seg.length - 4;
                slot->parts = static_cast<uint8_t>(frag_ + 1);
            }
            f_.skip(seg.length - 4);
        }
        return true;
    }

    // The sequence flags byte sits 3 bytes into the payload.
    uint8_t peekFlags() {
        const int64_t here = f_.position();
        f_.seek(here + 3);
        const uint8_t flags = f_.readByte();
        f_.seek(here);
        return flags;
    }

    Context& ctx_;
    LoadState& st_;
    InputFile& f_;
    int frag_ = 0;
};

}  // namespace

void readBluRay(Context& ctx, LoadState& st) { BluRayReader(ctx, st).run(); }

}  // namespace vantrel
