// Mapping pages ahead of their first write.
#include "platform/memory.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace vantrel {

void prepareForWriting(void* begin, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    static const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<uintptr_t>(begin);
    // Only the pages the range covers whole: the ones at its edges may hold other data in use.
    const uintptr_t first = (start + page - 1) / page * page;
    const uintptr_t end = (start + bytes) / page * page;
    // A kernel without the call refuses it; the pages then come with the writes as always.
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
    (void)begin;
    (void)bytes;
#endif
}

}  // namespace vantrel
