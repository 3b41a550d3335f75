// Text correction: subtitle text <-> editor lines, and the I/l replacement tables.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// A subtitle text ("line one|line two") as editor lines.
std::vector<std::string> TxtToLines(std::string_view text);
// Editor lines joined back into a subtitle text.
std::string LinesToTxt(const std::vector<std::string>& lines);

}  // namespace vantrel
