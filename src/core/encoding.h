// Conversion between the program's single-byte Windows-1252 text and UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// The encodings a text file (SRT) is written in: the item index of the stored setting
// "SrtEncoding". Anything but Cp1252 counts as UTF-8.
enum class TextEncoding : int { Utf8 = 0, Cp1252 = 1 };

std::string cp1252ToUtf8(std::string_view text);
// Characters without a Windows-1252 code become "?" (counted in `unmapped` when given).
// Invalid UTF-8 bytes are taken as Windows-1252 bytes as they stand.
std::string utf8ToCp1252(std::string_view text, size_t* unmapped = nullptr);
// A file name as the platform gives it (UTF-8 as the user wrote it) for UTF-8 output; a
// name that is no valid UTF-8 is taken as Windows-1252.
std::string nameToUtf8(std::string_view platformName);
// True when the text is valid UTF-8 and holds at least one multi-byte sequence.
bool looksLikeUtf8(std::string_view text);

// Program text as the bytes of a file in `encoding` (UTF-8 without a byte-order mark).
std::string encodeText(std::string_view text, TextEncoding encoding);
// The bytes of a text file as UTF-8 when they are Unicode: a byte-order mark of UTF-8 or
// UTF-16 (little- or big-endian, the mark chooses), or valid UTF-8 without a mark. Empty
// for anything else, which is Windows-1252 as it stands.
std::optional<std::string> unicodeTextAsUtf8(std::string_view bytes);
}  // namespace vantrel
