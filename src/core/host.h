// What the core asks of a front end: log pane, status bar, progress, title, message pumping.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct ControlStates;
struct JobSetup;

// Colour values: red in bits 0..7, green 8..15, blue 16..23.
using Color = uint32_t;

// A run of characters of one log line that carries one format.
struct LogRun {
    size_t start = 0;   // 0-based offset into the line's visible text
    size_t length = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int size = 8;                // points
    bool windowText = true;      // the platform's window-text colour; `color` is unused then
    Color color = 0;
};

// One line of the message log: its visible text and the formats laid over it.
// Characters not covered by a run have the default format (regular, 8 pt, window text).
struct LogLine {
    std::string text;
    std::vector<LogRun> runs;
};

struct StatusPanel {
    std::string text;
    int width = 50;
};

// The two-panel status bar; panel 0 can turn into the red "ERROR" badge.
struct StatusBar {
    StatusPanel panel[2];
    bool errorBadge = false;
    bool bold = false;
    std::string hint;
};

class Host {
public:
    virtual ~Host() = default;
    virtual void appendLogLine(const LogLine& line) = 0;
    virtual void replaceLastLogLine(std::string_view text) = 0;
    virtual void clearLog() = 0;
    virtual void setStatus(const StatusBar& bar) = 0;
    virtual void setProgress(int position, int maximum) = 0;
    virtual void setTitle(std::string_view title) = 0;
    // Width in pixels of a text in the status bar font; front ends without fonts estimate.
    virtual int textWidth(std::string_view text, bool bold) {
        return static_cast<int>(text.size()) * (bold ? 7 : 6);
    }
    // Let pending window messages run (so a cancel click can be seen).
    virtual void pumpMessages() {}
    virtual bool confirm(std::string_view /*question*/) { return true; }
    virtual void beep() {}
    // The enabled and shown states of the job controls changed.
    virtual void controlsChanged(const ControlStates& /*states*/) {}
    // Show subtitle `number` (1-based) in the viewer; 0 clears the display.
    virtual void displaySubtitle(int /*number*/) {}
    // A long job began or ended (see JobScope): the window locks and frees what only it has.
    virtual void jobStarted(const JobSetup& /*job*/) {}
    virtual void jobEnded(const JobSetup& /*job*/) {}
};

}  // namespace vantrel
