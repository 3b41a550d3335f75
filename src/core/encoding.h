// The program's text is UTF-8. Conversion at the edges (Windows-1252 files, UTF-16 files,
// file names), and the characters of UTF-8 text one by one.
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
// Text from outside that should be UTF-8 (a file name, a setting written by an older
// version, a library's output): valid UTF-8 as it stands, anything else taken as Windows-1252.
std::string asUtf8(std::string_view text);
inline std::string nameToUtf8(std::string_view platformName) { return asUtf8(platformName); }
// True when the text is valid UTF-8 and holds at least one multi-byte sequence.
bool looksLikeUtf8(std::string_view text);
// True when every byte belongs to a valid UTF-8 sequence (the empty text too).
bool validUtf8(std::string_view text);

// Program text as the bytes of a file in `encoding` (UTF-8 without a byte-order mark).
// Characters Windows-1252 cannot hold become "?", counted in `unmapped` when given.
std::string encodeText(std::string_view text, TextEncoding encoding, size_t* unmapped = nullptr);

// The character at byte i of UTF-8 text, moving i past it. A byte that starts no valid
// sequence is one character, the Windows-1252 one of that byte, so no input is lost.
// i must be below text.size().
char32_t nextChar(std::string_view text, size_t& i);
// The characters of UTF-8 text (invalid bytes as nextChar takes them).
std::u32string toChars(std::string_view text);
// The first character, 0 for the empty text.
char32_t firstChar(std::string_view text);
// How many characters the text holds.
size_t charCount(std::string_view text);
void appendUtf8(std::string& out, char32_t c);
std::string toUtf8(std::u32string_view chars);
std::string toUtf8(char32_t c);
// The Windows-1252 byte of a character, or -1 when the code page has none.
int cp1252Byte(char32_t c);

// Letters of the scripts subtitles are written in (Latin with its European extensions, Greek,
// Cyrillic), digits, and their case.
enum class Script : uint8_t { None, Latin, Greek, Cyrillic };
Script scriptOf(char32_t c);
bool isLetter(char32_t c);
bool isDigit(char32_t c);
inline bool isLetterOrDigit(char32_t c) { return isLetter(c) || isDigit(c); }
bool isUpper(char32_t c);
bool isLower(char32_t c);
// The other case of a letter of these scripts; the character itself when it has none.
char32_t toLowerChar(char32_t c);
char32_t toUpperChar(char32_t c);
// The bytes of a text file as UTF-8 when they are Unicode: a byte-order mark of UTF-8 or
// UTF-16 (little- or big-endian, the mark chooses), or valid UTF-8 without a mark. Empty
// for anything else, which is Windows-1252 as it stands.
std::optional<std::string> unicodeTextAsUtf8(std::string_view bytes);
}  // namespace vantrel
