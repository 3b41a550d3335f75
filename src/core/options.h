// The persisted options: values of the Options page controls and the window geometry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Values of Options::ocrEngine.
inline constexpr int kOcrLearned = 0;   // learns each stream's glyphs with Tesseract as teacher
inline constexpr int kOcrRules = 1;     // the fixed shape rules

// Field names are those of the controls the values belong to, so the core reads an option
// without knowing that a check box exists; the window copies widget values in and out.
struct Options {
    // Window geometry
    int WindowState = 0;
    int Top = 200;
    int Left = 366;
    int Width = 517;
    int Height = 600;
    int SubHeight = 126;
    // Display
    std::string eBackground;
    bool cbBack = false;
    bool cbBorders = false;
    bool cbPalette = false;
    // Loading
    bool cbDetails = false;
    bool cbAutoRead = true;
    bool cbAutoClear = false;
    // Pictures and scripts
    bool cbBDN = false;
    std::string eWorkDir;
    bool cbBMP = false;
    bool cbPNG = true;
    // OCR
    int ieMUL = 4;
    int ieDIV = 19;
    int ocrEngine = 0;                  // kOcrLearned or kOcrRules
    std::string ocrLanguage = "eng";    // Tesseract language code of the learned engine
    // Text rendering
    int ieLastLine = 1010;
    int ieLineSpc = 90;
    int ieSpacing = 4;
    int ieCutLevel = 145;
    bool cbTags = true;
    int coLang = 0;
    int ieSpaceWidth = 20;
    int ieSpaceWmin = 10;
    // Export
    int rgFormat = 0;
    int rgFrame = 0;
    int coLetters = 0;
    int ieMaxColor = 220;
    bool cb720p = false;
    bool cbOCR = false;
    bool cbForced = true;
    // SRT files
    int coSrtEncoding = 0;   // TextEncoding: 0 UTF-8, 1 Windows-1252
    // Not stored: chosen for one run.
    bool cbForcedOnly = false;   // export, OCR of all and picture saving take forced subtitles only
    bool frameChosen = false;    // the user picked rgFrame; otherwise a stream's own rate is kept
    // The user picked ocrLanguage; otherwise the loaded table's language sets it, and
    // ocrLanguageBefore keeps the one it replaced for tables that name none.
    bool ocrLanguageChosen = false;
    std::string ocrLanguageBefore;
};

enum class ValueKind { Integer, Flag, Text };

// One stored value: its name, kind and the field it is bound to. An integer carries the
// range it is clamped to whenever it is set by name, so that no stored or typed value can
// drive the arithmetic that uses it out of range.
struct SettingValue {
    const char* name;
    ValueKind kind;
    int Options::*integer = nullptr;
    bool Options::*flag = nullptr;
    std::string Options::*text = nullptr;
    int lowest = 0;
    int highest = 0;
};

// All stored values in the order they are written.
const std::vector<SettingValue>& settingValues();

// The order in which stored values are loaded.
const std::vector<const char*>& settingLoadOrder();

const SettingValue* findSetting(std::string_view name);

// Sets a value by its stored name from text ("1", "145", a path). An integer outside its
// range is set to the nearest end of it. Returns false for an unknown name or a value that
// does not fit the kind (the options stay unchanged then).
bool setSetting(Options& options, std::string_view name, std::string_view value);

// Sets every integer of `options` that lies outside its range to the nearest end of it.
void clampSettings(Options& options);

// A value as stored text (integers and flags in decimal).
std::string getSetting(const Options& options, const SettingValue& value);

}  // namespace vantrel
