// Process running for front-end tests.
#include "support/run_command.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

namespace vantrel::testing {
namespace {

std::string readAll(int fd) {
    std::string s;
    std::array<char, 4096> buf{};
    ssize_t n = 0;
    while ((n = read(fd, buf.data(), buf.size())) > 0) s.append(buf.data(), static_cast<size_t>(n));
    return s;
}

}  // namespace

CommandResult runCommand(const std::string& program, const std::vector<std::string>& args) {
    char outName[] = "/tmp/vantrel-out-XXXXXX";
    char errName[] = "/tmp/vantrel-err-XXXXXX";
    const int outFd = mkstemp(outName);
    const int errFd = mkstemp(errName);
    if (outFd < 0 || errFd < 0) throw std::runtime_error("mkstemp failed");
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    CommandResult r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    lseek(outFd, 0, SEEK_SET);
    lseek(errFd, 0, SEEK_SET);
    r.out = readAll(outFd);
    r.err = readAll(errFd);
    close(outFd);
    close(errFd);
    unlink(outName);
    unlink(errName);
    return r;
}

}  // namespace vantrel::testing
