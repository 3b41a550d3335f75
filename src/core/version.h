// The program's version as users see it: the window's caption, its About page and both
// programs' --version.
#pragma once

namespace vantrel {

inline constexpr const char* kVersionText = "0.53b2";

}  // namespace vantrel
