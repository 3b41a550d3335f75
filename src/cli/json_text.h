// JSON output of the command-line front end.
#pragma once

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/encoding.h"

namespace vantrel::cli {

// JSON written out as it is walked: no tree of values is built, and the text
// goes to the output in pieces of about 64 KiB through one buffer. Every text is escaped
// (and bytes that are no valid UTF-8 read as Windows-1252), so the output is valid UTF-8
// JSON whatever bytes the subtitles or the file name hold.
class JsonText {
public:
    explicit JsonText(std::FILE* out) : file_(out) { out_.reserve(kPiece + 4096); }
    ~JsonText() { flush(); }
    JsonText(const JsonText&) = delete;
    JsonText& operator=(const JsonText&) = delete;

    // Hands what is buffered to the output once a piece is full.
    void pass() {
        if (out_.size() >= kPiece) flush();
    }
    void flush() {
        std::fwrite(out_.data(), 1, out_.size(), file_);
        out_.clear();
    }

    void open(char bracket) {
        separate();
        out_ += bracket;
        first_ = true;
    }
    void close(char bracket) {
        breakLine();
        out_ += bracket;
        first_ = false;
    }
    void key(std::string_view name) {
        separate();
        out_ += '"';
        out_ += name;   // our own ASCII names
        out_ += "\":";
        first_ = true;   // the value follows without a comma
    }
    // The next value (or closing bracket) starts a new line.
    void newline() { lineBreak_ = true; }
    // Ends the text with a line end.
    void finish() { out_ += '\n'; }

    template <typename T>
    void number(T value) {
        separate();
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, value);
        out_.append(buf, r.ptr);
    }
    // The first `count` values of an array of numbers (at most all of them).
    template <typename Array>
    void numbers(std::string_view name, const Array& values, size_t count) {
        key(name);
        open('[');
        for (size_t k = 0; k < count && k < values.size(); ++k) number(values[k]);
        close(']');
    }
    void boolean(bool value) {
        separate();
        out_ += value ? "true" : "false";
    }
    // A text of the program (UTF-8); valid text (all of it, as a rule) goes out without a
    // converted copy.
    void string(std::string_view text) {
        if (validUtf8(text)) return utf8String(text);
        utf8String(asUtf8(text));
    }
    // A file name as the platform gives it, UTF-8 as the user wrote it.
    void fileName(std::string_view platformName) { utf8String(nameToUtf8(platformName)); }

    template <typename T>
    void field(std::string_view name, T value) {
        key(name);
        if constexpr (std::is_same_v<T, bool>) boolean(value);
        else if constexpr (std::is_arithmetic_v<T>) number(value);
        else if constexpr (std::is_enum_v<T>) number(static_cast<std::underlying_type_t<T>>(value));
        else string(value);
    }

private:
    void separate() {
        if (!first_) out_ += ',';
        first_ = false;
        breakLine();
    }
    void breakLine() {
        if (lineBreak_) out_ += '\n';
        lineBreak_ = false;
    }
    void utf8String(std::string_view utf8) {
        separate();
        out_ += '"';
        // Runs of characters that need no escape go out whole.
        size_t run = 0;
        for (size_t i = 0; i < utf8.size(); ++i) {
            const auto c = static_cast<unsigned char>(utf8[i]);
            if (c != '"' && c != '\\' && c >= 0x20) continue;
            out_.append(utf8.data() + run, i - run);
            run = i + 1;
            const char ch = utf8[i];
            if (c == '"' || c == '\\') {
                out_ += '\\';
                out_ += ch;
            } else {
                static const char hex[] = "0123456789abcdef";
                out_ += "\\u00";
                out_ += hex[c >> 4];
                out_ += hex[c & 15];
            }
        }
        out_.append(utf8.data() + run, utf8.size() - run);
        out_ += '"';
    }

    static constexpr size_t kPiece = 64 * 1024;
    std::FILE* file_;
    std::string out_;
    bool first_ = true;
    bool lineBreak_ = false;
};

}  // namespace vantrel::cli
