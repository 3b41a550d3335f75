// The Blu-ray, HD DVD and DVD-style run-length decoders over an MSB-first bit reader; runs
// are painted a row segment at a time into the overlay, the paletted picture and the ink plane.
#include "render/decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vantrel {

PixelData PixelData::fromBytes(const std::vector<uint8_t>& data) {
    PixelData d;
    d.bytes = data;
    d.bytes.resize(data.size() + kPixelDataSpare, 0);
    d.dataLen = static_cast<int64_t>(data.size());
    return d;
}

void PixelRect::add(int x0, int y0, int x1, int y1) {
    if (x1 <= x0 || y1 <= y0) return;
    if (empty()) {
        *this = {x0, y0, x1, y1};
        return;
    }
    left = std::min(left, x0);
    top = std::min(top, y0);
    right = std::max(right, x1);
    bottom = std::max(bottom, y1);
}

namespace {

// Fills of one run. Most runs of subtitle text are a few pixels long, where a library call
// costs more than the stores themselves.
inline void fillBytes(uint8_t* p, uint8_t v, size_t n) {
    if (n >= 16) {
        std::memset(p, v, n);
    } else if (n >= 8) {
        const uint64_t w = 0x0101010101010101ull * v;
        std::memcpy(p, &w, 8);
        std::memcpy(p + n - 8, &w, 8);
    } else if (n >= 4) {
        const uint32_t w = 0x01010101u * v;
        std::memcpy(p, &w, 4);
        std::memcpy(p + n - 4, &w, 4);
    } else if (n > 0) {
        p[0] = v;
        p[n / 2] = v;
        p[n - 1] = v;
    }
}

inline void fillColors(Color* p, Color v, size_t n) {
    if (n >= 8) {
        std::fill_n(p, n, v);
        return;
    }
    for (size_t k = 0; k < n; ++k) p[k] = v;
}
}  // namespace

void loadSlot(InputFile& file, const TSUPObject& slot, PixelData& data) {
    const int parts = std::min<int>(slot.parts, kMaxParts);
    int64_t total = 0;
    for (int i = 0; i < parts; ++i) {
        const int64_t pos = slot.partPos[static_cast<size_t>(i)];
        const int64_t len = std::max<int64_t>(slot.partLen[static_cast<size_t>(i)], 0);
        // A fragment of no bytes reads nothing, wherever it points (the bottom-field start of
        // a subpicture is such a fragment).
        if (len > 0 && (pos < 0 || pos > file.size() || len > file.size() - pos)) throw streamReadError();
        total += len;
    }
    data.bytes.assign(static_cast<size_t>(total) + kPixelDataSpare, 0);
    data.dataLen = 0;
    for (int i = 0; i < parts; ++i) {
        const int64_t len = std::max<int64_t>(slot.partLen[static_cast<size_t>(i)], 0);
        if (len == 0) continue;
        file.seek(slot.partPos[static_cast<size_t>(i)]);
        file.readExact(data.bytes.data() + data.dataLen, static_cast<size_t>(len));
        data.dataLen += len;
    }
}

void loadSlot(const std::string& fileName, const TSUPObject& slot, PixelData& data) {
    InputFile file(fileName);
    loadSlot(file, slot, data);
}

