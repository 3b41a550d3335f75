// "ocr" over several tracks, files and folders: what each track gave, and the batch that
// reads many files at once in processes of their own.
#pragma once

#include <string>
#include <vector>

#include "cli/cli.h"

namespace vantrel::cli {

// What reading one track into its SRT did: a row of the table that ends the run.
struct TrackOutcome {
    std::string file;
    std::string track = "-";     // "#1 eng forced" for a container's track
    std::string srt;
    int subtitles = 0;
    int64_t unknown = 0;         // glyphs left unknown (-1: the engine keeps no count)
    double seconds = 0;
    bool skipped = false;
    bool failed = false;
    std::string result;          // "written film.eng.srt", "skipped: ...", "failed: why"
};

// Applies every option of the ocr command to a session. Returns an exit status.
int setUpOcrSession(const Args& args, Session& s);

// Reads `file` (every picture track of it with --all-tracks) into SRT files beside it; with
// showProgress one progress line on stderr covers the tracks and their logs are kept quiet
// (shown when a track fails).
std::vector<TrackOutcome> readTracksBeside(const Args& args, const std::string& file, bool showProgress);

// The table: file, track, subtitles, unknown glyphs, seconds and what was done.
void printOutcomes(const std::vector<TrackOutcome>& rows);

// The batch over the positional files and folders, -j N at once. Returns kFailed when any
// file failed, after all were done.
int runOcrBatch(const Args& args);

// One file of a batch in its own process (--job): reads it as readTracksBeside does and
// prints each outcome as one tab-separated line on stdout for the batch to collect.
int runOcrJob(const Args& args);

}  // namespace vantrel::cli
