// The subtitle table: one small record per subtitle, plus time helpers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Capacities of a record: two picture slots, 64 fragments per slot, object ids 0..63.
inline constexpr int kSlots = 2;
inline constexpr int kMaxParts = 64;
inline constexpr int kMaxObjectIds = 64;

// The offsets or the lengths of an object's fragments, indexed 0..kMaxParts-1. It reads as
// kMaxParts values, 0 where nothing was written, but holds only what was written: the first
// two in place (most objects have one or two fragments), the rest in a list that copies share
// until one of them writes. A crafted stream can make a record for every 32 bytes, each
// showing an object of 64 fragments; those records then cost their size, not 1 KiB each.
class PartList {
public:
    static constexpr size_t size() { return kMaxParts; }

    int64_t operator[](size_t i) const {
        if (i < kInPlace) return first_[i];
        const size_t k = i - kInPlace;
        return rest_ && k < rest_->size() ? (*rest_)[k] : 0;
    }
    // Writable entry i; throws std::out_of_range past kMaxParts.
    int64_t& operator[](size_t i) {
        if (i < kInPlace) return first_[i];
        if (i >= size()) throw std::out_of_range("fragment index past the last fragment");
        const size_t k = i - kInPlace;
        if (!rest_) rest_ = std::make_shared<std::vector<int64_t>>();
        else if (rest_.use_count() > 1) rest_ = std::make_shared<std::vector<int64_t>>(*rest_);
        if (k >= rest_->size()) rest_->resize(k + 1, 0);
        return (*rest_)[k];
    }
    // True when both read the same values.
    friend bool operator==(const PartList& a, const PartList& b) {
        for (size_t i = 0; i < size(); ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    // True when the entries past the first two are one list shared by both copies.
    bool sharesStorageWith(const PartList& other) const { return rest_ && rest_ == other.rest_; }

private:
    static constexpr size_t kInPlace = 2;
    std::array<int64_t, kInPlace> first_{};
    std::shared_ptr<std::vector<int64_t>> rest_;
};

// How a subtitle's text is read: the items of the OCR font choice, and the mode of a
// subtitle no OCR has decided yet (the readers set it).
enum FontMode : uint8_t { kFontNormal = 0, kFontAuto = 1, kFontItalic = 2, kFontUndecided = 4 };

// One picture slot: where a subtitle's compressed picture lies in the stream file. Offsets
// and lengths are 64-bit: streams pass 2 GiB and 4 GiB.
struct TSUPObject {
    uint16_t id = 0;
    uint16_t x1 = 0;
    uint16_t x2 = 0;
    uint16_t y1 = 0;
    uint16_t y2 = 0;
    uint8_t parts = 0;
    uint8_t forced = 0;   // the composition shows this object also when only forced ones are wanted
    // A cropped composition shows only part of its object: x1..y2 then hold the part shown,
    // taken from (cropX, cropY) of an object of objWidth x objHeight. objWidth 0: not cropped.
    uint16_t cropX = 0;
    uint16_t cropY = 0;
    uint16_t objWidth = 0;
    uint16_t objHeight = 0;
    PartList partPos;   // file offset of fragment i
    PartList partLen;   // byte length of fragment i
};

// One subtitle. Holds no pixels: only times, geometry, text state and file locations.
struct TSUP {
    int32_t num = 0;
    // Blu-ray: file offset of the first 5-byte entry of the subtitle's last palette segment;
    // 0 = the subtitle has no palette of its own.
    int64_t palPos = 0;
    // Blu-ray: the earlier version of the same palette that the segment at palPos updates
    // (an index into Program::palLinks; -1 = the segment defines the whole palette).
    int32_t palPrev = -1;
    // Subpictures: offsets of the palette (256 Y, Cr, Cb triples) and of the contrast table
    // counted from the first byte of the packet's control area.
    int64_t ctrlPalOffset = 0;
    int64_t ctrlAlphaOffset = 0;
    int32_t palCount = 0;
    uint32_t startPTS = 0;
    uint32_t endPTS = 0;
    std::string startTime;
    std::string endTime;
    std::string text;
    FontMode font = kFontNormal;
    uint8_t ocrOK = 0;
    uint8_t locked = 0;
    int32_t lineCount = 0;
    int32_t charCount = 0;
    std::array<TSUPObject, kSlots> obj{};
    std::array<uint8_t, kMaxObjectIds> objWin{};
    uint8_t forced = 0;   // 1 when the subtitle shows even with subtitles switched off
    uint8_t noText = 0;   // 1 when the OCR found a picture without text (a logo, noise): not written to SRT
};
// Streams can hold a record for every 15 bytes (a minimal subpicture packet): the record stays
// a few hundred bytes, whatever its slots show.
static_assert(sizeof(TSUP) <= 512, "a subtitle record grew");

// An earlier version of a Blu-ray palette: `count` 5-byte entries at `pos`, applied over
// the version `prev` (an index into the same table; -1 = none).
struct PaletteLink {
    int64_t pos = 0;
    int32_t count = 0;
    int32_t prev = -1;
};

// The longest chain of palette versions a subtitle's palette is built from.
inline constexpr int kMaxPaletteLinks = 256;

// The union of the rectangles of a record's slots that hold a picture (slot 0 alone when
// neither does); right and bottom exclusive as stored.
struct SlotArea {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};
SlotArea pictureArea(const TSUP& sub);

// True when slot k of a stream record holds picture data.
inline bool slotHasPicture(const TSUPObject& o) { return o.parts > 0 && o.partLen[0] > 0; }

// 90 kHz ticks as "hh:mm:ss,zzz" (hour within the day, milliseconds rounded).
std::string ticksToSrtTime(uint32_t ticks);

// Ticks added to a start time when a subtitle has no usable end: two seconds.
inline constexpr uint32_t kDefaultDuration = 180000;

// The end time every writer uses for Subs[i]: its own end when that lies after its start,
// else the next subtitle's start when that lies after it, else start + 2 s.
uint32_t effectiveEnd(const std::vector<TSUP>& subs, size_t i);

// True when effectiveEnd had to supply the end (the record's own end was missing or reversed).
bool endSupplied(const std::vector<TSUP>& subs, size_t i);

// The log line a writer adds when it supplied the end of Subs[i].
std::string endSuppliedMessage(const TSUP& sub, uint32_t end);

// A subtitle text ("line one|line two") as editor lines; a text ending in "|" ends with an
// empty line, an empty text gives one empty line.
std::vector<std::string> TxtToLines(std::string_view text);
// Editor lines joined back into a subtitle text. Empty lines before the first non-empty
// one vanish; later empty lines stay.
std::string LinesToTxt(const std::vector<std::string>& lines);

}  // namespace vantrel