namespace {

class RunDecoder {
public:
    RunDecoder(Context& ctx, const TSUP& sub, int slotNo, PixelData& data, IndexPlane* plane = nullptr)
        : prog_(ctx.prog), sub_(sub), data_(&data), slotNo_(slotNo), pics_(ctx.prog.pics), plane_(plane) {
        if (plane_) return;   // only the indexes, at the slot's own size
        // The ink plane's origin: the top-left corner of every slot holding a picture, so
        // the OCR sees both objects of a two-window subtitle where they lie to each other.
        const SlotArea area = pictureArea(sub);
        inkX_ = area.x1;
        inkY_ = area.y1;
        const PaletteState& pal = prog_.pal;
        const bool saveOcr = prog_.SavingPics && ctx.opt.cbOCR;
        const bool twoTone = prog_.ocrRunning || saveOcr;
        drawOverlay_ = !prog_.ExportingBD && !prog_.ExportingHD;
        // A picture whose buffer does not hold its size is treated as empty.
        const OverlayImage& ov = pics_.Overlay;
        if (ov.color.size() >= static_cast<size_t>(ov.width) * static_cast<size_t>(ov.height) &&
            ov.alpha.size() >= ov.color.size() && ov.width > 0 && ov.height > 0) {
            overlayWidth_ = ov.width;
            overlayHeight_ = ov.height;
        }
        const IndexedImage& ii = pics_.IndexImage;
        if (ii.pixels.size() >= static_cast<size_t>(ii.width) * static_cast<size_t>(ii.height) && ii.width > 0 &&
            ii.height > 0) {
            indexWidth_ = ii.width;
            indexHeight_ = ii.height;
        }
        if (pics_.inkPlane.size() < static_cast<size_t>(kScreenWidth) * kScreenHeight)
            pics_.inkPlane.assign(static_cast<size_t>(kScreenWidth) * kScreenHeight, 0);
        for (size_t c = 0; c < 256; ++c) {
            const bool ink = pal.Palette[c] >= pal.cutThreshold;
            ink_[c] = ink;
            pen_[c] = twoTone ? (ink ? 0xCCCCCCu : 0u) : pal.Palette[c];
            alpha_[c] = pal.Alpha[c];
            index_[c] = saveOcr ? (ink ? pal.BrightIdx : pal.DarkIdx) : static_cast<uint8_t>(c);
        }
    }

    PixelRect run(const std::string& streamFile) {
        ensureSpare(*data_);
        startSlot();
        switch (prog_.SubKind) {
            case kDvdKind:
            case kHdDvdKind: interlaced(); break;
            case kBluRayKind:
                progressive();
                if (!plane_ && slotNo_ == 0 && slotHasPicture(sub_.obj[1])) {
                    // The second object, at its own position.
                    PixelData second;
                    loadSlot(streamFile, sub_.obj[1], second);
                    ensureSpare(second);
                    data_ = &second;
                    slotNo_ = 1;
                    startSlot();
                    progressive();
                    data_ = nullptr;
                }
                break;
            default: break;
        }
        PixelRect painted;
        if (top_ <= bottom_)
            painted = {static_cast<int>(left_), static_cast<int>(top_), static_cast<int>(right_),
                       static_cast<int>(bottom_ + 1)};
        return painted;
    }

private:
    // Data handed over without its spare bytes gets them, so no code reads past the buffer.
    static void ensureSpare(PixelData& d) {
        d.dataLen = std::clamp<int64_t>(d.dataLen, 0, static_cast<int64_t>(d.bytes.size()));
        d.bytes.resize(static_cast<size_t>(d.dataLen) + kPixelDataSpare);
        std::fill(d.bytes.begin() + static_cast<ptrdiff_t>(d.dataLen), d.bytes.end(), uint8_t{0});
    }

    // --- Bit reader: `window_` holds the next unread bits at its top. ---
    uint8_t byteAt(int64_t pos) const {
        // The spare zero bytes cover the look-ahead; anything beyond them reads as zero too.
        return pos >= 0 && pos < static_cast<int64_t>(data_->bytes.size()) ? data_->bytes[static_cast<size_t>(pos)] : 0;
    }
    void loadWindow() {
        usedBits_ = 0;
        window_ = 0;
        for (int k = 0; k < 4; ++k) window_ = (window_ << 8) | byteAt(readPos_ + k);
        readPos_ += 4;
    }
    void nextByte() {
        usedBits_ -= 8;
        window_ += byteAt(readPos_);
        ++readPos_;
    }
    void skipBits(int n) {
        if (usedBits_ > 0) {
            const int rest = 8 - usedBits_ % 8;
            if (n > rest) {
                window_ <<= rest;
                usedBits_ += rest;
                n -= rest;
                nextByte();
            }
        }
        while (usedBits_ > 0 && usedBits_ % 8 == 0) nextByte();
        while (usedBits_ == 0 && n > 8) {
            window_ <<= 8;
            usedBits_ = 8;
            nextByte();
            n -= 8;
        }
        window_ <<= n;
        usedBits_ += n;
        if (usedBits_ == 8) nextByte();
    }
    // The next k bits after the first `skip` unread ones.
    uint32_t peek(int skip, int k) const { return (window_ << skip) >> (32 - k); }

