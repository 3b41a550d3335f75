// libFuzzer target: a VobSub pair in one input, the index's text up to the first zero byte
// and the ".sub" after it. The index is parsed, the ".sub" scanned, every listed unit read,
// checked and colour-mapped, and the "SP" stream they make loaded by the subpicture reader.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/context.h"
#include "fuzz_input.h"
#include "platform/files.h"
#include "stream/load.h"
#include "stream/vobsub.h"
#include "support/recording_host.h"
#include "support/session.h"

namespace {

// Reads the units an index lists (a bounded number, so that one input stays quick) and
// appends those the reader takes to `sp`.
void readUnits(vantrel::InputFile& sub, const vantrel::VobSubIndex& index, std::string& sp) {
    int budget = 256;
    for (const vantrel::VobSubTrack& t : index.tracks)
        for (const vantrel::VobSubEntry& e : t.entries) {
            if (--budget < 0) return;
            vantrel::SpuRead unit = vantrel::readVobSubUnit(sub, e.filepos, t.substream);
            if (unit.cut || !vantrel::spuReadable(unit.spu)) continue;
            const size_t size = unit.spu.size();
            vantrel::mapSpuColours(unit.spu, index.palette);
            // Mapping rewrites pixel codes only: the unit keeps its size and stays readable.
            if (unit.spu.size() != size || !vantrel::spuReadable(unit.spu)) __builtin_trap();
            vantrel::appendSpPacket(sp, static_cast<uint32_t>(e.pts), unit.spu);
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vantrel::fuzz::MemoryFile subFile;
    static vantrel::fuzz::MemoryFile spFile;
    const auto* zero = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t textSize = zero ? static_cast<size_t>(zero - data) : size;
    const std::string_view text(reinterpret_cast<const char*>(data), textSize);
    const size_t subStart = zero ? textSize + 1 : size;
    subFile.set(data + subStart, size - subStart);

    const vantrel::VobSubIndex index = vantrel::parseVobSubIndex(text);
    std::string sp;
    try {
        vantrel::InputFile sub(subFile.path());
        readUnits(sub, index, sp);
        bool cut = false;
        const vantrel::VobSubIndex scanned = vantrel::scanVobSub(sub, cut);
        readUnits(sub, scanned, sp);
    } catch (const vantrel::PlatformError&) {
        // A read error of the ".sub" ends it cleanly.
    }
    spFile.set(reinterpret_cast<const uint8_t*>(sp.data()), sp.size());
    vantrel::testing::TestSession session;
    session.prog.eSUPfile = spFile.path();
    try {
        vantrel::Load(session.ctx);
    } catch (const vantrel::PlatformError&) {
    }
    return 0;
}
