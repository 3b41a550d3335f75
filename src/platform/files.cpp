// File operations over stdio and the POSIX file system.
#include "platform/files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {
namespace {
// The largest read into the buffer: while reading on, fewer and larger reads cost less per
// byte (a call costs as much as copying several pages).
constexpr size_t kReadBuffer = 256 * 1024;
// A skip forward over less than this reads through what it skips; a longer one jumps.
constexpr int64_t kReadThrough = 64 * 1024;
// The first read after a jump: a run of segment headers fits.
constexpr size_t kFirstWindow = 512;

int64_t modifiedNs(const struct stat& st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}
}  // namespace

PlatformError cannotOpen(std::string_view name, std::string_view reason) {
    return PlatformError("Cannot open file \"" + std::string(name) + "\". " + std::string(reason));
}

PlatformError streamReadError() { return PlatformError("Stream read error"); }

InputFile::InputFile(const std::string& name) : name_(name), buf_(new uint8_t[kReadBuffer]) {
    // Opened without blocking, so that a FIFO without a writer does not hang here before the
    // type check below can refuse it.
    fd_ = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) throw cannotOpen(name, std::strerror(errno));
    struct stat st {};
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        ::close(fd_);
        throw cannotOpen(name, S_ISDIR(st.st_mode) ? "Is a directory"
                               : st.st_mode != 0  ? "Not a regular file"
                                                  : std::strerror(err));
    }
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = st.st_size;
    modified_ = modifiedNs(st);
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

void InputFile::seek(int64_t offset) {
    if (offset < 0) offset = 0;
    pos_ = offset;
}

size_t InputFile::readAt(int64_t offset, uint8_t* dst, size_t n) {
    size_t done = 0;
    while (done < n && offset + static_cast<int64_t>(done) < size_) {
        const ssize_t got = ::pread(fd_, dst + done, n - done, static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

bool InputFile::fill(size_t want) {
    if (pos_ >= size_) return false;
    // Reading on from the buffer's end doubles the window, and so does a skip forward over
    // less than kReadThrough (a walk over segment headers that skips the payloads): one larger
    // read then covers the headers of several segments. A jump elsewhere starts small again,
    // with room for what the caller asked.
    const int64_t bufEnd = bufStart_ + static_cast<int64_t>(bufLen_);
    const bool onward = bufLen_ > 0 && pos_ >= bufEnd && pos_ - bufEnd < kReadThrough;
    window_ = onward ? std::min(window_ * 2, kReadBuffer) : kFirstWindow;
    window_ = std::min(std::max(window_, want), kReadBuffer);
    bufStart_ = pos_;
    bufLen_ = readAt(pos_, buf_.get(), window_);
    return bufLen_ > 0;
}

size_t InputFile::read(void* dst, size_t n) {
    auto* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    while (done < n) {
        if (pos_ < bufStart_ || pos_ >= bufStart_ + static_cast<int64_t>(bufLen_)) {
            // Large reads bypass the buffer.
            if (n - done >= static_cast<size_t>(kReadThrough)) {
                const size_t got = readAt(pos_, out + done, n - done);
                pos_ += static_cast<int64_t>(got);
                done += got;
                break;
            }
            if (!fill(n - done)) break;
        }
        const auto offset = static_cast<size_t>(pos_ - bufStart_);
        const size_t take = std::min(n - done, bufLen_ - offset);
        std::memcpy(out + done, buf_.get() + offset, take);
        done += take;
        pos_ += static_cast<int64_t>(take);
    }
    return done;
}

void InputFile::readExact(void* dst, size_t n) {
    if (static_cast<uint64_t>(n) > static_cast<uint64_t>(std::max<int64_t>(0, remaining())))
        throw streamReadError();
    if (read(dst, n) != n) throw streamReadError();
}

uint8_t InputFile::readByte() {
    if (pos_ >= bufStart_ && pos_ < bufStart_ + static_cast<int64_t>(bufLen_)) {
        return buf_[static_cast<size_t>(pos_++ - bufStart_)];
    }
    uint8_t b = 0;
    readExact(&b, 1);
    return b;
}

uint16_t InputFile::readWord() {
    const uint16_t hi = readByte();
    return static_cast<uint16_t>((hi << 8) | readByte());
}

uint32_t InputFile::read24() {
    uint32_t v = readByte();
    v = (v << 8) | readByte();
    return (v << 8) | readByte();
}

uint32_t InputFile::readDWord() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | readByte();
    return v;
}

uint32_t InputFile::readDWordLE() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(readByte()) << (8 * i);
    return v;
}

OutputFile::OutputFile(const std::string& name) : name_(name) {
    struct stat st {};
    const bool exists = stat(name.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) throw cannotOpen(name, "Is a directory");
    if (!exists || S_ISREG(st.st_mode)) {
        // Beside the target, so that the final rename stays on one file system.
        temp_ = name + ".part" + std::to_string(getpid());
    }
    f_ = std::fopen(temp_.empty() ? name.c_str() : temp_.c_str(), "wb");
    if (!f_) throw cannotOpen(name, std::strerror(errno));
    // A replaced file keeps its permissions.
    if (exists && !temp_.empty()) fchmod(fileno(f_), st.st_mode & 07777);
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
    if (f_) std::fclose(f_);
    f_ = nullptr;
    if (!temp_.empty()) std::remove(temp_.c_str());
    temp_.clear();
}

void OutputFile::write(const void* data, size_t n) {
    if (!f_) throw PlatformError("File \"" + name_ + "\" is closed");
    if (n && std::fwrite(data, 1, n, f_) != n)
        throw PlatformError("Cannot write file \"" + name_ + "\". " + std::strerror(errno));
}

void OutputFile::close() {
    if (!f_) return;
    bool ok = std::fflush(f_) == 0 && !std::ferror(f_);
    int err = errno;
    if (std::fclose(f_) != 0 && ok) {
        ok = false;
        err = errno;
    }
    f_ = nullptr;
    if (ok && !temp_.empty() && std::rename(temp_.c_str(), name_.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        discard();
        throw PlatformError("Cannot write file \"" + name_ + "\". " + std::strerror(err));
    }
    temp_.clear();
}

std::vector<uint8_t> readWholeFile(const std::string& name) {
    InputFile f(name);
    std::vector<uint8_t> data(static_cast<size_t>(f.size()));
    f.readExact(data.data(), data.size());
    return data;
}

void writeWholeFile(const std::string& name, const void* data, size_t n) {
    OutputFile f(name);
    f.write(data, n);
    f.close();
}

bool fileStamp(const std::string& name, int64_t& size, int64_t& modified) {
    struct stat st {};
    if (stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = st.st_size;
    modified = modifiedNs(st);
    return true;
}

bool fileExists(const std::string& name) {
    struct stat st {};
    return stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool folderExists(const std::string& name) {
    struct stat st {};
    return stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void createFolder(const std::string& name) {
    std::error_code ec;
    std::filesystem::create_directories(name, ec);
    if (ec && !folderExists(name))
        throw PlatformError("Cannot create folder \"" + name + "\". " + ec.message());
}

std::string currentFolder() {
    std::error_code ec;
    auto p = std::filesystem::current_path(ec);
    return ec ? std::string(".") : p.string();
}

std::string programFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return currentFolder();
    return exe.parent_path().string();
}

std::string fileNameOnly(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string fileExt(std::string_view name) {
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return std::string(name.substr(dot));
}

std::string CutExt(std::string_view name) {
    return std::string(name.substr(0, name.size() - fileExt(name).size()));
}

}  // namespace vantrel