    void startSlot() {
        readPos_ = 0;
        curX_ = 0;
        curY_ = 0;
        loadWindow();
    }

    // --- Run writer ---
    void putRun(uint8_t c, int n) {
        const TSUPObject& o = sub_.obj[static_cast<size_t>(slotNo_)];
        const bool cropped = prog_.SubKind == kBluRayKind && o.objWidth > 0;
        // Runs are counted in the object's own columns; a cropped slot is narrower.
        const int64_t lastX = cropped ? int64_t{o.objWidth} : static_cast<int64_t>(o.x2) - o.x1;   // x2 - x1
        const int64_t length = n != 0 ? n : lastX + 1 - curX_;
        if (length > 0) {
            if (cropped) paintCropped(o, c, length);
            else paint(o, c, curX_, curY_, length);
        }
        curX_ += length;
        if (n != 0 && curX_ <= lastX) return;
        curX_ = 0;
        curY_ += prog_.SubKind == kBluRayKind ? 1 : 2;
        if (usedBits_ > 0) skipBits(8 - usedBits_);
    }

    // The part of a run of a cropped object that lies inside the rectangle shown, moved to
    // the slot's corner.
    void paintCropped(const TSUPObject& o, uint8_t c, int64_t length) {
        const int64_t y = curY_ - o.cropY;
        if (y < 0 || y >= int64_t{o.y2} - o.y1) return;
        const int64_t from = std::max<int64_t>(curX_, o.cropX);
        const int64_t to = std::min<int64_t>(curX_ + length, int64_t{o.cropX} + o.x2 - o.x1);
        if (from < to) paint(o, c, from - o.cropX, y, to - from);
    }

    // `length` pixels of index c from column x of row y of the slot.
    void paint(const TSUPObject& o, uint8_t c, int64_t x, int64_t y, int64_t length) {
        if (plane_) {
            if (y < plane_->height && x < plane_->width) {
                const int64_t b = std::min<int64_t>(x + length, plane_->width);
                fillBytes(plane_->pixels.data() + y * plane_->width + x, c, static_cast<size_t>(b - x));
            }
            return;
        }
        const int64_t row = o.y1 + y;
        const int64_t col = o.x1 + x;
        // Ink plane, relative to the corner of the area of all slots.
        const int64_t inkRow = row - inkY_;
        const int64_t inkCol = col - inkX_;
        if (ink_[c] && inkRow >= 0 && inkRow < kScreenHeight && inkCol >= 0) {
            const int64_t b = std::min<int64_t>(inkCol + length, kScreenWidth);
            if (inkCol < b)
                fillBytes(pics_.inkPlane.data() + inkRow * kScreenWidth + inkCol, 1, static_cast<size_t>(b - inkCol));
        }
        if (drawOverlay_ && row < overlayHeight_ && col < overlayWidth_) {
            const int64_t b = std::min<int64_t>(col + length, overlayWidth_);
            const size_t at = static_cast<size_t>(row * overlayWidth_ + col);
            const auto count = static_cast<size_t>(b - col);
            fillColors(pics_.Overlay.color.data() + at, pen_[c], count);
            fillBytes(pics_.Overlay.alpha.data() + at, alpha_[c], count);
            top_ = std::min(top_, row);
            bottom_ = std::max(bottom_, row);
            left_ = std::min(left_, col);
            right_ = std::max(right_, b);
        }
        if (row < indexHeight_ && col < indexWidth_) {
            const int64_t b = std::min<int64_t>(col + length, indexWidth_);
            fillBytes(pics_.IndexImage.pixels.data() + row * indexWidth_ + col, index_[c], static_cast<size_t>(b - col));
        }
    }

