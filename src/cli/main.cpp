// The headless front end: argument parsing and subcommand dispatch.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "cli/cli.h"
#include "core/encoding.h"
#include "core/version.h"
#include "ocr/learned/languages.h"
#include "ocr/learned/teacher.h"
#include "platform/files.h"
#include "stream/container.h"
#include "stream/load.h"
#include "text/atlas.h"
#include "text/srt_reader.h"

namespace vantrel::cli {

void CliHost::appendLogLine(const LogLine& line) {
    flush();
    pending_ = line.text;
}

void CliHost::replaceLastLogLine(std::string_view text) { pending_ = std::string(text); }

void CliHost::flush() {
    if (pending_) say(asUtf8(*pending_));
    pending_.reset();
}

void CliHost::say(const std::string& text) {
    kept.push_back(text);
    if (!quiet) std::cerr << text << '\n';
}

namespace {
double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
}  // namespace

ProgressLine::ProgressLine(std::string what) : what_(std::move(what)), start_(secondsNow()) {}

void ProgressLine::show(double fraction, const std::string& done) {
    const double now = secondsNow();
    // A few updates a second are enough to read.
    if (shown_ >= 0 && now - shown_ < 0.25 && fraction < 1) return;
    shown_ = now;
    std::string line = what_ + ": " + done;
    const double elapsed = now - start_;
    if (fraction > 0.001 && fraction < 1) {
        const auto left = static_cast<int64_t>(elapsed * (1 - fraction) / fraction + 0.5);
        char text[32];
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(left / 60), static_cast<long long>(left % 60));
        line += std::string(", time left ") + text;
    }
    const size_t width = line.size();
    if (line.size() < width_) line.append(width_ - line.size(), ' ');
    width_ = width;
    std::cerr << '\r' << line << std::flush;
}

void ProgressLine::finish() {
    if (shown_ >= 0) std::cerr << '\n';
    shown_ = -1;
}

bool applyOcrLanguage(const Args& args, Options& opt, const std::string& command) {
    const auto lang = args.value("--lang");
    if (!lang) return true;
    // A language the engine does not read is refused rather than read as another one.
    const auto code = ocrLanguageCode(*lang);
    if (!code) {
        std::cerr << "vantrel-cli " << command << ": --lang " << *lang << " is not a language the OCR reads; it knows "
                  << ocrLanguageList() << " (or their two-letter codes, joined with + for several)\n";
        return false;
    }
    opt.ocrLanguage = *code;
    opt.ocrLanguageChosen = true;
    return true;
}

void preferOcrLanguageTrack(Session& s) {
    if (!s.trackLanguage.empty() || !s.opt.ocrLanguageChosen || s.prog.track >= 0) return;
    s.trackLanguage = s.opt.ocrLanguage;
    s.languagePreferred = true;
}

bool Args::has(const std::string& flag) const {
    for (const auto& f : flags)
        if (f == flag) return true;
    return false;
}

std::optional<std::string> Args::value(const std::string& name) const {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

std::vector<Subcommand>& subcommands() {
    static std::vector<Subcommand> all;
    return all;
}

bool registerSubcommand(Subcommand cmd) {
    subcommands().push_back(std::move(cmd));
    return true;
}

bool applySets(const Args& args, Options& opt) {
    for (const auto& [name, value] : args.sets) {
        if (!findSetting(name)) {
            std::cerr << "Unknown setting: " << name << '\n';
            return false;
        }
        if (!setSetting(opt, name, value)) {
            std::cerr << "Invalid value for " << name << ": " << value << '\n';
            return false;
        }
        // A frame rate named on the command line wins over the one a stream carries.
        if (name == "Frame") opt.frameChosen = true;
        // So does an OCR language over the one a track carries.
        if (name == "OcrLang") opt.ocrLanguageChosen = true;
    }
    // Export, OCR and picture saving all take the forced subtitles only when asked.
    if (args.has("--forced-only")) opt.cbForcedOnly = true;
    return true;
}

bool sameLanguage(const std::string& a, const std::string& b) {
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    if (!a.empty() && lower(a) == lower(b)) return true;
    const auto code = ocrLanguageCode(a);
    return code && code == ocrLanguageCode(b);
}

bool applyTrack(const Args& args, Session& s) {
    if (const auto lang = args.value("--lang")) {
        const bool word = lang->size() >= 2 && lang->size() <= 3 &&
                          std::all_of(lang->begin(), lang->end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
        if (!word && !ocrLanguageCode(*lang)) {
            std::cerr << "Invalid language \"" << *lang << "\": a language is a code such as fre, fra or fr\n";
            return false;
        }
        s.trackLanguage = *lang;
    }
    const auto text = args.value("--track");
    if (!text) return true;
    Program& prog = s.prog;
    int n = -1;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), n);
    if (ec != std::errc() || end != text->data() + text->size() || n < 0) {
        std::cerr << "Invalid track number \"" << *text << "\": a track is a number from 0 as listed\n";
        return false;
    }
    prog.track = n;
    return true;
}

