// libFuzzer target: imports arbitrary bytes as an SRT file, with settings taken from the
// input (see fuzz_input.h), and draws the first subtitles with the glyph atlas.
#include <algorithm>
#include <cstdint>

#include "core/context.h"
#include "fuzz_input.h"
#include "platform/files.h"
#include "render/composer.h"
#include "text/atlas.h"
#include "text/srt_reader.h"

namespace {
constexpr size_t kMaxDrawn = 3;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vantrel::fuzz::MemoryFile file;
    vantrel::fuzz::Session s(file, data, size);
    vantrel::Program& prog = s.prog;
    vantrel::Context& ctx = s.ctx;
    vantrel::fillLineY(prog, s.opt);
    prog.BaseName = file.path();
    try {
        vantrel::importSrt(ctx, file.path());
    } catch (const vantrel::PlatformError&) {
        return 0;
    }
    vantrel::DrawSubView view;
    view.savePictures = [](vantrel::Context&, int32_t) {};
    const size_t drawn = std::min(prog.Subs.size(), kMaxDrawn);
    for (size_t n = 1; n <= drawn; ++n) vantrel::DrawSub(ctx, static_cast<int32_t>(n), view);
    return 0;
}
