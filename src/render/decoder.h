// Run-length decoders of the three subpicture codes and the loading of a slot's data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/context.h"
#include "platform/files.h"

namespace vantrel {

// Zero bytes kept after a slot's data: the bit reader's 32-bit window looks up to four
// bytes ahead, and a code that starts in the last byte reads a few more.
inline constexpr size_t kPixelDataSpare = 16;

// The concatenated compressed data of one picture slot. `bytes` holds `dataLen` bytes of
// data followed by kPixelDataSpare zero bytes.
struct PixelData {
    std::vector<uint8_t> bytes;
    int64_t dataLen = 0;

    // Data handed over directly (tests, benchmarks).
    static PixelData fromBytes(const std::vector<uint8_t>& data);
};

// A rectangle of pixels, right and bottom exclusive; empty when right <= left.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool empty() const { return right <= left || bottom <= top; }
    void add(int x0, int y0, int x1, int y1);   // grows to cover [x0, x1) x [y0, y1)
    void add(const PixelRect& r) { add(r.left, r.top, r.right, r.bottom); }
};

// Reads the `parts` fragments of a slot, in order, from the stream file. Throws
// PlatformError when the file cannot be opened or a fragment reaches past its end; nothing
// is allocated for a fragment the file cannot hold.
void loadSlot(InputFile& file, const TSUPObject& slot, PixelData& data);
void loadSlot(const std::string& fileName, const TSUPObject& slot, PixelData& data);

// Decodes the picture of Subs[index] into Overlay, IndexImage and inkPlane of ctx.prog.pics,
// which must be allocated. `slotNo` is the start slot, whose data `data` holds; a Blu-ray
// subtitle goes on with slot 1, read from ctx.prog.streamFile. Pixels outside a picture are
// dropped. Returns the part of the overlay that was painted.
PixelRect decodeSubtitle(Context& ctx, int32_t index, int slotNo, PixelData& data);

// The palette indexes of one picture slot at its own size: no screen, no other slot.
struct IndexPlane {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;   // row-major
};

// The largest side a slot plane takes; larger slots are cut to it.
inline constexpr int kMaxPlaneSide = 4096;

// Decodes slot `slotNo` of Subs[index], whose data `data` holds, into `plane`, sized from
// the slot's rectangle (exactly the object, at most kMaxPlaneSide a side; what the data
// does not paint holds the transparent index). Used by
// the OCR, which needs neither the composed screen nor the overlay. Returns false for an
// index, slot or subtitle kind that holds no run-length picture.
bool decodeSlotPlane(Context& ctx, int32_t index, int slotNo, PixelData& data, IndexPlane& plane);

}  // namespace vantrel
