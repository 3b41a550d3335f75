// Helpers the SRT import and the text editor share: trimming, counting and placing lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/program.h"

namespace vantrel::srt_layout {

// Spaces and control characters at both ends removed.
std::string trimmed(std::string_view s);
// The number of lines a stored text has.
int32_t linesOf(const std::string& text);
// The horizontal place of a subtitle of `widest` pixels, centred and kept on the picture.
void centre(TSUPObject& slot, int pictureWidth, int widest);
// The width of the picture text subtitles are placed in.
int pictureWidth(const Program& p);

}  // namespace vantrel::srt_layout
