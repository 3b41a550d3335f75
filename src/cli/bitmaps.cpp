// "bitmaps": loads a stream and saves its subtitles as pictures with the authoring scripts.
#include <iostream>

#include "cli/cli.h"
#include "pictures/bitmaps.h"

namespace vantrel::cli {
namespace {

int runBitmaps(const Args& args) {
    if (args.positional.size() != 1) {
        std::cerr << "vantrel-cli bitmaps: one FILE is needed\n";
        return kUsage;
    }
    Session s;
    if (!applySets(args, s.opt) || !applyTrack(args, s)) return kUsage;
    // A folder name from the command line is a file system name already.
    if (const auto out = args.value("--out")) s.opt.eWorkDir = *out;
    const int status = loadInput(s, args.positional[0]);
    if (status != kOk) return status;
    if (s.prog.Subs.empty()) {
        std::cerr << "Nothing to save: the file holds no subtitles.\n";
        return kFailed;
    }
    const SaveBitmapsResult r = saveBitmaps(s.ctx);
    s.host.flush();
    std::cout << r.folder << '\n';
    return kOk;
}

const bool registered = registerSubcommand({
    "bitmaps",
    "bitmaps FILE [--out DIR] [--forced-only] [--track N | --lang CODE]",
    "Loads FILE and saves every subtitle as a picture into the folder DIR/<file>.bitmaps,\n"
    "with the Scenarist and BDN scripts when Scenarist=1. Prints the folder.\n"
    "  --out DIR         output folder (the Workdir setting; default: the current folder)\n"
    "  --forced-only     save the forced subtitles only\n"
    + std::string(kTrackHelp) +
    "Settings that matter: SaveBMP, SavePNG, 720p, OCR, Scenarist, Frame (0..5 for 23.976,\n"
    "24, 25, 29.97, 50, 59.94), CutLevel.\n",
    {"--forced-only"},
    {"--out", "--track", "--lang"},
    runBitmaps,
});

}  // namespace
}  // namespace vantrel::cli
