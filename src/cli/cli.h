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
    void setProgress(int, int) override {}
    void setTitle(std::string_view) override {}
    void flush();

private:
    std::optional<std::string> pending_;
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
};

// Applies the --set options; prints the error and returns false for an unknown name or value.
bool applySets(const Args& args, Options& opt);

// Takes --track N (a container's subtitle track, index as listed) into prog.track; prints
// the error and returns false for a value that is no track index.
bool applyTrack(const Args& args, Program& prog);

// The help line of --track, shared by the commands that load a file.
inline constexpr const char* kTrackHelp =
    "  --track N         the subtitle track of a container (MKV, M2TS, TS, MP4) to load, as\n"
    "                    `info FILE --tracks` lists them (default: the first picture track)\n";

// Loads the glyph library the learned engine consults: --glyphs FILE, none with --no-glyphs,
// else the user's own (a damaged one is skipped with a warning). Returns an exit status:
// kUsage for both options at once, kFailed for a FILE that cannot be read.
int useGlyphLibrary(const Args& args, Session& s);

// Loads FILE into the session as the window's Load does. Returns an exit status.
int loadInput(Session& s, const std::string& file);

}  // namespace vantrel::cli
