// The batch over files and folders: each file is read by a process of its own (this program
// again, with --job), so that every file has its own state and Tesseract teacher; up to -j
// run at once. The batch collects what each process printed into one table.
#include "cli/batch.h"
#include "stream/container.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace vantrel::cli {

namespace fs = std::filesystem;

namespace {

// The kinds of file a folder is searched for: streams and the containers read here. SRT
// files are left alone: they are what the batch writes.
bool readableName(const fs::path& file) {
    std::string ext = file.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const char* const kinds[] = {".sup", ".mkv", ".mka", ".mks", ".m2ts", ".mts", ".ts",
                                        ".mp4", ".m4v", ".vob", ".mpg", ".idx", ".sub"};
    if (!std::any_of(std::begin(kinds), std::end(kinds), [&ext](const char* k) { return ext == k; })) return false;
    // A VobSub pair is read once, through its index.
    return ext != ".sub" || !isVobSubDataBesideIndex(file.string());
}

// The files named and those under the folders named (their subfolders too), each once, the
// folders' in name order.
std::vector<std::string> collectFiles(const std::vector<std::string>& named, std::vector<std::string>& problems) {
    std::vector<std::string> files;
    for (const std::string& n : named) {
        std::error_code ec;
        if (!fs::is_directory(n, ec)) {
            files.push_back(n);
            continue;
        }
        std::vector<std::string> found;
        fs::recursive_directory_iterator it(n, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file(ec) && readableName(it->path())) found.push_back(it->path().string());
        if (ec) problems.push_back(n + ": " + ec.message());
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    std::vector<std::string> once;
    for (const std::string& f : files)
        if (std::find(once.begin(), once.end(), f) == once.end()) once.push_back(f);
    return once;
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.emplace_back();
    return fields;
}

constexpr const char* kJobMark = "vantrel-job";

// The arguments a job is given: every option of the batch but -j, for one file.
std::vector<std::string> jobArguments(const Args& args, const std::string& file) {
    std::vector<std::string> a{"vantrel-cli", "ocr", file, "--job"};
    for (const auto& [name, value] : args.values)
        if (name != "-j") a.insert(a.end(), {name, value});
    for (const std::string& f : args.flags) a.push_back(f);
    for (const auto& [name, value] : args.sets) a.insert(a.end(), {"--set", name + "=" + value});
    return a;
}

struct Job {
    std::string file;
    std::string out;
    std::string err;
    std::chrono::steady_clock::time_point start;
};

// Starts this program on one file with its stdout and stderr in files of the work folder.
pid_t startJob(const Args& args, Job& job) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, job.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, job.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::vector<std::string> words = jobArguments(args, job.file);
    std::vector<char*> argv;
    for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    job.start = std::chrono::steady_clock::now();
    const int r = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return r == 0 ? pid : -1;
}

std::vector<std::string> readLines(const std::string& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// The rows a finished job printed; a job that printed none failed with the last line it
// wrote on stderr, or the way it ended.
std::vector<TrackOutcome> collectJob(const Job& job, int status) {
    std::vector<TrackOutcome> rows;
    for (const std::string& line : readLines(job.out)) {
        const std::vector<std::string> f = splitTabs(line);
        if (f.size() != 9 || f[0] != kJobMark) continue;
        TrackOutcome t;
        t.file = job.file;
        t.track = f[1];
        t.srt = f[2];
        t.subtitles = std::atoi(f[3].c_str());
        t.unknown = std::atoll(f[4].c_str());
        t.seconds = std::atof(f[5].c_str());
        t.skipped = f[6] == "1";
        t.failed = f[7] == "1";
        t.result = f[8];
        rows.push_back(std::move(t));
    }
    const bool clean = WIFEXITED(status) && (WEXITSTATUS(status) == kOk || WEXITSTATUS(status) == kFailed);
    if (rows.empty() || !clean) {
        TrackOutcome t;
        t.file = job.file;
        t.failed = true;
        t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - job.start).count();
        std::string why;
        for (const std::string& line : readLines(job.err))
            if (!line.empty()) why = line;
        if (WIFSIGNALED(status)) why = "ended by signal " + std::to_string(WTERMSIG(status));
        else if (why.empty()) why = "exit status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        t.result = "failed: " + oneLine(why);
        rows.push_back(std::move(t));
    }
    return rows;
}

int jobCount(const Args& args) {
    if (const auto j = args.value("-j")) {
        char* end = nullptr;
        const long n = std::strtol(j->c_str(), &end, 10);
        if (end == j->c_str() || *end != '\0' || n < 1 || n > 256) return -1;
        return static_cast<int>(n);
    }
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// A work folder of its own for the jobs' output, removed at the end.
struct WorkFolder {
    fs::path path;
    WorkFolder() {
        std::random_device rd;
        for (int i = 0; i < 100 && path.empty(); ++i) {
            const fs::path p = fs::temp_directory_path() / ("vantrel-batch-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
            std::error_code ec;
            if (fs::create_directory(p, ec)) path = p;
        }
        if (path.empty()) throw std::runtime_error("No work folder can be made in " + fs::temp_directory_path().string() + ".");
    }
    ~WorkFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string secondsText(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", s);
    return text;
}

}  // namespace

void printOutcomes(const std::vector<TrackOutcome>& rows) {
    std::vector<std::vector<std::string>> cells{{"file", "track", "subtitles", "unknown glyphs", "seconds", "result"}};
    for (const TrackOutcome& t : rows) {
        const bool read = !t.failed && !t.skipped;
        cells.push_back({t.file, t.track, read ? std::to_string(t.subtitles) : "-",
                         read && t.unknown >= 0 ? std::to_string(t.unknown) : "-", secondsText(t.seconds), t.result});
    }
    std::vector<size_t> width(cells[0].size(), 0);
    for (const auto& row : cells)
        for (size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
    for (const auto& row : cells) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line.append(width[i] - row[i].size() + 2, ' ');
        }
        std::cout << line << '\n';
    }
    std::cout.flush();
}

int runOcrJob(const Args& args) {
    if (args.positional.size() != 1) {
        std::cerr << "vantrel-cli ocr --job: one FILE is needed\n";
        return kUsage;
    }
    bool failed = false;
    for (const TrackOutcome& t : readTracksBeside(args, args.positional[0], false)) {
        failed = failed || t.failed;
        std::cout << kJobMark << '\t' << oneLine(t.track) << '\t' << oneLine(t.srt) << '\t' << t.subtitles << '\t'
                  << t.unknown << '\t' << secondsText(t.seconds) << '\t' << (t.skipped ? 1 : 0) << '\t'
                  << (t.failed ? 1 : 0) << '\t' << oneLine(t.result) << '\n';
    }
    std::cout.flush();
    return failed ? kFailed : kOk;
}

int runOcrBatch(const Args& args) {
    const int parallel = jobCount(args);
    if (parallel < 0) {
        std::cerr << "vantrel-cli ocr: -j is a number of files from 1 to 256\n";
        return kUsage;
    }
    std::vector<std::string> problems;
    const std::vector<std::string> files = collectFiles(args.positional, problems);
    for (const std::string& p : problems) std::cerr << "Not all of " << p << '\n';
    if (files.empty()) {
        std::cerr << "No stream or container found in what was named.\n";
        return kFailed;
    }
    WorkFolder work;
    std::map<pid_t, size_t> running;
    std::vector<Job> jobs(files.size());
    std::vector<std::vector<TrackOutcome>> outcomes(files.size());
    ProgressLine line("Reading " + std::to_string(files.size()) + " files");
    size_t next = 0, done = 0;
    auto show = [&] {
        line.show(static_cast<double>(done) / static_cast<double>(files.size()),
                  std::to_string(done) + "/" + std::to_string(files.size()) + " files done");
    };
    show();
    while (done < files.size()) {
        while (next < files.size() && running.size() < static_cast<size_t>(parallel)) {
            Job& job = jobs[next];
            job.file = files[next];
            job.out = (work.path / (std::to_string(next) + ".out")).string();
            job.err = (work.path / (std::to_string(next) + ".err")).string();
            const pid_t pid = startJob(args, job);
            if (pid < 0) {
                TrackOutcome t;
                t.file = job.file;
                t.failed = true;
                t.result = "failed: the reading process could not be started";
                outcomes[next].push_back(t);
                ++done;
            } else {
                running[pid] = next;
            }
            ++next;
        }
        if (running.empty()) continue;
        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, 0);
        if (pid < 0) {
            if (errno == EINTR) continue;
            break;
        }
        const auto it = running.find(pid);
        if (it == running.end()) continue;
        outcomes[it->second] = collectJob(jobs[it->second], status);
        running.erase(it);
        ++done;
        show();
    }
    line.finish();
    std::vector<TrackOutcome> rows;
    bool failed = !problems.empty();
    for (const auto& o : outcomes)
        for (const TrackOutcome& t : o) {
            failed = failed || t.failed;
            rows.push_back(t);
        }
    printOutcomes(rows);
    return failed ? kFailed : kOk;
}

}  // namespace vantrel::cli
