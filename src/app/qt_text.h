// Conversion between the program's single-byte text and Qt strings, and native file names.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vantrel::app {

// Program text (Windows-1252) to a Qt string. Text that is valid UTF-8 with at least one
// multi-byte sequence (a file name from the file system) is read as UTF-8 instead.
QString toQt(std::string_view text);
// Subtitle text (Windows-1252 whatever its bytes look like) to a Qt string: "Ã©" typed by
// the user must not come back as "é".
QString subtitleTextToQt(std::string_view text);
// A Qt string to program text; characters without a Windows-1252 code become "?".
std::string fromQt(const QString& text);

// File names as the file layer opens them (the platform's encoding) and back.
std::string nativePath(const QString& path);
QString displayPath(std::string_view path);

// A filter in the form "Description|*.a; *.b|Other|*.c" as a Qt dialog filter
// ("Description (*.a *.b);;Other (*.c)").
QString dialogFilter(std::string_view filter);

}  // namespace vantrel::app
