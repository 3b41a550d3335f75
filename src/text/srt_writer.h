// Writing the subtitle table as SubRip text.
#pragma once

#include <string>
#include <vector>

#include "core/context.h"

namespace vantrel {

// Rebuilds the SRT preview (prog.mSRT) from the table and clears srtDirty. A subtitle
// without a usable end time is written with its effective end, and the log says so.
void SUP2Srt(Context& ctx);

// The SRT preview as file content: Windows-1252 lines, each ended by CR LF.
std::string srtFileText(const std::vector<std::string>& lines);

// Writes the preview to `path` and logs "<path> subtitle saved.". Platform errors propagate.
void saveSrt(Context& ctx, const std::string& path);

}  // namespace vantrel
