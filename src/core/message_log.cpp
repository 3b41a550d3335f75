// Bracket markup of log lines and the log and status operations.
#include "core/message_log.h"

#include <optional>

#include "core/encoding.h"
#include "core/log_names.h"

namespace vantrel {
namespace {

// Brackets that are text, not markup, travel through the markup as these two control
// characters and become brackets again in the visible text.
constexpr char kTextOpen = '\x01';
constexpr char kTextClose = '\x02';

std::string withTextBrackets(std::string text) {
    for (char& c : text) {
        if (c == kTextOpen) c = '[';
        else if (c == kTextClose) c = ']';
    }
    return text;
}

// The visible text: every part from a "[" to the next "]" removed. Empty optional when the
// brackets do not pair up, in which case the text is shown unformatted as it stands.
std::optional<std::string> visibleText(std::string_view text) {
    std::string v(text);
    for (size_t a = v.find('['); a != std::string::npos; a = v.find('[')) {
        const size_t b = v.find(']');
        if (b == std::string::npos || b < a) return std::nullopt;
        v.erase(a, b - a + 1);
    }
    return v;
}

// A status panel's text starts with one space. Built by appending: GCC 12 warns falsely about
// memcpy overlap on `" " + std::string(...)` once optimised.
std::string panelText(std::string_view text) {
    std::string s(1, ' ');
    s.append(text);
    return withTextBrackets(std::move(s));
}

uint32_t hexColor(std::string_view digits) {
    uint32_t value = 0;
    for (char ch : digits) {
        int d = -1;
        if (ch >= '0' && ch <= '9') d = ch - '0';
        else if (ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
        if (d >= 0) value = (value << 4) + static_cast<uint32_t>(d);
    }
    return value;
}

// The format a tag name gives its text. Tags do not nest, so each starts from the default.
LogRun effectOf(std::string_view name) {
    LogRun r;
    if (name == "b") r.bold = true;
    else if (name == "i") r.italic = true;
    else if (name == "u") r.underline = true;
    else if (name == "s1") r.size = 10;
    else if (name == "s2") r.size = 12;
    else if (name.substr(0, 2) == "c:") {
        r.windowText = false;
        r.color = hexColor(name.substr(2));
    } else if (name == "bl") {
        r.windowText = false;
        r.color = 0xFF0000;
    } else if (name == "re") {
        r.windowText = false;
        r.color = 0x0000FF;
    }
    return r;
}

bool isDefault(const LogRun& r) {
    return !r.bold && !r.italic && !r.underline && r.size == 8 && r.windowText;
}

}  // namespace

std::string logEscaped(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '[') c = kTextOpen;
        else if (c == ']') c = kTextClose;
    }
    return out;
}

std::string logName(std::string_view platformName) {
    std::string name = asUtf8(platformName);
    // A name's own control characters cannot pass for escaped brackets.
    for (char& c : name)
        if (c == kTextOpen || c == kTextClose) c = '?';
    return logEscaped(name);
}

LogLine parseMarkup(std::string_view text) {
    LogLine line;
    auto visible = visibleText(text);
    if (!visible) {
        line.text = withTextBrackets(std::string(text));
        return line;
    }
    // Same length as the text with escapes, so the run positions below stay right.
    line.text = withTextBrackets(std::move(*visible));

    // Walk the marked-up text, laying each tagged part over the next characters of the line.
    // Positions that run past the visible text are clipped to it.
    size_t p = 0;
    std::string_view r = text;
    auto addRun = [&](size_t length, const LogRun& format) {
        if (length == 0 || p >= line.text.size() || isDefault(format)) return;
        LogRun run = format;
        run.start = p;
        run.length = std::min(length, line.text.size() - p);
        line.runs.push_back(run);
    };
    while (true) {
        const size_t b = r.find('[');
        if (b == std::string_view::npos) break;
        p += b;  // the plain part before the tag keeps the default format
        const size_t c = r.find(']');
        if (c == std::string_view::npos || c < b) break;
        const std::string_view name = r.substr(b + 1, c - b - 1);
        r = r.substr(c + 1);
        const std::string closing = "[/" + std::string(name) + "]";
        const size_t d = r.find(closing);
        // Without a closing tag the tag formats nothing; the rest is cut as though the
        // closing tag stood at the start of the remaining text.
        const size_t taggedLength = d == std::string_view::npos ? 0 : d;
        addRun(taggedLength, effectOf(name));
        p += taggedLength;
        const size_t skip = taggedLength + closing.size() - (d == std::string_view::npos ? 1 : 0);
        r = skip >= r.size() ? std::string_view{} : r.substr(skip);
    }
    return line;
}

void MessageLog::log(std::string_view text) { host_.appendLogLine(parseMarkup(text)); }

void MessageLog::log2(std::string_view text) {
    log(text);
    log("");
}

void MessageLog::logn(std::string_view text) { host_.replaceLastLogLine(withTextBrackets(std::string(text))); }

void MessageLog::erlog(std::string_view message) {
    // Error texts may carry a file name in the platform's encoding.
    log("[re]" + logEscaped(asUtf8(message)) + "[/re]");
    erslog(message);
    host_.beep();
}

void MessageLog::erslog(std::string_view message) {
    bar_.bold = true;
    bar_.errorBadge = true;
    bar_.panel[0].width = 55;
    bar_.panel[1].text = panelText(message);
    bar_.hint = withTextBrackets(std::string(message));
    host_.setStatus(bar_);
}

int MessageLog::fittedWidth(std::string_view text) const {
    return host_.textWidth(std::string(text) + "a", bar_.bold);
}

void MessageLog::slog(std::string_view text, int panel) {
    if (panel < 0 || panel > 1) return;
    bar_.bold = false;
    bar_.errorBadge = false;
    bar_.panel[panel].text = panelText(text);
    bar_.panel[panel].width = fittedWidth(bar_.panel[panel].text);
    if (panel == 1) bar_.hint = withTextBrackets(std::string(text));
    host_.setStatus(bar_);
}

void MessageLog::slog2(std::string_view text0, std::string_view text1) {
    bar_.panel[0].text = panelText(text0);
    bar_.panel[0].width = fittedWidth(bar_.panel[0].text);
    bar_.panel[1].text = panelText(text1);
    bar_.hint = withTextBrackets(std::string(text1));
    host_.setStatus(bar_);
    logn(text1);
}

void MessageLog::pslog(std::string_view text, int n, int total) {
    bar_.bold = false;
    bar_.panel[1].text = panelText(text);
    bar_.hint = withTextBrackets(std::string(text));
    host_.setStatus(bar_);
    host_.setProgress(n, total);
    const int percent = total > 0 ? static_cast<int>(static_cast<int64_t>(n) * 100 / total) : 0;
    host_.setTitle("Vantrel - " + std::to_string(percent) + "%");
}

void MessageLog::clear() { host_.clearLog(); }

}  // namespace vantrel
