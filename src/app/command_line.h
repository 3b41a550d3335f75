// The window program's own command-line options: usage and version, answered without a window.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::app {

// `args` are the arguments after the program name. "--help" or "-h" prints the usage and
// "--version" the version to `out` (status 0); any other word that starts with "-" and names
// no file prints the usage to `err` (status 2). Otherwise the window runs: no value.
std::optional<int> answerCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vantrel::app
