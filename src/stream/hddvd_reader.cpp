// Reader of "SP" subpicture streams (HD DVD and DVD-style): one record per packet with the
// display area, field starts, times and where the palette and contrast tables lie.
#include <array>
#include <string>
#include <vector>

#include "stream/load.h"

namespace vantrel {
namespace {

struct Command {
    const char* name;
    int operands;   // operand bytes after the command byte; -1: a 16-bit size, then that many
};

// Display control commands by their byte; a null name is an unknown command.
const std::array<Command, 256>& commandTable() {
    static const std::array<Command, 256> table = [] {
        std::array<Command, 256> t{};
        t[0x00] = {"FSTA_DSP", 0};
        t[0x01] = {"STA_DSP", 0};
        t[0x02] = {"STP_DSP", 0};
        t[0x03] = {"SET_COLOR", 2};
        t[0x04] = {"SET_CONTR", 2};
        t[0x05] = {"SET_DAREA", 6};
        t[0x06] = {"SET_DSPXA", 4};
        t[0x07] = {"CHG_COLCON", -1};
        t[0x83] = {"SET_COLOR2", 768};
        t[0x84] = {"SET_CONTR2", 256};
        t[0x85] = {"SET_DAREA2", 6};
        t[0x86] = {"SET_DSPXA2", 8};
        t[0x87] = {"CHG_COLCON2", -1};
        t[0xFF] = {"CMD_END", 0};
        return t;
    }();
    return table;
}

uint32_t be(const std::vector<uint8_t>& b, size_t at, int width) {
    uint32_t v = 0;
    for (int k = 0; k < width; ++k) v = (v << 8) | b[at + static_cast<size_t>(k)];
    return v;
}

class HDDVDReader {
public:
    HDDVDReader(Context& ctx, LoadState& st) : ctx_(ctx), st_(st), f_(st.file) {}

    void run() {
        const int64_t size = f_.size();
        ctx_.prog.Subs.reserve(countPackets());
        while (f_.position() < size) {
            // "SP", u32le PTS, u32le PTS high part (must be 0), then the SPU
            const uint16_t marker = f_.readWord();
            const uint32_t pts = f_.readDWordLE();
            const uint32_t high = f_.readDWordLE();
            if (marker != 0x5350 || high != 0) return formatError();
            if (!details() && st_.count % 200 == 0)
                ctx_.msg.slog(std::to_string(f_.position()) + "/" + std::to_string(size), 1);
            ++st_.count;
            detail("------------------------------------");
            if (!packet(pts)) return;
        }
    }

private:
    // The packets the file holds, found through their sizes before they are read, so that the
    // table takes its size at once: grown by doubling, it would hold two copies of itself at
    // the last step (a crafted stream makes a record for every 15 bytes). Stops at the first
    // header that is not whole, lacks its marker or gives a size too small for a packet; the
    // reader decides what those are.
    size_t countPackets() {
        const int64_t start = f_.position();
        const int64_t size = f_.size();
        size_t packets = 0;
        for (int64_t at = start; at + 14 <= size; ++packets) {
            f_.seek(at);
            if (f_.readWord() != 0x5350) break;
            f_.seek(at + 10);
            int64_t spuSize = f_.readWord();
            if (spuSize == 0 && at + 16 <= size) spuSize = f_.readDWord();
            if (spuSize < 5) break;
            at += 10 + spuSize;
        }
        f_.seek(start);
        return packets;
    }

    bool details() const { return ctx_.opt.cbDetails; }
    void detail(const std::string& line) {
        if (details()) ctx_.msg.log(line);
    }
    void formatError() { reportFormatError(ctx_, st_); }
    static std::string hex8(int64_t v) { return hexUpper(static_cast<uint64_t>(v) & 0xFFFFFFFFu, 8); }

