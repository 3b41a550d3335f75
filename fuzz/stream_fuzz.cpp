// libFuzzer target: loads arbitrary bytes as a stream file through both readers.
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/context.h"
#include "fuzz_input.h"
#include "platform/files.h"
#include "stream/load.h"
#include "support/recording_host.h"
#include "support/session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vantrel::fuzz::MemoryFile file;
    file.set(data, size);
    const std::string& path = file.path();
    vantrel::testing::TestSession session;
    auto& [host, msg, prog, opt, ctx] = session;
    opt.cbDetails = size % 2 == 0;   // both with and without the dump
    prog.eSUPfile = path;
    try {
        vantrel::Load(ctx);
    } catch (const vantrel::PlatformError&) {
        // A truncated stream ends with the read error; that is a clean end.
    }
    return 0;
}
