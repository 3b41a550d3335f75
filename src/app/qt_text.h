// Conversion between the program's UTF-8 text and Qt strings, and native file names.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vantrel::app {

// Program text (UTF-8) to a Qt string; bytes that are no valid UTF-8 (a name from an older
// file) are read as Windows-1252.
QString toQt(std::string_view text);
// Subtitle text to a Qt string, as toQt: "Ã©" typed by the user stays "Ã©".
QString subtitleTextToQt(std::string_view text);
// A Qt string to program text: every character is kept.
std::string fromQt(const QString& text);

// File names as the file layer opens them (the platform's encoding) and back.
std::string nativePath(const QString& path);
QString displayPath(std::string_view path);

// A filter in the form "Description|*.a; *.b|Other|*.c" as a Qt dialog filter
// ("Description (*.a *.b);;Other (*.c)").
QString dialogFilter(std::string_view filter);

}  // namespace vantrel::app
