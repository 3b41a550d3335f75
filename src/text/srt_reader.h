// Importing SubRip files, and editing subtitle texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/context.h"

namespace vantrel {

// The leading number of a text: blanks skipped, an optional sign, decimal digits or
// hexadecimal ones after "$", "x" or "0x"; what was read before the first other character.
// A minus sign counts only when the whole text is a number.
int32_t leadingNumber(std::string_view text);

// "hh:mm:ss,zzz" as 90 kHz ticks; missing digits count as 0.
uint32_t txt2ptm(std::string_view text);

// The lines of an SRT file's bytes as UTF-8 text: UTF-8 (with or without its byte-order
// mark) and UTF-16 with its mark are taken as Unicode, anything else as Windows-1252.
// Lines end at CR LF, LF or CR.
std::vector<std::string> srtLines(const std::vector<uint8_t>& bytes);

// Imports the SRT file `path` into the table as text subtitles (SubKind 3). Returns the
// number of subtitles imported, -1 when refused because another job or a load runs. Runs
// as one job. A file without any cue leaves the table empty and export and saving
// disabled. Platform errors (the file cannot be read) propagate.
int importSrt(Context& ctx, const std::string& path);

// Editor handlers. They do nothing while the table is empty or CurSub is out of range.
// Typing: the text is stored and locked, the SRT preview goes stale.
void mSubtextChange(Context& ctx, const std::vector<std::string>& editorLines);
// Leaving the editor: for SRT-made tables the subtitle is measured and centred again, and
// shown again.
void mSubtextExit(Context& ctx, const std::vector<std::string>& editorLines);
void cbLockClick(Context& ctx, bool checked);

}  // namespace vantrel
