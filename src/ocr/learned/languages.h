// The languages the learned OCR engine offers, apart from the engine so the window can list
// them without the OCR's types.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/encoding.h"

namespace vantrel {

// Tesseract's code, the name a user picks, and the Debian package of its data.
struct OcrLanguage {
    const char* code;
    const char* name;
};
inline constexpr OcrLanguage kOcrLanguages[] = {
    {"eng", "English"},   {"fra", "French"},    {"deu", "German"},     {"spa", "Spanish"},
    {"ita", "Italian"},   {"nld", "Dutch"},     {"por", "Portuguese"}, {"pol", "Polish"},
    {"ces", "Czech"},     {"hun", "Hungarian"}, {"ron", "Romanian"},   {"tur", "Turkish"},
    {"hrv", "Croatian"},  {"slk", "Slovak"},    {"slv", "Slovenian"},  {"ell", "Greek"},
    {"rus", "Russian"},   {"ukr", "Ukrainian"}, {"srp", "Serbian"},    {"bul", "Bulgarian"},
};

// The Tesseract code of a language as users type it: the code itself, its two-letter form
// ("fr"), the bibliographic three-letter form discs and containers carry ("fre", "ger") or
// the English name, in any case; "+" joins several ("eng+fr"). Nothing for a language the
// engine does not offer.
std::optional<std::string> ocrLanguageCode(std::string_view typed);

// The script a language (a Tesseract code, the first of several joined by "+") is written in.
Script ocrLanguageScript(std::string_view code);

// "eng (English), fra (French), ..." for messages.
std::string ocrLanguageList();

}  // namespace vantrel
