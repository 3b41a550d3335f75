// Glyph atlas text. (Placeholder until the atlas and its metrics land.)
#include "text/atlas.h"

namespace vantrel {

int16_t DrawLine(Context&, std::string_view, uint8_t, uint16_t, bool) { return 0; }

}  // namespace vantrel
