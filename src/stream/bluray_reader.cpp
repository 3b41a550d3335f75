// Reader of Blu-ray presentation graphics streams: one pass over the "PG" segments that
// records times, object rectangles and where palettes and object fragments lie in the file.
// Objects, windows and palettes live for an epoch: a display set may show again an object
// that an earlier display set of the epoch defined, or only change its palette.
#include <algorithm>
#include <array>
#include <bitset>
#include <string>
#include <vector>

#include "platform/memory.h"
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

// The ids an epoch set, so that a new epoch clears just those entries of its tables: a
// stream starts an epoch with nearly every subtitle.
template <size_t N>
struct UsedIds {
    std::bitset<N> seen;
    std::vector<uint16_t> ids;

    void set(size_t id) {
        if (seen.test(id)) return;
        seen.set(id);
        ids.push_back(static_cast<uint16_t>(id));
    }
    void clear() {
        for (const uint16_t id : ids) seen.reset(id);
        ids.clear();
    }
};

// An object as defined in the current epoch: its size and where its fragments lie.
struct EpochObject {
    bool defined = false;
    uint16_t width = 0;
    uint16_t height = 0;
    TSUPObject data;   // parts, partPos, partLen
};

struct EpochWindow {
    bool defined = false;
    uint16_t x = 0, y = 0, width = 0, height = 0;
};

// The latest version of one palette id; pos 0 = none. A version that redefines only some
// entries builds on the version before it (`prev`); entries it leaves out keep their values.
struct EpochPalette {
    int64_t pos = 0;
    int32_t count = 0;
    int32_t prev = -1;              // index into Program::palLinks
    int32_t self = -1;              // this version's own entry there, once a later one needs it
    std::bitset<256> own;           // entries this version's segment lists
    std::bitset<256> defined;       // entries the palette defines up to this version
};

// One composition object of the display set being read.
struct Placement {
    uint16_t objectId = 0;
    uint8_t windowId = 0;
    uint8_t flags = 0;
    uint16_t x = 0, y = 0;
    uint16_t cropX = 0, cropY = 0, cropWidth = 0, cropHeight = 0;   // when flags & 0x80
};

class BluRayReader {
public:
    BluRayReader(Context& ctx, LoadState& st) : ctx_(ctx), st_(st), f_(st.file) {}

    void run() {
        runSegments();
        // Segments past the last END still belong to the last display set.
        completeDisplaySet();
    }

private:
    void runSegments() {
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
                    completeDisplaySet();
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
        // A display set without END ends at the next composition.
        completeDisplaySet();
        const uint16_t videoWidth = f_.readWord();
        const uint16_t videoHeight = f_.readWord();
        const uint8_t frameRate = f_.readByte();
        f_.readWord();
        const uint8_t state = f_.readByte();
        f_.readByte();
        const uint8_t paletteId = f_.readByte();
        const uint8_t objects = f_.readByte();
        auto& subs = ctx_.prog.Subs;
        ctx_.prog.video = {videoWidth, videoHeight, static_cast<uint8_t>(frameRate >> 4)};
        // An epoch start forgets every object, window and palette of the epoch before.
        if ((state & 0xC0) == 0x80) {
            forget(objects_, usedObjects_);
            forget(windows_, usedWindows_);
            forget(palettes_, usedPalettes_);
            lastPalette_ = {};
        }
        placements_.clear();
        paletteId_ = paletteId;
        pending_ = false;
        if (objects >= 1) {
            if (details()) ctx_.msg.log("------------" + std::to_string(st_.count + 1) + "----------");
            ++st_.count;
            makeRoom(subs);
            TSUP& rec = subs.emplace_back();
            rec.text = "line " + std::to_string(st_.count);
            rec.font = kFontUndecided;
            rec.num = st_.count;
            rec.ocrOK = 0;
            rec.startTime = ticksToSrtTime(seg.pts);
            rec.startPTS = seg.pts;
            pending_ = true;
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
            Placement pl;
            pl.objectId = f_.readWord();
            pl.windowId = f_.readByte();
            pl.flags = f_.readByte();
            pl.x = f_.readWord();
            pl.y = f_.readWord();
            if (pl.flags & 0x80) {
                pl.cropX = f_.readWord();
                pl.cropY = f_.readWord();
                pl.cropWidth = f_.readWord();
                pl.cropHeight = f_.readWord();
            }
            if (pending_) placements_.push_back(pl);
        }
    }

