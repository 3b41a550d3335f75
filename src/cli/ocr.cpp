// "ocr": loads a stream, recognises every subtitle and writes the SRT text.
#include <iostream>

#include "cli/cli.h"
#include "ocr/learned/languages.h"
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
    if (!applySets(args, s.opt) || !applyTrack(args, s.prog)) return kUsage;
    if (const auto engine = args.value("--engine")) {
        if (*engine == "learned") s.opt.ocrEngine = kOcrLearned;
        else if (*engine == "rules") s.opt.ocrEngine = kOcrRules;
        else {
            std::cerr << "vantrel-cli ocr: --engine is rules or learned, not " << *engine << '\n';
            return kUsage;
        }
    }
    if (const auto lang = args.value("--lang")) {
        // A language the engine does not read is refused rather than read as another one.
        const auto code = ocrLanguageCode(*lang);
        if (!code) {
            std::cerr << "vantrel-cli ocr: --lang " << *lang << " is not a language the OCR reads; it knows "
                      << ocrLanguageList() << " (or their two-letter codes, joined with + for several)\n";
            return kUsage;
        }
        s.opt.ocrLanguage = *code;
    }
    if (const auto encoding = args.value("--srt-encoding")) {
        if (*encoding == "utf8") s.opt.coSrtEncoding = static_cast<int>(TextEncoding::Utf8);
        else if (*encoding == "cp1252") s.opt.coSrtEncoding = static_cast<int>(TextEncoding::Cp1252);
        else {
            std::cerr << "vantrel-cli ocr: --srt-encoding is utf8 or cp1252\n";
            return kUsage;
        }
    }
    if (const int status = useGlyphLibrary(args, s); status != kOk) return status;
    const int status = loadInput(s, args.positional[0]);
    if (status != kOk) return status;

    ocrAll(s.ctx);
    SUP2Srt(s.ctx);
    auto out = args.value("-o");
    if (!out) out = args.value("--output");
    if (out) {
        saveSrt(s.ctx, *out);
        s.host.flush();
    } else {
        s.host.flush();
        const std::string text = srtFileText(s.prog.mSRT, static_cast<TextEncoding>(s.opt.coSrtEncoding));
        std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
        std::cout.flush();
    }
    return kOk;
}

const bool registered = registerSubcommand({
    "ocr",
    "ocr FILE [-o OUT.srt] [--engine rules|learned] [--lang CODE] [--srt-encoding utf8|cp1252] [--forced-only]"
    " [--glyphs LIBRARY | --no-glyphs] [--track N]",
    "Loads FILE, recognises the text of every subtitle and writes it as SubRip text\n"
    "(UTF-8 without a byte-order mark unless told otherwise, CR LF line ends) to OUT.srt,\n"
    "or to stdout without -o. Totals, the letter statistic and the language guess go to\n"
    "the log on stderr. OCR settings such as Language, Tags, CutLevel, C_Mul, C_Div,\n"
    "SpaceWidth and SpaceWmin come through --set.\n"
    "  -o, --output OUT  the SRT file to write\n"
    "  --engine NAME     learned (the default: learns the stream's glyphs with Tesseract)\n"
    "                    or rules (the fixed shape rules); stored as OcrEngine\n"
    "  --lang CODE       language of the learned engine: eng (default), fra, deu, spa, ita,\n"
    "                    nld, por, their two-letter codes (en, fr, ...) or several joined\n"
    "                    with + (eng+fra); stored as OcrLang\n"
    "  --srt-encoding E  utf8 (the default) or cp1252 (Windows-1252); stored as SrtEncoding\n"
    "  --forced-only     recognise the forced subtitles only\n"
    "  --glyphs LIBRARY  the learned engine consults this glyph library before Tesseract\n"
    "                    instead of your own (~/.config/Corvane Labs/glyph-library.txt,\n"
    "                    taught on the window's Glyphs page)\n"
    "  --no-glyphs       consult no glyph library\n"
    + std::string(kTrackHelp),
    {"--forced-only", "--no-glyphs"},
    {"-o", "--output", "--engine", "--lang", "--srt-encoding", "--glyphs", "--track"},
    runOcr,
});

}  // namespace
}  // namespace vantrel::cli
