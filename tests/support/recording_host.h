// A front end for tests: keeps every log line, status, progress and title it is told.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/host.h"

namespace vantrel {

// A host that keeps everything it is told, for the tests, benchmarks and fuzz targets.
class RecordingHost : public Host {
public:
    std::vector<LogLine> lines;
    StatusBar status;
    int progressPosition = 0;
    int progressMaximum = 100;
    std::string title;
    int beeps = 0;
    int pumps = 0;

    void appendLogLine(const LogLine& line) override { lines.push_back(line); }
    void replaceLastLogLine(std::string_view text) override {
        if (lines.empty()) lines.emplace_back();
        lines.back() = LogLine{std::string(text), {}};
    }
    void clearLog() override { lines.clear(); }
    void setStatus(const StatusBar& bar) override { status = bar; }
    void setProgress(int position, int maximum) override {
        progressPosition = position;
        progressMaximum = maximum;
    }
    void setTitle(std::string_view t) override { title = std::string(t); }
    void pumpMessages() override { ++pumps; }
    void beep() override { ++beeps; }
    // true at the start of each job, false at its end
    std::vector<bool> jobs;
    void jobStarted(const JobSetup&) override { jobs.push_back(true); }
    void jobEnded(const JobSetup&) override { jobs.push_back(false); }

    // The visible log as text, one line per entry, each ended by "\n".
    std::string logText() const {
        std::string out;
        for (const auto& l : lines) {
            out += l.text;
            out += '\n';
        }
        return out;
    }
};

}  // namespace vantrel
