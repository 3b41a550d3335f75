// "ocr": loads a stream, recognises every subtitle and writes the SRT text.
#include <iostream>

#include "cli/cli.h"
#include "ocr/ocr_batch.h"
#include "text/srt_writer.h"

namespace vantrel::cli {
namespace {

int runOcr(const Args& args) {
    if (args.positional.size() != 1) {
        std::cerr << "vantrel-cli ocr: one FILE is needed\n";
        return kUsage;
    }
    Session s;
    if (!applySets(args, s.opt)) return kUsage;
    const int status = loadInput(s, args.positional[0]);
    if (status != kOk) return status;

    bOCRallClick(s.ctx);
    SUP2Srt(s.ctx);
    auto out = args.value("-o");
    if (!out) out = args.value("--output");
    if (out) {
        saveSrt(s.ctx, *out);
        s.host.flush();
    } else {
        s.host.flush();
        const std::string text = srtFileText(s.prog.mSRT);
        std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
        std::cout.flush();
    }
    return kOk;
}

const bool registered = registerSubcommand({
    "ocr",
    "ocr FILE [-o OUT.srt]",
    "Loads FILE, recognises the text of every subtitle and writes it as SubRip text\n"
    "(Windows-1252, CR LF line ends) to OUT.srt, or to stdout without -o. Totals, the\n"
    "letter statistic and the language guess go to the log on stderr. OCR settings such\n"
    "as Language, Tags, CutLevel, C_Mul, C_Div, SpaceWidth and SpaceWmin come through --set.\n"
    "  -o, --output OUT  the SRT file to write\n",
    {},
    {"-o", "--output"},
    runOcr,
});

}  // namespace
}  // namespace vantrel::cli
