// Conversion between the program's single-byte Windows-1252 text and UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// The encodings a text file (SRT) is written in: the item index of the stored setting
// "SrtEncoding". Anything but Cp1252 counts as UTF-8.
enum class TextEncoding : int { Utf8 = 0, Cp1252 = 1 };

std::string cp1252ToUtf8(std::string_view text);
// Characters without a Windows-1252 code become "?". Invalid UTF-8 bytes are taken as
// Windows-1252 bytes as they stand.
std::string utf8ToCp1252(std::string_view text);
// True when the text is valid UTF-8 and holds at least one multi-byte sequence.
bool looksLikeUtf8(std::string_view text);

// Program text as the bytes of a file in `encoding` (UTF-8 without a byte-order mark).
std::string encodeText(std::string_view text, TextEncoding encoding);
// The bytes of a text file as program text. A byte-order mark chooses UTF-8 or UTF-16
// (little- or big-endian); without one, valid UTF-8 is read as UTF-8 and anything else as
// Windows-1252 as it stands. Characters without a Windows-1252 code become "?".
std::string decodeTextFile(std::string_view bytes);

}  // namespace vantrel
