// Loading a stream file into the subtitle table: format detection and the two readers.
#pragma once

#include <cstdint>
#include <string>

#include "core/context.h"
#include "platform/files.h"

namespace vantrel {

// What one load did.
enum class LoadResult {
    NoFile,       // the file name was empty
    Refused,      // another load was running
    Loaded,       // at least one subtitle
    NoSubtitles,  // a valid stream without subtitles
    Unsupported,  // neither "PG" nor "SP"
    FormatError,  // a reader found a malformed stream
};

// The state a reader shares with the load for one pass over the file.
struct LoadState {
    InputFile& file;
    int count = 0;
    bool formatError = false;
    // The file ends before the segment that starts at `truncatedAt` does.
    bool truncated = false;
    int64_t truncatedAt = 0;
    // Added to the table's base name: a container's track names its language and whether it
    // is forced (".eng", ".fre.forced"), so that outputs made from it say which track it was.
    std::string nameSuffix = {};
    // The language a container tags the loaded track with, or empty.
    std::string language = {};
};

// Blu-ray presentation graphics ("PG" segments).
void readBluRay(Context& ctx, LoadState& st);
// HD DVD and DVD-style subpictures ("SP" packets).
void readHDDVD(Context& ctx, LoadState& st);

// Loads the stream named in ctx.prog.eSUPfile. Platform errors (the file cannot be opened,
// a read past the end of a truncated file) propagate as PlatformError after the controls
// are put back; records made before such an error stay in the table. A stream whose last
// segment reaches past the end of the file keeps what was read, sets prog.truncated and
// says so in the log.
LoadResult Load(Context& ctx);

// The language code a stream's file name carries before its extension: "pol" in
// "film.pol.sup", "pl" in "film.pl.forced.sup"; empty when the part there is no two- or
// three-letter word.
std::string languageInFileName(const std::string& file);

// Upper-case hexadecimal with at least `digits` digits.
std::string hexUpper(uint64_t value, int digits);

// Reports a reader's format error: status badge, log line and an empty line; count := 0.
void reportFormatError(Context& ctx, LoadState& st);

}  // namespace vantrel
