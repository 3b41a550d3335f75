// Memory the program is about to fill.
#pragma once

#include <cstddef>

namespace vantrel {

// Maps the whole pages inside [begin, begin + bytes) ahead of their first write, in one call:
// written one after the other, each fresh page would cost a fault of its own, which on some
// machines costs more than filling the page. The contents stay as they are. Does nothing
// where the system offers no such call.
void prepareForWriting(void* begin, size_t bytes);

}  // namespace vantrel
