// Usage and version of the window program.
#include "app/command_line.h"

#include <filesystem>
#include <ostream>

#include "app/main_window.h"

namespace vantrel::app {
namespace {

void printUsage(std::ostream& out) {
    out << "Usage: vantrel [FILE]\n"
           "Opens the Vantrel window; a subtitle stream FILE (.sup) is loaded at start.\n"
           "  --help     show this text and exit\n"
           "  --version  show the version and exit\n"
           "For scripts without a window: vantrel-cli --help\n";
}

}  // namespace

std::optional<int> answerCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            printUsage(out);
            return 0;
        }
        if (a == "--version") {
            out << "Vantrel " << TfMain::kVersion << '\n';
            return 0;
        }
    }
    for (const std::string& a : args) {
        std::error_code ec;
        if (a.size() > 1 && a[0] == '-' && !std::filesystem::exists(a, ec)) {
            err << "vantrel: unknown option " << a << '\n';
            printUsage(err);
            return 2;
        }
    }
    return std::nullopt;
}

}  // namespace vantrel::app
