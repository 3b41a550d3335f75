// Names and plain texts inside log lines, which are read as bracket markup.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// A file or folder name for a log or status line: the platform's bytes as UTF-8 (a name that
// is no valid UTF-8 read as Windows-1252), with its brackets kept as text instead of read
// as markup.
std::string logName(std::string_view platformName);

// Plain text (an error message) for a log line: its brackets kept as text.
std::string logEscaped(std::string_view text);

}  // namespace vantrel
