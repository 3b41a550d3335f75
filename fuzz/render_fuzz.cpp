// libFuzzer target: loads arbitrary bytes as a stream file and composes its first
// subtitles in one of the composer's modes, through the palette builder and the decoders.
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "core/context.h"
#include "fuzz_input.h"
#include "platform/files.h"
#include "render/composer.h"
#include "stream/load.h"
#include "support/recording_host.h"
#include "support/session.h"

namespace {
constexpr size_t kMaxSubtitles = 4;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vantrel::fuzz::MemoryFile file;
    file.set(data, size);
    const std::string& path = file.path();
    vantrel::testing::TestSession session;
    auto& [host, msg, prog, opt, ctx] = session;
    // The pictures are kept from one input to the next, as the program keeps them from one
    // subtitle to the next; allocating 20 MB per input would dominate the run.
    static vantrel::Pictures pictures;
    std::swap(prog.pics, pictures);
    struct GiveBack {
        vantrel::Pictures& from;
        vantrel::Pictures& to;
        ~GiveBack() { std::swap(from, to); }
    } giveBack{prog.pics, pictures};
    prog.eSUPfile = path;
    try {
        vantrel::Load(ctx);
    } catch (const vantrel::PlatformError&) {
        // A truncated stream ends with the read error; the records read so far stay.
    }

    // The last byte picks the mode and the display options, so every input reaches one.
    const uint8_t pick = size ? data[size - 1] : 0;
    switch (pick % 5) {
        case 1: prog.ocrRunning = true; break;
        case 2: prog.SavingPics = true; break;
        case 3: prog.ExportingBD = true; break;
        case 4: prog.ExportingHD = true; break;
        default: break;
    }
    opt.cbOCR = pick & 0x08;
    opt.cbBorders = pick & 0x10;
    opt.cbPalette = pick & 0x20;
    opt.ieCutLevel = 1 + (pick >> 6) * 80;
    vantrel::DrawSubView view;
    view.savePictures = [](vantrel::Context&, int32_t) {};

    const size_t count = prog.Subs.size() < kMaxSubtitles ? prog.Subs.size() : kMaxSubtitles;
    for (size_t n = 0; n <= count; ++n) {
        try {
            vantrel::DrawSub(ctx, static_cast<int32_t>(n), view);
        } catch (const vantrel::PlatformError&) {
            // A fragment or palette past the end of the file.
        }
    }
    return 0;
}