    // --- Blu-ray: byte codes, explicit line ends, progressive rows. ---
    // Every code is whole bytes, so the bit window never leaves a byte boundary: the codes
    // are read straight from the data, `pos` being the window's first byte.
    void progressive() {
        const uint8_t* d = data_->bytes.data();
        int64_t pos = readPos_ - 4;
        const int64_t end = data_->dataLen;   // a code starts only inside the data
        while (pos < end) {
            const uint8_t k = d[pos];
            if (k != 0) {                       // KKKKKKKK: one pixel
                ++pos;
                putRun(k, 1);
                continue;
            }
            const uint8_t b1 = d[pos + 1];
            const int flags = b1 >> 6;
            const int l6 = b1 & 0x3F;
            if (b1 == 0) {                      // 00 00: end of line
                pos += 2;
                curX_ = 0;
                curY_ += 1;
            } else if (flags == 0) {            // 00 00LLLLLL
                pos += 2;
                putRun(0, l6);
            } else if (flags == 1) {            // 00 01LLLLLL LLLLLLLL
                const int l14 = (l6 << 8) | d[pos + 2];
                pos += 3;
                putRun(0, l14);
            } else if (flags == 2) {            // 00 10LLLLLL KKKKKKKK
                const uint8_t color = d[pos + 2];
                pos += 3;
                putRun(color, l6);
            } else {                            // 00 11LLLLLL LLLLLLLL KKKKKKKK
                const int l14 = (l6 << 8) | d[pos + 2];
                const uint8_t color = d[pos + 3];
                pos += 4;
                putRun(color, l14);
            }
        }
        readPos_ = pos + 4;
    }

    // --- HD DVD and DVD-style: bit codes, two fields of alternate rows. ---
    void interlaced() {
        const TSUPObject& first = sub_.obj[0];
        const int64_t limit = first.partLen[0];
        // A bottom field that the record places before the top field, or past the data,
        // starts at the nearest end of the loaded data instead.
        const int64_t bottom = std::clamp<int64_t>(first.partPos[1] - first.partPos[0], 0,
                                                   data_->dataLen);
        while (readPos_ <= limit + 3) {
            if (prog_.SubKind == kHdDvdKind) hdDvdCode();
            else dvdCode();
            if (readPos_ > bottom + 3 && curY_ % 2 == 0) {
                curX_ = 0;
                curY_ = 1;
                readPos_ = bottom;
                loadWindow();
            }
        }
    }

    void hdDvdCode() {
        switch (peek(0, 2)) {
            case 0: {                                  // 00 cc
                const auto c = static_cast<uint8_t>(peek(2, 2));
                skipBits(4);
                putRun(c, 1);
                break;
            }
            case 1: {                                  // 01 KKKKKKKK
                const auto c = static_cast<uint8_t>(peek(2, 8));
                skipBits(10);
                putRun(c, 1);
                break;
            }
            case 2: {                                  // 10 cc 0 nnn / 10 cc 1 nnnnnnn
                const auto c = static_cast<uint8_t>(peek(2, 2));
                if (peek(4, 1) == 0) {
                    const int n = static_cast<int>(peek(5, 3));
                    skipBits(8);
                    putRun(c, n + 2);
                } else {
                    const int n = static_cast<int>(peek(5, 7));
                    skipBits(12);
                    putRun(c, n == 0 ? 0 : n + 9);
                }
                break;
            }
            default: {                                 // 11 KKKKKKKK 0 nnn / 11 KKKKKKKK 1 nnnnnnn
                const auto c = static_cast<uint8_t>(peek(2, 8));
                if (peek(10, 1) == 0) {
                    const int n = static_cast<int>(peek(11, 3));
                    skipBits(14);
                    putRun(c, n + 2);
                } else {
                    const int n = static_cast<int>(peek(11, 7));
                    skipBits(18);
                    putRun(c, n == 0 ? 0 : n + 9);
                }
                break;
            }
        }
    }