    // Fills the record the display set opened: slot k shows the k-th composition object at
    // the composition's position with its object's size and the fragments of the object as
    // the epoch holds it, and the palette the composition names. An object the epoch never
    // defined keeps the window's rectangle and no data.
    void completeDisplaySet() {
        if (!pending_) return;
        pending_ = false;
        TSUP* rec = newest();
        if (!rec) return;
        for (size_t k = 0; k < placements_.size(); ++k) {
            const Placement& pl = placements_[k];
            if (pl.flags & 0x40) rec->forced = 1;
            if (k >= kSlots) continue;
            TSUPObject& slot = rec->obj[k];
            slot.id = pl.objectId;
            slot.forced = (pl.flags & 0x40) ? 1 : 0;
            // Object ids past the table's 64 entries have no place; their data stays out.
            const EpochObject* object = pl.objectId < kMaxObjectIds ? &objects_[pl.objectId] : nullptr;
            if (object && !object->defined) object = nullptr;
            if (pl.objectId < kMaxObjectIds) rec->objWin[pl.objectId] = static_cast<uint8_t>(k);
            const EpochWindow& win = windows_[pl.windowId];
            if (object && object->width > 0 && object->height > 0) {
                place(slot, pl, *object);
            } else if (win.defined) {
                slot.x1 = win.x;
                slot.y1 = win.y;
                slot.x2 = static_cast<uint16_t>(win.x + win.width);
                slot.y2 = static_cast<uint16_t>(win.y + win.height);
            }
            if (object) {
                slot.parts = object->data.parts;
                slot.partPos = object->data.partPos;
                slot.partLen = object->data.partLen;
            }
        }
        const EpochPalette& named = palettes_[paletteId_];
        const EpochPalette& used = named.pos != 0 ? named : lastPalette_;
        if (used.pos != 0) {
            rec->palPos = used.pos;
            rec->palCount = used.count;
            rec->palPrev = used.prev;
        }
    }

    // Makes room for one more record. The table's size is not known before the stream is
    // read, and a table grown by doubling writes its records into fresh memory again at each
    // step: a large part of a load's time goes to the pages of the table. After the first
    // few records it grows to the count the share of the file read so far foretells, so that
    // a stream of even display sets fills one block. The foretelling takes at most 64Ki
    // records beyond the doubling: a stream dense at its start and sparse later reserves that
    // much address space, no more, and pages never written cost nothing. The pages of the
    // next 256 records are mapped in one call (prepareForWriting), never more than those
    // records take.
    void makeRoom(std::vector<TSUP>& subs) {
        constexpr size_t kFirst = 16;
        constexpr size_t kReadyRecords = 256;
        const size_t held = subs.size();
        if (held == subs.capacity()) {
            if (held < kFirst) {
                subs.reserve(kFirst);
            } else {
                const auto read = static_cast<double>(std::max<int64_t>(f_.position(), 1));
                const double foretold =
                    static_cast<double>(held) * static_cast<double>(f_.size()) / read * 1.125;
                const double most = static_cast<double>(2 * held + 65536);
                subs.reserve(std::max(2 * held, static_cast<size_t>(std::min(foretold, most))));
            }
        }
        if (subs.data() != readyBlock_ || held >= readyUpTo_) {
            readyBlock_ = subs.data();
            readyUpTo_ = std::min(subs.capacity(), held + kReadyRecords);
            prepareForWriting(subs.data() + held, (readyUpTo_ - held) * sizeof(TSUP));
        }
    }

    // The slot shows the object at the composition's position; a cropped composition shows
    // only the part of the object its cropping rectangle takes, cut to the object, with the
    // part's top-left corner at that position.
    static void place(TSUPObject& slot, const Placement& pl, const EpochObject& object) {
        uint16_t width = object.width;
        uint16_t height = object.height;
        slot.cropX = slot.cropY = slot.objWidth = slot.objHeight = 0;
        if (pl.flags & 0x80) {
            const uint16_t cx = std::min(pl.cropX, object.width);
            const uint16_t cy = std::min(pl.cropY, object.height);
            width = std::min<uint16_t>(pl.cropWidth, static_cast<uint16_t>(object.width - cx));
            height = std::min<uint16_t>(pl.cropHeight, static_cast<uint16_t>(object.height - cy));
            // A rectangle that takes the whole object crops nothing.
            if (width != object.width || height != object.height) {
                slot.cropX = cx;
                slot.cropY = cy;
                slot.objWidth = object.width;
                slot.objHeight = object.height;
            }
        }
        slot.x1 = pl.x;
        slot.y1 = pl.y;
        slot.x2 = static_cast<uint16_t>(pl.x + width);
        slot.y2 = static_cast<uint16_t>(pl.y + height);
    }

