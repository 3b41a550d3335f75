// "export": loads a stream and writes it as a Blu-ray or HD DVD stream.
#include <iostream>

#include "cli/cli.h"
#include "export/writers.h"

namespace vantrel::cli {
namespace {

int runExport(const Args& args) {
    if (args.positional.size() != 1) {
        std::cerr << "vantrel-cli export: one FILE is needed\n";
        return kUsage;
    }
    Session s;
    if (!applySets(args, s.opt) || !applyTrack(args, s)) return kUsage;
    if (const auto format = args.value("--format")) {
        if (*format == "bd") s.opt.rgFormat = 0;
        else if (*format == "hddvd") s.opt.rgFormat = 1;
        else {
            std::cerr << "vantrel-cli export: --format is bd or hddvd\n";
            return kUsage;
        }
    } else {
        std::cerr << "vantrel-cli export: --format bd|hddvd is needed\n";
        return kUsage;
    }
    if (const auto rate = args.value("--rate")) {
        int item = -1;
        for (int k = 0; k < 6; ++k)
            if (*rate == FrameRateName(frameRateCode(k))) item = k;
        if (item < 0) {
            std::cerr << "vantrel-cli export: --rate is one of 23.976, 24, 25, 29.97, 50, 59.94\n";
            return kUsage;
        }
        s.opt.rgFrame = item;
        s.opt.frameChosen = true;
    }
    const int status = loadInput(s, args.positional[0]);
    if (status != kOk) return status;
    if (s.prog.Subs.empty()) {
        std::cerr << "Nothing to export: the file holds no subtitles.\n";
        return kFailed;
    }
    const std::string out = args.value("-o").value_or(exportFileName(s.ctx));
    exportStream(s.ctx, out);
    s.host.flush();
    std::cout << out << '\n';
    return kOk;
}

const bool registered = registerSubcommand({
    "export",
    "export FILE --format bd|hddvd [--rate 23.976|24|25|29.97|50|59.94] [--forced-only] [-o OUT] [--track N | --lang CODE]",
    "Loads FILE and writes it as a new subtitle stream. Without -o the file is named\n"
    "after the source, the format and the frame rate, in the current folder.\n"
    "  --format bd|hddvd  Blu-ray presentation graphics or HD DVD subpictures\n"
    "  --rate R           frame rate written into the stream (default: the source's, else\n"
    "                     the Frame setting)\n"
    "  --forced-only      write the forced subtitles only\n"
    "  -o OUT             output file\n"
    + std::string(kTrackHelp),
    {"--forced-only"},
    {"--format", "--rate", "-o", "--track", "--lang"},
    runExport,
});

}  // namespace
}  // namespace vantrel::cli