    void dvdCode() {
        if (peek(0, 14) == 0) {                        // 00000000000000 cc: to the end of the line
            const auto c = static_cast<uint8_t>(peek(14, 2));
            skipBits(16);
            putRun(c, 0);
        } else if (peek(0, 6) == 0) {                  // 000000 nnnnnnnn cc
            const int n = static_cast<int>(peek(6, 8));
            const auto c = static_cast<uint8_t>(peek(14, 2));
            skipBits(16);
            putRun(c, n);
        } else if (peek(0, 4) == 0) {                  // 0000 nnnnnn cc
            const int n = static_cast<int>(peek(4, 6));
            const auto c = static_cast<uint8_t>(peek(10, 2));
            skipBits(12);
            putRun(c, n);
        } else if (peek(0, 2) == 0) {                  // 00 nnnn cc
            const int n = static_cast<int>(peek(2, 4));
            const auto c = static_cast<uint8_t>(peek(6, 2));
            skipBits(8);
            putRun(c, n);
        } else {                                       // nn cc
            const int n = static_cast<int>(peek(0, 2));
            const auto c = static_cast<uint8_t>(peek(2, 2));
            skipBits(4);
            putRun(c, n);
        }
    }

    Program& prog_;
    const TSUP& sub_;
    PixelData* data_;
    int slotNo_;
    int64_t inkX_ = 0, inkY_ = 0;
    Pictures& pics_;
    IndexPlane* plane_;
    bool drawOverlay_ = true;
    std::array<bool, 256> ink_{};
    std::array<Color, 256> pen_{};
    std::array<uint8_t, 256> alpha_{};
    std::array<uint8_t, 256> index_{};

    uint32_t window_ = 0;
    int usedBits_ = 0;
    int64_t readPos_ = 0;
    int64_t curX_ = 0;
    int64_t curY_ = 0;
    // Picture sizes, and the bounds of what the overlay received.
    int64_t overlayWidth_ = 0, overlayHeight_ = 0, indexWidth_ = 0, indexHeight_ = 0;
    int64_t left_ = INT64_MAX, top_ = INT64_MAX, right_ = 0, bottom_ = -1;
};

}  // namespace

bool decodeSlotPlane(Context& ctx, int32_t index, int slotNo, PixelData& data, IndexPlane& plane) {
    Program& prog = ctx.prog;
    plane = IndexPlane{};
    if (index < 0 || static_cast<size_t>(index) >= prog.Subs.size() || prog.SubKind > 2) return false;
    if (slotNo < 0 || slotNo >= kSlots) return false;
    const TSUP& sub = prog.Subs[static_cast<size_t>(index)];
    const TSUPObject& o = sub.obj[static_cast<size_t>(slotNo)];
    // A Blu-ray slot's right and bottom edges lie one past the object; a subpicture area
    // names its last column and row.
    const int inclusive = prog.SubKind == kBluRayKind ? 0 : 1;
    plane.width = std::clamp(int{o.x2} - int{o.x1} + inclusive, 0, kMaxPlaneSide);
    plane.height = std::clamp(int{o.y2} - int{o.y1} + inclusive, 0, kMaxPlaneSide);
    if (plane.width == 0 || plane.height == 0) return false;
    // What the data leaves unpainted is transparent, whichever entry the text colour uses.
    plane.pixels.assign(static_cast<size_t>(plane.width) * static_cast<size_t>(plane.height), prog.pal.TranspIdx);
    RunDecoder(ctx, sub, slotNo, data, &plane).run(prog.streamFile);
    return true;
}

PixelRect decodeSubtitle(Context& ctx, int32_t index, int slotNo, PixelData& data) {
    Program& prog = ctx.prog;
    if (index < 0 || static_cast<size_t>(index) >= prog.Subs.size() || prog.SubKind > 2) return {};
    if (slotNo < 0 || slotNo >= kSlots) return {};
    const TSUP& sub = prog.Subs[static_cast<size_t>(index)];
    return RunDecoder(ctx, sub, slotNo, data).run(prog.streamFile);
}

}  // namespace vantrel