    // u8 windowCount; per window: u8 id, u16 x, u16 y, u16 width, u16 height.
    // Windows are kept by id for the epoch; a display set without objects changes no record.
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
            windows_[id] = {true, x, y, w, h};
            usedWindows_.set(id);
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
        const uint8_t paletteId = f_.readByte();
        f_.readByte();
        const int64_t entries = seg.length - 2;
        const int64_t pos = f_.position();
        std::vector<uint8_t> raw(static_cast<size_t>(entries));
        f_.readExact(raw.data(), raw.size());
        if (entries > 0) {
            EpochPalette next;
            next.pos = pos;
            next.count = static_cast<int32_t>(entries / 5);
            for (size_t k = 0; k + 5 <= raw.size(); k += 5) next.own.set(raw[k]);
            // Within an epoch a palette segment updates the entries it lists; the others keep
            // the values of the versions before it.
            EpochPalette& before = palettes_[paletteId];
            next.defined = before.defined | next.own;
            if (before.pos != 0 && (before.defined & ~next.own).any()) {
                // A version whose entries this one all redefines adds nothing: skip it.
                next.prev = (before.own & ~next.own).any() ? linkTo(before) : before.prev;
            }
            before = next;
            usedPalettes_.set(paletteId);
            lastPalette_ = next;
        }
        if (details())
            ctx_.msg.log(seg.pos() + ": PDS (" + seg.len() + ")  " + std::to_string(entries / 5) + " palettes");
        return true;
    }

    // The entry of `version` in the table of earlier palette versions, added once.
    int32_t linkTo(EpochPalette& version) {
        std::vector<PaletteLink>& links = ctx_.prog.palLinks;
        if (version.self < 0) {
            version.self = static_cast<int32_t>(links.size());
            links.push_back({version.pos, version.count, version.prev});
        }
        return version.self;
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
        // Ids past the table's 64 entries keep their data out of the epoch.
        EpochObject* object = objectId < kMaxObjectIds ? &objects_[objectId] : nullptr;
        TSUPObject* slot = object ? &object->data : nullptr;
        if (first) {
            f_.read24();
            const uint16_t width = f_.readWord();
            const uint16_t height = f_.readWord();
            if (slot) {
                // A new version of the object replaces the old one from here on; records
                // completed earlier keep the fragments they showed.
                *object = {};
                usedObjects_.set(objectId);
                object->defined = true;
                object->width = width;
                object->height = height;
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
            if (details()) {
                ctx_.msg.log(seg.pos() + ": ODS" + std::to_string(objectId) + " (" + seg.len() + ")" +
                             (last ? "  last" : ""));
            }
            // A fragment continues the object of its own id, whatever came between.
            if (slot && slot->parts > 0 && slot->parts < kMaxParts) {
                const auto k = static_cast<size_t>(slot->parts);
                slot->partPos[k] = f_.position();
                slot->partLen[k] = seg.length - 4;
                slot->parts = static_cast<uint8_t>(k + 1);
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

    // Clears the entries of `table` that the epoch set. Most display sets start an epoch; the
    // tables hold some 40 KB, of which an epoch sets a few entries.
    template <typename Table, size_t N>
    static void forget(Table& table, UsedIds<N>& used) {
        for (const uint16_t id : used.ids) table[id] = {};
        used.clear();
    }

    // The epoch: objects by id, windows and palettes by their ids, and which ids it set.
    std::array<EpochObject, kMaxObjectIds> objects_{};
    std::array<EpochWindow, 256> windows_{};
    std::array<EpochPalette, 256> palettes_{};
    UsedIds<kMaxObjectIds> usedObjects_;
    UsedIds<256> usedWindows_;
    UsedIds<256> usedPalettes_;
    EpochPalette lastPalette_;
    // The block of the table whose pages are mapped ahead, up to which record.
    const TSUP* readyBlock_ = nullptr;
    size_t readyUpTo_ = 0;
    // The display set being read: whether it opened a record, its objects and palette id.
    bool pending_ = false;
    std::vector<Placement> placements_;
    uint8_t paletteId_ = 0;
};

}  // namespace

void readBluRay(Context& ctx, LoadState& st) { BluRayReader(ctx, st).run(); }

}  // namespace vantrel
