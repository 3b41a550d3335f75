// "ocr": loads a stream, recognises every subtitle and writes the SRT text; with --all-tracks
// every picture track of a container, and over several files or folders a batch (batch.cpp).
#include <filesystem>
#include <iostream>
#include <set>

#include "cli/batch.h"
#include "cli/cli.h"
#include "core/glyph_review.h"
#include "ocr/ocr_batch.h"
#include "ocr/table_language.h"
#include "platform/clock.h"
#include "stream/container.h"
#include "text/srt_writer.h"

namespace vantrel::cli {

namespace fs = std::filesystem;

int setUpOcrSession(const Args& args, Session& s) {
    if (!applySets(args, s.opt) || !applyTrack(args, s) || !applyOcrLanguage(args, s.opt, "ocr")) return kUsage;
    if (const auto engine = args.value("--engine")) {
        if (*engine == "learned") s.opt.ocrEngine = kOcrLearned;
        else if (*engine == "rules") s.opt.ocrEngine = kOcrRules;
        else {
            std::cerr << "vantrel-cli ocr: --engine is rules or learned, not " << *engine << '\n';
            return kUsage;
        }
    }
    if (const auto encoding = args.value("--srt-encoding")) {
        if (*encoding == "utf8") s.opt.coSrtEncoding = static_cast<int>(TextEncoding::Utf8);
        else if (*encoding == "cp1252") s.opt.coSrtEncoding = static_cast<int>(TextEncoding::Cp1252);
        else {
            std::cerr << "vantrel-cli ocr: --srt-encoding is utf8 or cp1252\n";
            return kUsage;
        }
    }
    preferOcrLanguageTrack(s);
    return useGlyphLibrary(args, s);
}

namespace {

double secondsSince(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Glyphs the learned engine could not name, counted where they stand; -1 for the rules
// engine, which keeps no such count.
int64_t unknownGlyphs(const Session& s) {
    if (s.opt.ocrEngine != kOcrLearned) return -1;
    int64_t n = 0;
    for (const ReviewGlyph& g : s.prog.glyphs.review.glyphs)
        if (!g.known) n += static_cast<int64_t>(g.places.size());
    return n;
}

// "#1 eng forced" for a container's track, "-" for a stream file.
std::string trackLabel(const Program& p) {
    if (p.loadedTrack < 0) return "-";
    std::string label(1, '#');
    label += std::to_string(p.loadedTrack);
    if (!p.tableLanguage.empty() && !p.languageFromName) label.append(" ").append(p.tableLanguage);
    const std::string forced = ".forced";
    if (p.BaseName.size() >= forced.size() && p.BaseName.compare(p.BaseName.size() - forced.size(), forced.size(), forced) == 0)
        label += " forced";
    return label;
}

// The last line the log or stderr said, for the table's reason of a failure.
std::string lastLine(const std::vector<std::string>& lines) {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (!it->empty()) return *it;
    return "see the log";
}

bool newerThan(const fs::path& a, const fs::path& b) {
    std::error_code ea, eb;
    const auto ta = fs::last_write_time(a, ea);
    const auto tb = fs::last_write_time(b, eb);
    return !ea && !eb && ta > tb;
}

// Reads one track of `file` (-1: the one --track, --lang or the default choice gives) and
// writes its SRT beside the file, named after the table ("film.eng.srt"); a name another
// track of this run took gets the track's number too. An SRT newer than the file is kept
// unless --force.
TrackOutcome readBeside(const Args& args, const std::string& file, int track, bool quiet,
                        const std::function<void(int, int)>& progress, std::set<std::string>& names) {
    const auto start = std::chrono::steady_clock::now();
    TrackOutcome r;
    r.file = file;
    Session s;
    s.host.quiet = quiet;
    s.host.onProgress = progress;
    auto fail = [&](const std::string& why) {
        s.host.flush();
        r.failed = true;
        r.result = "failed: " + why;
        if (quiet)
            for (const std::string& line : s.host.kept) std::cerr << line << '\n';
        r.seconds = secondsSince(start);
        return r;
    };
    if (setUpOcrSession(args, s) != kOk) return fail("the options are refused");
    if (track >= 0) s.prog.track = track;
    if (loadInput(s, file) != kOk) {
        s.host.flush();
        return fail(lastLine(s.host.kept));
    }
    r.track = trackLabel(s.prog);
    std::string name = s.prog.BaseName;
    if (names.count(name) && s.prog.loadedTrack >= 0) name.append(".").append(std::to_string(s.prog.loadedTrack));
    names.insert(name);
    const fs::path srt = fs::path(file).parent_path() / (name + ".srt");
    r.srt = srt.string();
    if (!args.has("--force") && newerThan(srt, file)) {
        r.skipped = true;
        r.result = "skipped: " + srt.filename().string() + " is newer";
        r.seconds = secondsSince(start);
        return r;
    }
    try {
        useTableLanguage(s.ctx);
        const OcrBatchResult ocr = ocrAll(s.ctx);
        if (ocr.refused || ocr.cancelled) return fail("the OCR did not run");
        SUP2Srt(s.ctx);
        saveSrt(s.ctx, r.srt);
    } catch (const std::exception& e) {
        s.host.kept.push_back(e.what());
        return fail(e.what());
    }
    s.host.flush();
    r.subtitles = static_cast<int>(s.prog.Subs.size());
    r.unknown = unknownGlyphs(s);
    r.result = "written " + srt.filename().string();
    r.seconds = secondsSince(start);
    return r;
}

}  // namespace

std::vector<TrackOutcome> readTracksBeside(const Args& args, const std::string& file, bool showProgress) {
    std::vector<int> tracks{-1};
    if (args.has("--all-tracks")) {
        try {
            if (isContainer(file)) {
                tracks.clear();
                for (const SubtitleTrack& t : listTracks(file, false).tracks)
                    if (t.picture) tracks.push_back(t.index);
                // A film without picture tracks fails on its load, which says what it holds.
                if (tracks.empty()) tracks.push_back(-1);
            }
        } catch (const PlatformError&) {
            // The load reports what is wrong with the file.
        }
    }
    std::optional<ProgressLine> line;
    if (showProgress) line.emplace("Reading " + fs::path(file).filename().string());
    std::vector<TrackOutcome> out;
    std::set<std::string> names;
    for (size_t i = 0; i < tracks.size(); ++i) {
        const auto progress = [&](int position, int maximum) {
            if (!line || maximum <= 0) return;
            const double part = static_cast<double>(position) / maximum;
            line->show((static_cast<double>(i) + part) / static_cast<double>(tracks.size()),
                       "track " + std::to_string(i + 1) + " of " + std::to_string(tracks.size()));
        };
        // Each track has a session and a log of its own; the one progress line covers them all.
        out.push_back(readBeside(args, file, tracks[i], showProgress, progress, names));
        if (line) line->show(static_cast<double>(i + 1) / static_cast<double>(tracks.size()),
                             std::to_string(i + 1) + " of " + std::to_string(tracks.size()) + " tracks done");
    }
    if (line) line->finish();
    return out;
}

namespace {

int runOcr(const Args& args) {
    if (args.positional.empty()) {
        std::cerr << "vantrel-cli ocr: a FILE or FOLDER is needed\n";
        return kUsage;
    }
    auto out = args.value("-o");
    if (!out) out = args.value("--output");
    bool batch = args.positional.size() > 1;
    for (const std::string& p : args.positional) batch = batch || fs::is_directory(p);
    if (args.has("--job")) return runOcrJob(args);
    if (batch || args.has("--all-tracks")) {
        if (out) {
            std::cerr << "vantrel-cli ocr: -o names one SRT; over several tracks or files each SRT is written "
                         "beside its source\n";
            return kUsage;
        }
        // The options are checked once here, so that each track does not refuse them again.
        Session check;
        if (const int status = setUpOcrSession(args, check); status != kOk) return status;
        if (batch) return runOcrBatch(args);
        const std::vector<TrackOutcome> done = readTracksBeside(args, args.positional[0], true);
        printOutcomes(done);
        for (const TrackOutcome& t : done)
            if (t.failed) return kFailed;
        return kOk;
    }

    Session s;
    if (const int status = setUpOcrSession(args, s); status != kOk) return status;
    const int status = loadInput(s, args.positional[0]);
    if (status != kOk) return status;

    useTableLanguage(s.ctx);
    ocrAll(s.ctx);
    SUP2Srt(s.ctx);
    if (out) {
        saveSrt(s.ctx, *out);
        s.host.flush();
    } else {
        s.host.flush();
        size_t unmapped = 0;
        const std::string text = srtFileText(s.prog.mSRT, static_cast<TextEncoding>(s.opt.coSrtEncoding), &unmapped);
        std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
        std::cout.flush();
        if (unmapped > 0)
            std::cerr << unmapped << " characters without a Windows-1252 code were written as \"?\"; "
                      << "write UTF-8 to keep them.\n";
    }
    return kOk;
}

const bool registered = registerSubcommand({
    "ocr",
    "ocr FILE|FOLDER... [-o OUT.srt] [--engine rules|learned] [--lang CODE] [--srt-encoding utf8|cp1252]"
    " [--forced-only] [--glyphs LIBRARY | --no-glyphs] [--track N] [--all-tracks] [-j N] [--force]",
    "Loads FILE, recognises the text of every subtitle and writes it as SubRip text\n"
    "(UTF-8 without a byte-order mark unless told otherwise, CR LF line ends) to OUT.srt,\n"
    "or to stdout without -o. Totals, the letter statistic and the language guess go to\n"
    "the log on stderr. OCR settings such as Language, Tags, CutLevel, C_Mul, C_Div,\n"
    "SpaceWidth and SpaceWmin come through --set.\n"
    "Without --lang (or --set OcrLang) the learned engine reads the language of the track\n"
    "or the one the file name carries (film.pol.sup, film.pl.sup) when it knows it.\n"
    "With several files or a FOLDER (read with its subfolders), every stream and container\n"
    "there is read, several at once, and each SRT is written beside its source, named after\n"
    "the track (film.eng.srt, film.fre.forced.srt); a table of what was done ends the run,\n"
    "whose exit status is 1 when any file failed.\n"
    "  -o, --output OUT  the SRT file to write (one FILE only)\n"
    "  --engine NAME     learned (the default: learns the stream's glyphs with Tesseract)\n"
    "                    or rules (the fixed shape rules); stored as OcrEngine\n"
    "  --lang CODE       language of the learned engine: eng (default), fra, deu, spa, ita,\n"
    "                    nld, por, their two-letter codes (en, fr, ...) or several joined\n"
    "                    with + (eng+fra); stored as OcrLang. A container's first picture\n"
    "                    track in that language is read.\n"
    "  --srt-encoding E  utf8 (the default) or cp1252 (Windows-1252); stored as SrtEncoding\n"
    "  --forced-only     recognise the forced subtitles only\n"
    "  --glyphs LIBRARY  the learned engine consults this glyph library before Tesseract\n"
    "                    instead of your own (~/.config/Corvane Labs/glyph-library.txt,\n"
    "                    taught on the window's Glyphs page)\n"
    "  --no-glyphs       consult no glyph library\n"
    "  --track N         the subtitle track of a container (MKV, M2TS, TS, MP4) to read, as\n"
    "                    `info FILE --tracks` lists them (default: the first picture track,\n"
    "                    or the first in the language of --set OcrLang when there is one)\n"
    "  --all-tracks      read every picture track of a container, each in its own language,\n"
    "                    into one SRT beside it per track\n"
    "  -j N              files read at once over several files (default: the processor cores)\n"
    "  --force           write the SRT even where one newer than its source is there\n",
    {"--forced-only", "--no-glyphs", "--all-tracks", "--force", "--job"},
    {"-o", "--output", "--engine", "--lang", "--srt-encoding", "--glyphs", "--track", "-j"},
    runOcr,
});

}  // namespace
}  // namespace vantrel::cli
