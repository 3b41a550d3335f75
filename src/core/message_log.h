// The message log and status line operations, written once over the Host interface.
#pragma once

#include <string>
#include <string_view>

#include "core/host.h"

namespace vantrel {

// Builds a log line from a text with bracket markup ("[b]bold[/b]", "[c:0000FF]red[/c:0000FF]").
// Every bracketed part is markup and never shows. A text whose brackets do not pair up
// (a "]" before the first "[", a "[" without a "]" after it) is shown as it is, unformatted.
LogLine parseMarkup(std::string_view text);

class MessageLog {
public:
    explicit MessageLog(Host& host) : host_(host) {}

    void log(std::string_view text);
    void log2(std::string_view text);
    void logn(std::string_view text);
    void erlog(std::string_view message);
    void erslog(std::string_view message);
    void slog(std::string_view text, int panel);
    void slog2(std::string_view text0, std::string_view text1);
    // Progress message: panel 1, progress bar position n, title "Vantrel - nn%" of `total`.
    void pslog(std::string_view text, int n, int total);
    void clear();

    const StatusBar& status() const { return bar_; }
    Host& host() { return host_; }

private:
    int fittedWidth(std::string_view panelText) const;

    Host& host_;
    StatusBar bar_;
};

}  // namespace vantrel
