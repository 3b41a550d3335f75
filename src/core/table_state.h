// What a loaded table allows, which of the user's work in it is not saved yet, and keeping
// the open table when a new load fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/program.h"

namespace vantrel {

// The commands that work on the whole table, as the table allows them. Saving pictures and
// exporting need subtitles. Recognising them (OCR all, stepping between recognition errors)
// needs subtitles whose pictures the OCR reads: HD DVD and Blu-ray ones. DVD-style pictures
// are not read, and subtitles made from SRT text have their text already.
struct TableCommands {
    bool saveBitmaps = false;    // bSaveBMP
    bool exportStream = false;   // bExport
    bool ocr = false;            // bOCRall, and Prev/Next between recognition errors
};
TableCommands tableCommands(TableKind kind, size_t subtitles);

// Sets bSaveBMP, bExport and bOCRall from the table: every way a table comes or goes (a load,
// the end of a job, an SRT import) uses this one rule.
void allowTableCommands(Program& p);

// True while no OCR has read the subtitle and no hand has typed its text: the text is the
// reader's placeholder ("line 1", "line 2", ...).
inline bool awaitsOcr(const TSUP& s) { return s.font == kFontUndecided && s.locked == 0; }

// Digests of what the user can change in a table: the texts (with their font modes and
// locks) and the places of the subtitles on the screen.
uint64_t textsDigest(const std::vector<TSUP>& subs);
uint64_t layoutDigest(const std::vector<TSUP>& subs);

// Marks the table as it is now as saved: its texts (an SRT file was written), its layout (a
// stream was exported) or both (a table was just loaded or imported).
void markTextsSaved(Program& p);
void markLayoutSaved(Program& p);
void markTableSaved(Program& p);

// True when texts or places changed since they were last loaded or saved: a new load or
// import would lose them.
bool unsavedWork(const Program& p);

// The open table and what describes it, kept aside while a new load runs.
struct OpenTable {
    std::vector<TSUP> Subs;
    std::string BaseName;
    std::string streamFile;
    std::string openedFile;
    std::string extractedStream;
    std::string tableLanguage;
    bool languageFromName = false;
    int64_t streamSize = -1;
    int64_t streamModified = 0;
    bool truncated = false;
    int32_t CurSub = 0;
    TableKind SubKind = kDvdKind;
    VideoFormat video;
    std::vector<PaletteLink> palLinks;
    GlyphReview review;
    ControlStates controls;
    bool srtDirty = false;
    SavedWork saved;
};
OpenTable keepOpenTable(const Program& p);
// Puts a kept table back in place of what a failed load left; the file field names the
// file that is open again as the user opened it (a container, not the copy of its track;
// nothing for a table made from SRT text).
void restoreOpenTable(Program& p, OpenTable&& table);

}  // namespace vantrel
