// Setting text lines with the built-in glyph atlas.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/context.h"

namespace vantrel {

// Measures (draw = false) or draws (draw = true) one text line of subtitle Subs[sub] on the
// baseline of line lineNo (1 = bottom line). Returns the line's width when measuring.
int16_t DrawLine(Context& ctx, std::string_view line, uint8_t lineNo, uint16_t sub, bool draw);

}  // namespace vantrel
