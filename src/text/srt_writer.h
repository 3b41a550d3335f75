// Writing the subtitle table as SubRip text.
#pragma once

#include <string>
#include <vector>

#include "core/context.h"
#include "core/encoding.h"

namespace vantrel {

// Rebuilds the SRT preview (prog.mSRT) from the table and clears srtDirty. A subtitle
// without a usable end time is written with its effective end, and the log says so.
void SUP2Srt(Context& ctx);

// The SRT preview as file content in `encoding` (UTF-8 without a byte-order mark, or
// Windows-1252), each line ended by CR LF. Characters Windows-1252 cannot hold become "?",
// counted in `unmapped` when given.
std::string srtFileText(const std::vector<std::string>& lines, TextEncoding encoding, size_t* unmapped = nullptr);

// Writes the preview to `path` in the encoding of the "SrtEncoding" setting and logs
// "<path> subtitle saved.", and how many characters Windows-1252 could not hold. Platform
// errors propagate.
void saveSrt(Context& ctx, const std::string& path);

}  // namespace vantrel