    // Returns false when reading stops (format error or unknown command).
    bool packet(uint32_t pts) {
        auto& subs = ctx_.prog.Subs;
        const int64_t spuPos = f_.position();
        subs.emplace_back();
        const size_t index = subs.size() - 1;
        subs[index].num = st_.count;
        subs[index].ocrOK = 0;
        detail(hex8(spuPos) + ": SPUH (" + std::to_string(st_.count) + ") PTS: " + hexUpper(pts, 8));

        // DVD-style: u16 spuSize, u16 controlOffset. HD DVD: u16 0, u32 spuSize, u32 controlOffset.
        int64_t spuSize = 0;
        int64_t controlOffset = 0;
        const uint16_t first = f_.readWord();
        if (first != 0) {
            ctx_.prog.SubKind = kDvdKind;
            spuSize = first;
            controlOffset = f_.readWord();
            pointer_ = 2;
        } else {
            ctx_.prog.SubKind = kHdDvdKind;
            spuSize = f_.readDWord();
            controlOffset = f_.readDWord();
            pointer_ = 4;
        }
        const int64_t pixelLength = spuPos + controlOffset - f_.position();
        // A control offset inside the header would make the pixel area negative.
        if (pixelLength < 0 || pixelLength > INT32_MAX) {
            formatError();
            return false;
        }
        subs[index].obj[0].partLen[0] = pixelLength;
        detail(hex8(f_.position()) + ": PXD [" + hexUpper(static_cast<uint64_t>(pixelLength), 6) + "]");
        f_.skip(pixelLength);

        ctrl_ = f_.position();
        const int64_t ctrlLen = spuPos + spuSize - ctrl_;
        if (ctrlLen <= 0) {
            formatError();
            return false;
        }
        if (ctrlLen > f_.remaining()) throw streamReadError();
        area_.resize(static_cast<size_t>(ctrlLen));
        f_.readExact(area_.data(), area_.size());
        spuPos_ = spuPos;
        pts_ = pts;

        // The chain of display control sequences: u16 STM, next pointer, commands.
        size_t i = 0;
        const size_t len = area_.size();
        do {
            // A sequence header that no longer fits is padding at the end of the area.
            if (i + 2 + static_cast<size_t>(pointer_) > len) break;
            stm_ = be(area_, i, 2);
            if (details()) {
                ctx_.msg.log("          ----");
                ctx_.msg.log(hex8(ctrl_ + static_cast<int64_t>(i)) + ": SP_DCSQ_STM: " + hexUpper(stm_, 4));
            }
            i += 2;
            int64_t next = be(area_, i, pointer_);
            i += static_cast<size_t>(pointer_);
            next += spuPos;
            detail(hex8(ctrl_ + static_cast<int64_t>(i) - 4) + ": SP_NXT_DCSQ_SA: " + hex8(next));
            if (next <= ctrl_ + static_cast<int64_t>(i)) next = f_.position();
            do {
                // The commands end with the area even when the chain points beyond it.
                if (i >= len) break;
                const uint8_t cmd = area_[i];
                const Command& c = commandTable()[cmd];
                if (!c.name) {
                    // An empty line follows, so the count of subtitles loaded does not
                    // take the message's place.
                    ctx_.msg.log2("Unknown command: " + hexUpper(cmd, 2));
                    return false;
                }
                size_t operands = static_cast<size_t>(c.operands);
                if (c.operands < 0) {
                    if (i + 3 > len) {
                        formatError();
                        return false;
                    }
                    operands = 2 + be(area_, i + 1, 2);
                }
                if (i + 1 + operands > len) {
                    formatError();
                    return false;
                }
                const std::string text = apply(subs[index], subs, index, cmd, i);
                detail(hex8(ctrl_ + static_cast<int64_t>(i)) + ": " + c.name + " " + text);
                i += operands + 1;
            } while (next > ctrl_ + static_cast<int64_t>(i));
        } while (i + 1 < len);

        subs[index].text = "line " + std::to_string(st_.count);
        subs[index].font = kFontUndecided;
        return true;
    }

    // Carries out the command at area index o on the record; returns the dump's detail text.
    std::string apply(TSUP& rec, std::vector<TSUP>& subs, size_t index, uint8_t cmd, size_t o) {
        auto b = [&](size_t k) -> uint32_t { return area_[o + k]; };
        TSUPObject& slot = rec.obj[0];
        switch (cmd) {
            case 0x00:
            case 0x01: {
                const uint32_t start = pts_ + stm_ * 1024u;
                // The forced start shows the subpicture even when the player's subtitles are off.
                if (cmd == 0x00) rec.forced = 1;
                rec.startPTS = start;
                rec.startTime = ticksToSrtTime(start);
                if (st_.count > 1 && index > 0 && subs[index - 1].endPTS == 0) {
                    subs[index - 1].endPTS = start - 90;
                    subs[index - 1].endTime = ticksToSrtTime(start - 90);
                }
                return {};
            }
            case 0x02:
                rec.endPTS = pts_ + stm_ * 1024u;
                rec.endTime = ticksToSrtTime(rec.endPTS);
                return {};
            case 0x05:
            case 0x85:
                slot.x1 = static_cast<uint16_t>(((b(1) & 0x7F) << 4) + (b(2) >> 4));
                slot.x2 = static_cast<uint16_t>(((b(2) & 0x07) << 8) + b(3));
                slot.y1 = static_cast<uint16_t>(((b(4) & 0x7F) << 4) + (b(5) >> 4));
                slot.y2 = static_cast<uint16_t>(((b(5) & 0x07) << 8) + b(6));
                // Appended piece by piece: GCC 12 warns falsely on `"(" + std::to_string(...)`.
                return std::string("(").append(std::to_string(slot.x1)).append(", ")
                    .append(std::to_string(slot.y1)).append(") - (").append(std::to_string(slot.x2))
                    .append(", ").append(std::to_string(slot.y2)).append(")");
            case 0x06:
            case 0x86: {
                const int width = cmd == 0x06 ? 2 : 4;
                slot.parts = 2;
                slot.partPos[0] = spuPos_ + be(area_, o + 1, width);
                slot.partPos[1] = spuPos_ + be(area_, o + 1 + static_cast<size_t>(width), width);
                const int digits = cmd == 0x06 ? 4 : 8;
                return "top: " + hexUpper(static_cast<uint64_t>(slot.partPos[0]), digits) +
                       ", bottom: " + hexUpper(static_cast<uint64_t>(slot.partPos[1]), digits);
            }
            case 0x83:
                rec.ctrlPalOffset = static_cast<int64_t>(o + 1);
                rec.palCount = 256;
                return {};
            case 0x84:
                rec.ctrlAlphaOffset = static_cast<int64_t>(o + 1);
                return {};
            default: return {};
        }
    }

    Context& ctx_;
    LoadState& st_;
    InputFile& f_;
    std::vector<uint8_t> area_;
    int pointer_ = 2;
    int64_t ctrl_ = 0;
    int64_t spuPos_ = 0;
    uint32_t pts_ = 0;
    uint32_t stm_ = 0;
};

}  // namespace

void readHDDVD(Context& ctx, LoadState& st) { HDDVDReader(ctx, st).run(); }

}  // namespace vantrel
