// libFuzzer target: checks arbitrary bytes as a Blu-ray stream, in memory and as a file. Both
// walks must agree, and every violation must name an offset inside the input.
#include <cstdint>
#include <cstdlib>

#include "fuzz_input.h"
#include "platform/files.h"
#include "stream/pgs_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vantrel::fuzz::MemoryFile file;
    file.set(data, size);
    const vantrel::CheckReport memory = vantrel::checkPgs(data, size);
    vantrel::CheckReport onDisk;
    try {
        onDisk = vantrel::checkPgsFile(file.path());
    } catch (const vantrel::PlatformError&) {
        std::abort();   // the file holds every byte the walk asks for
    }
    if (memory.segments != onDisk.segments || memory.violations.size() != onDisk.violations.size() ||
        memory.notes.size() != onDisk.notes.size())
        std::abort();
    for (size_t k = 0; k < memory.violations.size(); ++k) {
        const vantrel::CheckViolation& a = memory.violations[k];
        const vantrel::CheckViolation& b = onDisk.violations[k];
        if (a.offset != b.offset || a.rule != b.rule || a.message != b.message) std::abort();
        if (a.offset < 0 || (size > 0 && static_cast<size_t>(a.offset) >= size)) std::abort();
    }
    (void)vantrel::checkReportLines(memory);
    return 0;
}
