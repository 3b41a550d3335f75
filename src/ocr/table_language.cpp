// The OCR language taken from the loaded table.
#include "ocr/table_language.h"

#include "core/log_names.h"
#include "ocr/learned/languages.h"

namespace vantrel {

void useTableLanguage(Context& ctx) {
    Options& opt = ctx.opt;
    const Program& p = ctx.prog;
    if (opt.ocrLanguageChosen) return;
    if (opt.ocrLanguageBefore.empty()) opt.ocrLanguageBefore = opt.ocrLanguage;
    const bool track = !p.extractedStream.empty();
    const std::string& language = p.SubKind == kSrtKind ? std::string() : p.tableLanguage;
    const auto code = language.empty() ? std::nullopt : ocrLanguageCode(language);
    if (code) {
        // Said when it changes what the OCR reads: "film.en.sup" in English needs no line.
        if (opt.ocrLanguage == *code) return;
        opt.ocrLanguage = *code;
        ctx.msg.log("OCR language " + *code + (p.languageFromName ? " from the file name" : " from the track"));
        return;
    }
    opt.ocrLanguage = opt.ocrLanguageBefore;
    if (!language.empty())
        ctx.msg.log("The language " + logEscaped(language) + (p.languageFromName ? " of the file name" : " of the track") +
                    " is not one the OCR reads: OCR language " + opt.ocrLanguage);
    else if (track)
        ctx.msg.log("The track names no language: OCR language " + opt.ocrLanguage);
}

}  // namespace vantrel
