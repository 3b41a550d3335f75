// The languages the learned OCR engine offers, apart from the engine so the window can list
// them without the OCR's types.
#pragma once

namespace vantrel {

// Tesseract's code and the name a user picks.
struct OcrLanguage {
    const char* code;
    const char* name;
};
inline constexpr OcrLanguage kOcrLanguages[] = {
    {"eng", "English"}, {"fra", "French"},  {"deu", "German"},     {"spa", "Spanish"},
    {"ita", "Italian"}, {"nld", "Dutch"},   {"por", "Portuguese"},
};

}  // namespace vantrel
