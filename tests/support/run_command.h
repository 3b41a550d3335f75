// Runs a program of the build and captures its output, for front-end tests.
#pragma once

#include <string>
#include <vector>

namespace vantrel::testing {

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `program` with `args` (no shell quoting needed), stdin from /dev/null.
CommandResult runCommand(const std::string& program, const std::vector<std::string>& args);

}  // namespace vantrel::testing
