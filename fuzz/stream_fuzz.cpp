// libFuzzer target: loads arbitrary bytes as a stream file through both readers.
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "core/context.h"
#include "platform/files.h"
#include "stream/load.h"

namespace {
std::string tempPath() {
    const char* shm = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(shm) + "/vantrel-fuzz-" + std::to_string(getpid()) + ".sup";
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = tempPath();
    vantrel::writeWholeFile(path, data, size);
    vantrel::RecordingHost host;
    vantrel::MessageLog msg(host);
    vantrel::Program prog;
    vantrel::Options opt;
    opt.cbDetails = size % 2 == 0;   // both with and without the dump
    vantrel::Context ctx{prog, opt, msg};
    prog.eSUPfile = path;
    try {
        vantrel::Load(ctx);
    } catch (const vantrel::PlatformError&) {
        // A truncated stream ends with the read error; that is a clean end.
    }
    return 0;
}
