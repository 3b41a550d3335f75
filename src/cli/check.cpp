// "check": validates a Blu-ray presentation graphics stream against the disc decoder model.
#include <iostream>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "platform/files.h"
#include "stream/pgs_check.h"

namespace vantrel::cli {
namespace {

nlohmann::json reportJson(const std::string& file, const CheckReport& r) {
    nlohmann::json out;
    out["file"] = file;
    out["clean"] = r.clean();
    out["segments"] = r.segments;
    out["displaySets"] = r.displaySets;
    out["epochs"] = r.epochs;
    auto list = nlohmann::json::array();
    for (const CheckViolation& v : r.violations)
        list.push_back({{"offset", v.offset}, {"rule", v.rule}, {"message", v.message}});
    out["violations"] = std::move(list);
    auto notes = nlohmann::json::array();
    for (const CheckViolation& n : r.notes) notes.push_back({{"rule", n.rule}, {"message", n.message}});
    out["notes"] = std::move(notes);
    return out;
}

int runCheck(const Args& args) {
    if (args.positional.size() != 1) {
        std::cerr << "vantrel-cli check: one FILE is needed\n";
        return kUsage;
    }
    const std::string& file = args.positional[0];
    CheckReport report;
    try {
        report = checkPgsFile(file);
    } catch (const PlatformError& e) {
        std::cerr << e.what() << '\n';
        return kFailed;
    }
    if (args.has("--json")) {
        std::cout << reportJson(file, report).dump(1) << '\n';
    } else {
        for (const std::string& line : checkReportLines(report)) std::cout << line << '\n';
    }
    return report.clean() ? kOk : kFailed;
}

const bool registered = registerSubcommand({
    "check",
    "check FILE [--json]",
    "Checks a Blu-ray subtitle stream against the disc decoder model: decoding and\n"
    "composition times, buffers, epoch limits and the coding of every segment. Prints\n"
    "every violation with the file offset of its segment or display set (hexadecimal).\n"
    "A stream without decoding times (every DTS 0) gets a note, and its timing is not judged.\n"
    "Exits with 0 when the stream is clean and 1 when it is not.\n"
    "  --json            print the report as one JSON object\n",
    {"--json"},
    {},
    runCheck,
});

}  // namespace
}  // namespace vantrel::cli
