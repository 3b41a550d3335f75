// Language codes as users and containers write them, mapped to the engine's own.
#include "ocr/learned/languages.h"

#include <cctype>

namespace vantrel {
namespace {

struct Alias {
    const char* alias;
    const char* code;
};

// Two-letter codes and the bibliographic forms that differ from the terminological ones.
constexpr Alias kAliases[] = {
    {"en", "eng"}, {"fr", "fra"}, {"fre", "fra"}, {"de", "deu"}, {"ger", "deu"}, {"es", "spa"},
    {"it", "ita"}, {"nl", "nld"}, {"dut", "nld"}, {"pt", "por"}, {"pl", "pol"}, {"cs", "ces"},
    {"cze", "ces"}, {"hu", "hun"}, {"ro", "ron"}, {"rum", "ron"}, {"tr", "tur"}, {"hr", "hrv"},
    {"scr", "hrv"}, {"sk", "slk"}, {"slo", "slk"}, {"sl", "slv"}, {"el", "ell"}, {"gre", "ell"},
    {"ru", "rus"}, {"uk", "ukr"}, {"sr", "srp"}, {"scc", "srp"}, {"bg", "bul"},
    {"slovene", "slv"}, {"modern greek", "ell"},
};

std::string lower(std::string_view s) {
    std::string out;
    for (char c : s) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::optional<std::string> oneCode(std::string_view typed) {
    const std::string t = lower(typed);
    for (const OcrLanguage& l : kOcrLanguages)
        if (t == l.code || t == lower(l.name)) return std::string(l.code);
    for (const Alias& a : kAliases)
        if (t == a.alias) return std::string(a.code);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ocrLanguageCode(std::string_view typed) {
    std::string joined;
    size_t start = 0;
    for (;;) {
        const size_t plus = typed.find('+', start);
        const auto code = oneCode(typed.substr(start, plus == std::string_view::npos ? std::string_view::npos : plus - start));
        if (!code) return std::nullopt;
        if (!joined.empty()) joined += '+';
        joined += *code;
        if (plus == std::string_view::npos) return joined;
        start = plus + 1;
    }
}

Script ocrLanguageScript(std::string_view code) {
    const std::string first = lower(code.substr(0, code.find('+')));
    if (first == "ell" || first == "grc") return Script::Greek;
    if (first == "rus" || first == "ukr" || first == "srp" || first == "bul" || first == "bel" || first == "mkd")
        return Script::Cyrillic;
    return Script::Latin;
}

std::string ocrLanguageList() {
    std::string list;
    for (const OcrLanguage& l : kOcrLanguages) {
        if (!list.empty()) list += ", ";
        list += std::string(l.code) + " (" + l.name + ")";
    }
    return list;
}

}  // namespace vantrel
