// Timing a program as a whole process, for the benchmarks that set the command-line
// program beside other tools.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

// Runs the program once per iteration, its output into an unlinked temporary file and its
// log into /dev/null; returns the mean wall time from start to exit in seconds. posix_spawn
// starts it without copying this process's memory map, as a shell would.
inline double runProcess(benchmark::State& state, const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    double seconds = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        char outName[] = "/tmp/vantrel-bench-XXXXXX";
        const int out = mkstemp(outName);
        const int null = open("/dev/null", O_RDWR);
        if (out < 0 || null < 0) {
            state.SkipWithError("cannot open the output files");
            break;
        }
        unlink(outName);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, null, 0);
        posix_spawn_file_actions_adddup2(&actions, out, 1);
        posix_spawn_file_actions_adddup2(&actions, null, 2);
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        int status = -1;
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0)
            waitpid(pid, &status, 0);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++runs;
        posix_spawn_file_actions_destroy(&actions);
        struct stat st {};
        fstat(out, &st);
        close(out);
        close(null);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError((program + " failed").c_str());
            break;
        }
        state.counters["output_bytes"] = static_cast<double>(st.st_size);
    }
    return runs > 0 ? seconds / static_cast<double>(runs) : 0;
}

}  // namespace
