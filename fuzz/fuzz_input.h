// Shared by the fuzz targets: an input split into settings and a file, and a file that lives
// only in memory, so that no run leaves anything behind in the file system.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <sys/mman.h>
#include <unistd.h>

#include "core/context.h"
#include "core/options.h"
#include "support/recording_host.h"
#include "support/session.h"

namespace vantrel::fuzz {

// An anonymous in-memory file, reached through its /proc/self/fd name like any file.
class MemoryFile {
public:
    MemoryFile() : fd_(memfd_create("vantrel-fuzz", 0)), path_("/proc/self/fd/" + std::to_string(fd_)) {}
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const std::string& path() const { return path_; }
    void set(const uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0) return;
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }

private:
    int fd_;
    std::string path_;
};

// An input that starts with "[General]" carries settings, one "Name=Value" a line as in the
// settings file, up to the first empty line; the rest is the file. Returns the file's part.
inline std::string_view applySettings(std::string_view input, Options& opt) {
    constexpr std::string_view head = "[General]\n";
    if (input.substr(0, head.size()) != head) return input;
    input.remove_prefix(head.size());
    while (!input.empty()) {
        const size_t end = input.find('\n');
        const std::string_view line = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        if (line.empty()) break;
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos) setSetting(opt, line.substr(0, eq), line.substr(eq + 1));
    }
    return input;
}

// The program state one input works on: the input's settings applied, the rest of it in `file`.
struct Session : vantrel::testing::TestSession {
    Session(MemoryFile& file, const uint8_t* data, size_t size) {
        const std::string_view body = applySettings(std::string_view(reinterpret_cast<const char*>(data), size), opt);
        file.set(reinterpret_cast<const uint8_t*>(body.data()), body.size());
    }
};

}  // namespace vantrel::fuzz
