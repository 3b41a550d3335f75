// Shared pieces of the command-line front end: its host, arguments and subcommands.
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/context.h"

namespace vantrel::cli {

// Exit statuses of every subcommand.
// kTruncated: `info` read the stream, but it ends inside a segment.
enum Exit { kOk = 0, kFailed = 1, kUsage = 2, kTruncated = 3 };

// Prints the visible log to stderr. The last line is held back until the next one comes,
// because the log may replace it.
class CliHost : public Host {
public:
    ~CliHost() override { flush(); }
    void appendLogLine(const LogLine& line) override;
    void replaceLastLogLine(std::string_view text) override;
    void clearLog() override { pending_.reset(); }
    void setStatus(const StatusBar&) override {}
    void setProgress(int position, int maximum) override {
        if (onProgress) onProgress(position, maximum);
    }
    void setTitle(std::string_view) override {}
    void flush();
    // An error of the front end itself (UTF-8), printed and kept as the log lines are.
    void say(const std::string& text);

    // Every line printed, in UTF-8: the last one says why a run failed. A quiet host (a run
    // over several tracks) prints nothing and shows one progress line of its own instead.
    bool quiet = false;
    std::vector<std::string> kept;
    std::function<void(int, int)> onProgress;

private:
    std::optional<std::string> pending_;
};

// One line on stderr, rewritten in place, for a run over several tracks or files: what is
// done and the time left, estimated from the time taken so far.
class ProgressLine {
public:
    explicit ProgressLine(std::string what);
    // fraction: 0..1 of the whole run; done: the text before the time left.
    void show(double fraction, const std::string& done);
    void finish();

private:
    std::string what_;
    double start_ = 0;
    double shown_ = -1;
    size_t width_ = 0;
};

// Parsed arguments: positional words, flags ("--json"), valued options ("-o X", "--out X")
// and every "--set Name=Value".
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::vector<std::string> flags;
    std::vector<std::pair<std::string, std::string>> sets;
    bool help = false;

    bool has(const std::string& flag) const;
    std::optional<std::string> value(const std::string& name) const;
};

struct Subcommand {
    std::string name;
    std::string usage;      // first line of --help
    std::string help;       // the rest
    std::vector<std::string> flags;        // accepted flags without value
    std::vector<std::string> valued;       // accepted options with a value
    std::function<int(const Args&)> run;
};

// Every subcommand; each file of the front end adds its own through `registerSubcommand`.
std::vector<Subcommand>& subcommands();
bool registerSubcommand(Subcommand cmd);

// The program state one run of a subcommand works on.
struct Session {
    CliHost host;
    MessageLog msg{host};
    Program prog;
    Options opt;
    Context ctx{prog, opt, msg};
    // --lang: a container's first picture track in this language is loaded. Only preferred
    // when it is the OCR language set otherwise: without such a track the default one is.
    std::string trackLanguage;
    bool languagePreferred = false;
};

// Applies the --set options; prints the error and returns false for an unknown name or value.
bool applySets(const Args& args, Options& opt);

// Takes --track N (a container's subtitle track, index as listed) into prog.track and
// --lang CODE into s.trackLanguage; prints the error and returns false for a value that is
// no track index or language code.
bool applyTrack(const Args& args, Session& s);

// The help lines of --track and --lang, shared by the commands that load a file.
inline constexpr const char* kTrackHelp =
    "  --track N         the subtitle track of a container (MKV, M2TS, TS, MP4) to load, as\n"
    "                    `info FILE --tracks` lists them (default: the first picture track)\n"
    "  --lang CODE       the first picture track in this language (fre, fra or fr)\n";

// --lang CODE as the learned engine's language (which also picks the track, see applyTrack);
// prints the error and returns false for a language the OCR does not read.
bool applyOcrLanguage(const Args& args, Options& opt, const std::string& command);

// A command that reads text without --track or --lang prefers a container's track in the
// OCR language the user set (--set OcrLang=fra), falling back to the default track.
void preferOcrLanguageTrack(Session& s);

// True when two language codes name the same language: equal but for case, or the same
// language of the OCR in any of its forms ("fre", "fra", "fr").
bool sameLanguage(const std::string& a, const std::string& b);

// Loads the glyph library the learned engine consults: --glyphs FILE, none with --no-glyphs,
// else the user's own (a damaged one is skipped with a warning). Returns an exit status:
// kUsage for both options at once, kFailed for a FILE that cannot be read.
int useGlyphLibrary(const Args& args, Session& s);

// Loads FILE into the session as the window's Load does; a container's track is the one
// --track or --lang chose. Returns an exit status.
int loadInput(Session& s, const std::string& file);

}  // namespace vantrel::cli