int loadInput(Session& s, const std::string& file) {
    fillLineY(s.prog, s.opt);
    std::string ext = fileExt(file);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    try {
        if (ext == ".SRT") {
            s.prog.BaseName = file;
            const int count = importSrt(s.ctx, file);
            s.host.flush();
            if (count < 1) {
                s.host.say("No subtitles found in " + file + ".");
                return kFailed;
            }
            return kOk;
        }
        if (!s.trackLanguage.empty() && s.prog.track < 0 && isContainer(file)) {
            // The first picture track in the language asked for; a film without one fails
            // rather than giving another language.
            const ContainerInfo info = listTracks(file, false);
            // "eng+fra" (the OCR reading two languages) takes a track in either.
            std::vector<std::string> wanted;
            for (size_t start = 0;;) {
                const size_t plus = s.trackLanguage.find('+', start);
                wanted.push_back(s.trackLanguage.substr(start, plus == std::string::npos ? plus : plus - start));
                if (plus == std::string::npos) break;
                start = plus + 1;
            }
            for (const SubtitleTrack& t : info.tracks)
                if (t.picture && s.prog.track < 0)
                    for (const std::string& w : wanted)
                        if (sameLanguage(t.language, w)) s.prog.track = t.index;
            if (s.prog.track < 0 && s.languagePreferred) {
                s.host.say("No picture subtitle track in " + s.trackLanguage + " in " + file +
                           ": the first picture track is read.");
            } else if (s.prog.track < 0) {
                std::string held;
                for (const SubtitleTrack& t : info.tracks) held += (held.empty() ? "" : ", ") + describeTrack(t, false);
                s.host.say("No picture subtitle track in " + s.trackLanguage + " in " + file +
                           "; it holds: " + (held.empty() ? "no subtitle track" : held));
                return kFailed;
            }
        }
        s.prog.eSUPfile = file;
        const LoadResult r = Load(s.ctx);
        s.host.flush();
        if (r == LoadResult::Unsupported || r == LoadResult::FormatError) return kFailed;
    } catch (const PlatformError& e) {
        s.host.flush();
        s.host.say(e.what());
        return kFailed;
    }
    return kOk;
}

namespace {

void printUsage(std::ostream& out) {
    out << "Usage: vantrel-cli COMMAND [options]\n\nCommands:\n";
    for (const auto& c : subcommands()) out << "  " << c.usage << '\n';
    out << "\nEvery command takes --set Name=Value (a stored setting) and --help.\n"
           "vantrel-cli --version prints the version.\n";
}

void printHelp(const Subcommand& c) {
    std::cout << "Usage: vantrel-cli " << c.usage << "\n\n" << c.help;
    std::cout << "  --set Name=Value  override a setting (for example --set Details=1)\n"
                 "  --help            show this text\n";
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
    for (const auto& x : v)
        if (x == s) return true;
    return false;
}

// Returns an error text, empty on success.
std::string parseArgs(const Subcommand& c, int argc, char** argv, Args& args) {
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            args.help = true;
        } else if (a == "--set") {
            if (i + 1 >= argc) return "--set needs Name=Value";
            const std::string kv = argv[++i];
            const size_t eq = kv.find('=');
            if (eq == std::string::npos || eq == 0) return "--set needs Name=Value, not \"" + kv + "\"";
            args.sets.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
        } else if (contains(c.valued, a)) {
            if (i + 1 >= argc) return a + " needs a value";
            args.values[a] = argv[++i];
        } else if (contains(c.flags, a)) {
            args.flags.push_back(a);
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option " + a;
        } else {
            args.positional.push_back(a);
        }
    }
    return {};
}

}  // namespace
}  // namespace vantrel::cli

int main(int argc, char** argv) {
    using namespace vantrel::cli;
    // Before anything starts a thread: Tesseract reads its thread limit when it loads.
    vantrel::limitTeacherThreads();
    if (argc < 2) {
        printUsage(std::cerr);
        return kUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(std::cout);
        return kOk;
    }
    if (name == "--version") {
        std::cout << "vantrel-cli " << vantrel::kVersionText << '\n';
        return kOk;
    }
    for (const auto& c : subcommands()) {
        if (c.name != name) continue;
        Args args;
        const std::string error = parseArgs(c, argc - 2, argv + 2, args);
        if (args.help) {
            printHelp(c);
            return kOk;
        }
        if (!error.empty()) {
            std::cerr << "vantrel-cli " << name << ": " << error << "\nUsage: vantrel-cli " << c.usage << '\n';
            return kUsage;
        }
        try {
            return c.run(args);
        } catch (const std::exception& e) {
            std::cerr << e.what() << '\n';
            return kFailed;
        }
    }
    std::cerr << "vantrel-cli: unknown command \"" << name << "\"\n";
    printUsage(std::cerr);
    return kUsage;
}
