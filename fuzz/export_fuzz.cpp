// libFuzzer target: loads arbitrary bytes as a stream file, with settings taken from the
// input (see fuzz_input.h), and exports its first subtitles in both formats. The streams go
// to /dev/null: the writers run in full, nothing is kept.
#include <cstdint>

#include "core/context.h"
#include "export/writers.h"
#include "fuzz_input.h"
#include "platform/files.h"
#include "stream/load.h"

namespace {
constexpr size_t kMaxExported = 4;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vantrel::fuzz::MemoryFile file;
    vantrel::fuzz::Session s(file, data, size);
    vantrel::Program& prog = s.prog;
    vantrel::Context& ctx = s.ctx;
    prog.eSUPfile = file.path();
    try {
        vantrel::Load(ctx);
    } catch (const vantrel::PlatformError&) {
        // A truncated stream ends with the read error; the records read so far stay.
    }
    if (prog.Subs.size() > kMaxExported) prog.Subs.resize(kMaxExported);
    for (int format : {0, 1}) {
        try {
            if (format == 0) vantrel::expBD(ctx, "/dev/null");
            else vantrel::expHD(ctx, "/dev/null");
        } catch (const vantrel::PlatformError&) {
            // A fragment past the end of the file, or nothing to write.
        }
    }
    return 0;
}
