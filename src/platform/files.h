// File operations: buffered reading with exact reads, file creation, folders.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// An error of the platform layer; its message is shown to the user as it stands.
class PlatformError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "Cannot open file "name". reason"
PlatformError cannotOpen(std::string_view name, std::string_view reason);
// "Stream read error"
PlatformError streamReadError();

// A file opened for reading (others may read it too), with a read buffer of its own so
// that byte-wise reads and short skips stay in memory. Only regular files open: a folder,
// a pipe or a device is refused with a message instead of blocking or reading for ever.
// The buffer fills with a small read after a jump and with larger ones while reading goes
// on: listing a stream's segments reads its headers, not the pictures between them.
class InputFile {
public:
    explicit InputFile(const std::string& name);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& name() const { return name_; }
    int64_t size() const { return size_; }
    // Modification time in nanoseconds, as the file was when opened.
    int64_t modified() const { return modified_; }
    int64_t position() const { return pos_; }
    int64_t remaining() const { return size_ - pos_; }
    void seek(int64_t offset);
    void skip(int64_t count) { seek(pos_ + count); }

    // Reads up to n bytes; returns how many were read (fewer at the end of the file).
    size_t read(void* dst, size_t n);
    // Reads exactly n bytes or throws "Stream read error".
    void readExact(void* dst, size_t n);

    uint8_t readByte();
    uint16_t readWord();    // big-endian
    uint32_t read24();      // big-endian
    uint32_t readDWord();   // big-endian
    uint32_t readDWordLE(); // little-endian

private:
    // Fills the buffer from pos_ with at least `want` bytes where the file has them.
    bool fill(size_t want);
    // Reads at `offset` straight into dst; returns the bytes read (fewer at the end).
    size_t readAt(int64_t offset, uint8_t* dst, size_t n);

    std::string name_;
    int fd_ = -1;
    int64_t size_ = 0;
    int64_t modified_ = 0;
    int64_t pos_ = 0;          // logical position
    int64_t bufStart_ = 0;     // file offset of buf_[0]
    size_t bufLen_ = 0;
    size_t window_ = 0;        // bytes the last fill asked for
    // Left unwritten until read into: the pages of a window never used cost nothing.
    std::unique_ptr<uint8_t[]> buf_;
};

// A file created (or replaced) for writing. The data goes to a temporary file beside the
// target, which takes the target's name only in close(): an older file of that name stays
// untouched until the new one is complete, and a file abandoned without close() (an error,
// a full disk) leaves nothing behind. A target that exists but is no regular file (a device,
// a pipe) is written directly.
class OutputFile {
public:
    explicit OutputFile(const std::string& name);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const void* data, size_t n);
    void write(std::string_view s) { write(s.data(), s.size()); }
    // Flushes, closes and puts the file in the target's place; throws when the data could not
    // be written (the target stays as it was then).
    void close();
    const std::string& name() const { return name_; }

private:
    void discard();

    std::string name_;
    std::string temp_;   // empty when writing the target directly
    std::FILE* f_ = nullptr;
};

// Reads a whole file; throws PlatformError.
std::vector<uint8_t> readWholeFile(const std::string& name);
void writeWholeFile(const std::string& name, const void* data, size_t n);

// Size and modification time (nanoseconds) of a regular file; false when it is none.
bool fileStamp(const std::string& name, int64_t& size, int64_t& modified);

bool fileExists(const std::string& name);
bool folderExists(const std::string& name);
// Creates a folder and its missing parents; throws PlatformError on failure.
void createFolder(const std::string& name);
std::string currentFolder();
// The folder that holds the running program, ending without a separator.
std::string programFolder();
// The name without its folder.
std::string fileNameOnly(std::string_view path);
// The file name without its last extension ("a.b.sup" -> "a.b"); unchanged without a dot.
std::string CutExt(std::string_view name);
// The extension from the last "." of the file name on, or empty.
std::string fileExt(std::string_view name);

}  // namespace vantrel
