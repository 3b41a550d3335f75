// Stream builders for tests.
#include "support/stream_builder.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace vantrel::testing {

void putBE(Bytes& b, uint64_t v, int bytes) {
    for (int k = bytes - 1; k >= 0; --k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

void putLE(Bytes& b, uint64_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

PgsBuilder& PgsBuilder::segment(uint32_t pts, uint8_t type, const Bytes& payload, int length) {
    putBE(bytes_, 0x5047, 2);
    putBE(bytes_, pts, 4);
    putBE(bytes_, dts_, 4);
    dts_ = 0;
    bytes_.push_back(type);
    putBE(bytes_, length >= 0 ? static_cast<uint64_t>(length) : payload.size(), 2);
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    return *this;
}

PgsBuilder& PgsBuilder::pcs(uint32_t pts, const std::vector<CompObject>& objects, uint8_t state,
                            int32_t number, uint16_t width, uint16_t height) {
    Bytes p;
    putBE(p, width ? width : width_, 2);
    putBE(p, height ? height : height_, 2);
    p.push_back(static_cast<uint8_t>(frameCode_ << 4));
    putBE(p, number < 0 ? compositions_ : static_cast<uint16_t>(number), 2);
    ++compositions_;
    p.push_back(state);
    p.push_back(paletteUpdate_ ? 0x80 : 0x00);
    p.push_back(paletteId_);
    p.push_back(static_cast<uint8_t>(objects.size()));
    for (const auto& o : objects) {
        putBE(p, o.objectId, 2);
        p.push_back(o.windowId);
        p.push_back(static_cast<uint8_t>((o.cropped ? 0x80 : 0x00) | (o.forced ? 0x40 : 0x00)));
        putBE(p, o.x, 2);
        putBE(p, o.y, 2);
        if (o.cropped) {
            putBE(p, o.cropX, 2);
            putBE(p, o.cropY, 2);
            putBE(p, o.cropW, 2);
            putBE(p, o.cropH, 2);
        }
    }
    return segment(pts, 0x16, p);
}

PgsBuilder& PgsBuilder::video(uint16_t width, uint16_t height, uint8_t frameCode) {
    width_ = width;
    height_ = height;
    frameCode_ = frameCode;
    return *this;
}

PgsBuilder& PgsBuilder::paletteRef(uint8_t paletteId) {
    paletteId_ = paletteId;
    return *this;
}

PgsBuilder& PgsBuilder::wds(uint32_t pts, const std::vector<Window>& windows) {
    Bytes p;
    p.push_back(static_cast<uint8_t>(windows.size()));
    for (const auto& w : windows) {
        p.push_back(w.id);
        putBE(p, w.x, 2);
        putBE(p, w.y, 2);
        putBE(p, w.w, 2);
        putBE(p, w.h, 2);
    }
    return segment(pts, 0x17, p);
}

PgsBuilder& PgsBuilder::pds(uint32_t pts, const std::vector<Entry>& entries, uint8_t id, uint8_t version) {
    Bytes p{id, version};
    for (const auto& e : entries) p.insert(p.end(), {e.index, e.y, e.cr, e.cb, e.alpha});
    return segment(pts, 0x14, p);
}

PgsBuilder& PgsBuilder::ods(uint32_t pts, uint16_t objectId, bool first, bool last, const Bytes& data,
                            uint16_t width, uint16_t height, uint32_t dataLength) {
    Bytes p;
    putBE(p, objectId, 2);
    p.push_back(0);
    p.push_back(static_cast<uint8_t>((first ? 0x80 : 0) | (last ? 0x40 : 0)));
    if (first) {
        putBE(p, dataLength ? dataLength : data.size() + 4, 3);
        putBE(p, width, 2);
        putBE(p, height, 2);
    }
    p.insert(p.end(), data.begin(), data.end());
    return segment(pts, 0x15, p);
}

PgsBuilder& PgsBuilder::end(uint32_t pts) { return segment(pts, 0x80, {}); }

Bytes SpBuilder::setDarea(bool hd, uint16_t x1, uint16_t x2, uint16_t y1, uint16_t y2) {
    return {static_cast<uint8_t>(hd ? 0x85 : 0x05),
            static_cast<uint8_t>(x1 >> 4),
            static_cast<uint8_t>(((x1 & 0x0F) << 4) | (x2 >> 8)),
            static_cast<uint8_t>(x2 & 0xFF),
            static_cast<uint8_t>(y1 >> 4),
            static_cast<uint8_t>(((y1 & 0x0F) << 4) | (y2 >> 8)),
            static_cast<uint8_t>(y2 & 0xFF)};
}

Bytes SpBuilder::setDspxa(bool hd, uint32_t top, uint32_t bottom) {
    Bytes b{static_cast<uint8_t>(hd ? 0x86 : 0x06)};
    putBE(b, top, hd ? 4 : 2);
    putBE(b, bottom, hd ? 4 : 2);
    return b;
}

Bytes SpBuilder::setColor2(const Bytes& ycrcb768) {
    // Sized first and copied into: GCC 12 warns falsely on insert-then-resize once optimised.
    Bytes b(1 + 768, 0);
    b[0] = 0x83;
    std::copy_n(ycrcb768.begin(), std::min<size_t>(ycrcb768.size(), 768), b.begin() + 1);
    return b;
}

Bytes SpBuilder::setContr2(const Bytes& contrast256) {
    // Sized first and copied into: GCC 12 warns falsely on insert-then-resize once optimised.
    Bytes b(1 + 256, 0);
    b[0] = 0x84;
    std::copy_n(contrast256.begin(), std::min<size_t>(contrast256.size(), 256), b.begin() + 1);
    return b;
}

SpBuilder& SpBuilder::raw(const Bytes& b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
}

SpBuilder& SpBuilder::packet(uint32_t pts, bool hd, const Bytes& pixels, const std::vector<Dcsq>& sequences,
                             uint32_t ptsHigh) {
    putBE(bytes_, 0x5350, 2);
    putLE(bytes_, pts, 4);
    putLE(bytes_, ptsHigh, 4);
    spuStarts_.push_back(bytes_.size());
    const int pw = hd ? 4 : 2;
    const size_t header = hd ? 10 : 4;
    const size_t ctrlOffset = header + pixels.size();
    // Lay out the control area to know each DCSQ's offset from the SPU start.
    std::vector<size_t> starts;
    size_t at = ctrlOffset;
    for (const auto& d : sequences) {
        starts.push_back(at);
        at += 2 + static_cast<size_t>(pw) + d.commands.size();
    }
    const size_t spuSize = at;
    Bytes spu;
    if (hd) {
        putBE(spu, 0, 2);
        putBE(spu, spuSize, 4);
        putBE(spu, ctrlOffset, 4);
    } else {
        putBE(spu, spuSize, 2);
        putBE(spu, ctrlOffset, 2);
    }
    spu.insert(spu.end(), pixels.begin(), pixels.end());
    for (size_t k = 0; k < sequences.size(); ++k) {
        const auto& d = sequences[k];
        putBE(spu, d.stm, 2);
        const size_t next = (d.last || k + 1 == sequences.size()) ? starts[k] : starts[k + 1];
        putBE(spu, next, pw);
        spu.insert(spu.end(), d.commands.begin(), d.commands.end());
    }
    bytes_.insert(bytes_.end(), spu.begin(), spu.end());
    return *this;
}

Bytes craftedBluRay(size_t bytes) {
    PgsBuilder b;
    b.pcs(0, {});
    b.ods(0, 0, true, false, {0}, 8, 8);
    for (int k = 1; k < 64; ++k) b.ods(0, 0, false, k == 63, {0});
    const size_t objectEnd = b.offset();
    b.pcs(0, {{0, 0, 0, 0}}, 0x00);
    const size_t composition = b.offset() - objectEnd;
    Bytes out = b.bytes();
    const Bytes one(out.begin() + static_cast<std::ptrdiff_t>(objectEnd), out.end());
    for (size_t n = out.size(); n + composition <= bytes; n += composition)
        out.insert(out.end(), one.begin(), one.end());
    return out;
}

Bytes craftedSubpictures(size_t bytes) {
    // "SP", PTS, 0, then the SPU: size 5, control at 4, and a lone CMD_END.
    const Bytes one = {'S', 'P', 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 4, 0xFF};
    Bytes out;
    out.reserve(bytes);
    while (out.size() + one.size() <= bytes) out.insert(out.end(), one.begin(), one.end());
    return out;
}

std::string writeTempFile(const std::string& name, const Bytes& data) {
    static std::atomic<int> counter{0};
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vantrel-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    // The name repeats when a later process gets the same id: what an earlier run left
    // there must not show up as this test's output.
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const auto path = (dir / name).string();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return path;
}

void writeAt(const std::string& path, int64_t offset, const Bytes& data) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(offset);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace vantrel::testing
