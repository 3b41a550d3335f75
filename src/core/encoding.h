// Conversion between the program's single-byte Windows-1252 text and UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

std::string cp1252ToUtf8(std::string_view text);
// Characters without a Windows-1252 code become "?". Invalid UTF-8 bytes are taken as
// Windows-1252 bytes as they stand.
std::string utf8ToCp1252(std::string_view text);
// A file name as the platform gives it (UTF-8 as the user wrote it) for UTF-8 output; a
// name that is no valid UTF-8 is taken as Windows-1252.
std::string nameToUtf8(std::string_view platformName);
// True when the text is valid UTF-8 and holds at least one multi-byte sequence.
bool looksLikeUtf8(std::string_view text);

}  // namespace vantrel
