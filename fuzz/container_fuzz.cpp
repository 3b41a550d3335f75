// libFuzzer target: arbitrary bytes as a film container: the track listing with its packet
// count, then a load of the first picture track or of the track the last byte names.
#include <cstdint>
#include <string>

#include "core/context.h"
#include "fuzz_input.h"
#include "platform/files.h"
#include "stream/container.h"
#include "stream/load.h"
#include "support/recording_host.h"
#include "support/session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vantrel::fuzz::MemoryFile file;
    file.set(data, size);
    const std::string& path = file.path();
    try {
        vantrel::listTracks(path, true);
    } catch (const vantrel::PlatformError&) {
        // No container libavformat reads: refused with a message.
    }
    vantrel::testing::TestSession session;
    auto& [host, msg, prog, opt, ctx] = session;
    prog.track = size > 0 ? data[size - 1] % 4 - 1 : -1;
    prog.eSUPfile = path;
    try {
        vantrel::Load(ctx);
    } catch (const vantrel::PlatformError&) {
        // A truncated stream ends with the read error; that is a clean end.
    }
    return 0;
}
