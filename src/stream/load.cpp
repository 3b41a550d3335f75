// The load operation: opens the stream, picks the reader by the first two bytes, and sets
// up the table and the job controls around it.
#include "stream/load.h"

#include <cstdio>
#include <utility>

#include "core/log_names.h"
#include "core/table_state.h"
#include "stream/container.h"

namespace vantrel {

std::string hexUpper(uint64_t value, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(value));
    return buf;
}

void reportFormatError(Context& ctx, LoadState& st) {
    const std::string message = "Subpicture format error at line " + std::to_string(st.count);
    ctx.msg.erslog(message);
    ctx.msg.log2(message);
    st.count = 0;
    st.formatError = true;
}

namespace {

// A cut stream loads what it holds, but the user must learn that its end is missing. The
// empty line after it is the one the count of subtitles loaded takes the place of.
void reportTruncated(Context& ctx, const LoadState& st) {
    ctx.prog.truncated = true;
    ctx.msg.log("[re]The stream ends inside a segment at byte " + std::to_string(st.truncatedAt) +
                ": the last subtitle may be incomplete.[/re]");
    ctx.msg.log("");
}

// Steps after the reader: hide the progress, set up the navigator and the export buttons.
void finishLoad(Context& ctx, const std::string& fileName, int count) {
    Program& p = ctx.prog;
    ControlStates& c = p.controls;
    c.ProgressBar = false;
    c.WebLink = true;
    c.bCancel = false;
    c.mSRT = true;
    c.udSubsMax = count;
    ctx.host().controlsChanged(c);
    if (count < 1) {
        c.ieSubs = 0;
        p.Subs.clear();
        // Nothing is left to recognise, save or export: a command that needs a table must
        // not act on the empty one (an export would write an empty file and report "Done.").
        allowTableCommands(p);
        ctx.host().controlsChanged(c);
        ctx.host().displaySubtitle(0);
    } else {
        p.BaseName = CutExt(fileNameOnly(fileName));
        c.ieSubs = 1;
        ctx.msg.slog2("Ready", "");
        ctx.msg.logn(std::to_string(count) + " subtitles loaded.");
        ctx.msg.log("");
        allowTableCommands(p);
        ctx.host().controlsChanged(c);
        ctx.host().displaySubtitle(1);
    }
    p.srtDirty = true;
}

}  // namespace

std::string languageInFileName(const std::string& file) {
    std::string name = fileNameOnly(file);
    // The extension goes, then a "forced" mark: what is left before them is the language.
    auto lastPart = [&name]() -> std::string {
        const size_t dot = name.rfind('.');
        if (dot == std::string::npos) return {};
        std::string part = name.substr(dot + 1);
        name.erase(dot);
        return part;
    };
    lastPart();
    std::string part = lastPart();
    if (part == "forced" || part == "FORCED") part = lastPart();
    if (part.size() < 2 || part.size() > 3) return {};
    for (char& c : part) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return {};
        c = static_cast<char>(c | 0x20);
    }
    return part;
}

LoadResult Load(Context& ctx) {
    Program& p = ctx.prog;
    const std::string name = p.eSUPfile;
    if (name.empty()) {
        p.srtDirty = true;
        return LoadResult::NoFile;
    }
    if (p.Loading) return LoadResult::Refused;
    if (ctx.opt.cbAutoClear) ctx.msg.clear();

    InputFile file(name);
    p.streamFile = name;
    p.openedFile = name;
    p.loadedTrack = -1;
    p.tableLanguage.clear();
    p.languageFromName = false;
    p.streamSize = file.size();
    p.streamModified = file.modified();
    p.truncated = false;
    p.Loading = true;
    struct LoadingFlag {
        bool& flag;
        ~LoadingFlag() { flag = false; }
    } loadingGuard{p.Loading};

    ctx.msg.slog("Loading " + logName(fileNameOnly(name)), 0);
    ctx.msg.log(logName(name) + " loading");
    p.controls.mSRT = false;
    // A file shorter than its marker is no stream of either kind.
    const uint16_t marker = file.size() >= 2 ? file.readWord() : 0;
    p.controls.ProgressBar = true;
    p.controls.WebLink = false;
    p.controls.bCancel = true;
    p.Cancel = false;
    ctx.host().setProgress(0, 100);
    ctx.host().controlsChanged(p.controls);
    file.seek(0);

    // The table is rebuilt from empty by whichever reader runs; the memory of a larger table
    // loaded before goes back.
    p.Subs.clear();
    p.Subs.shrink_to_fit();
    // The copy of a container's track the open table reads from stays until a new table
    // takes its place: the window keeps the open table when the new file fails to load.
    const std::string previousCopy = std::exchange(p.extractedStream, std::string());
    auto settleCopies = [&](bool replaced) {
        std::string keep = replaced ? p.extractedStream : previousCopy;
        if (replaced) p.extractedStream = previousCopy;
        dropExtractedStream(p);
        p.extractedStream = std::move(keep);
    };
    p.video = {};
    p.palLinks.clear();
    p.glyphs.review = {};
    LoadState st{file};
    LoadResult result = LoadResult::Loaded;
    try {
        if (marker == 0x5350) {
            ctx.msg.log2("HD DVD (DVD) subtitle found.");
            readHDDVD(ctx, st);
        } else if (marker == 0x5047) {
            p.SubKind = kBluRayKind;
            ctx.msg.log2("Blu-ray presentation graphics found.");
            readBluRay(ctx, st);
        } else if (isContainer(name)) {
            result = readContainer(ctx, st, name);
        } else {
            ctx.msg.erlog("Unsupported file format.");
            result = LoadResult::Unsupported;
        }
    } catch (...) {
        // A read past the end of a truncated file: keep what was read so far.
        finishLoad(ctx, name, static_cast<int>(p.Subs.size()));
        settleCopies(!p.Subs.empty());
        throw;
    }
    if (st.formatError) result = LoadResult::FormatError;
    else if (result == LoadResult::Loaded && st.count < 1) result = LoadResult::NoSubtitles;
    if (st.truncated && !st.formatError) reportTruncated(ctx, st);
    finishLoad(ctx, name, st.count);
    if (st.count > 0) {
        p.BaseName += st.nameSuffix;
        p.tableLanguage = st.language;
        if (p.tableLanguage.empty()) {
            p.tableLanguage = languageInFileName(name);
            p.languageFromName = !p.tableLanguage.empty();
        }
    }
    settleCopies(result != LoadResult::Unsupported && result != LoadResult::FormatError &&
                 result != LoadResult::NoSubtitles);
    return result;
}

}  // namespace vantrel
