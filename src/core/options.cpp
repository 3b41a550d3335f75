// The table of stored option values and setting them by name.
#include "core/options.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace vantrel {
namespace {

SettingValue integer(const char* name, int Options::*field, int lowest, int highest) {
    return SettingValue{name, ValueKind::Integer, field, nullptr, nullptr, lowest, highest};
}

// Window geometry stays within what a screen arrangement can hold.
constexpr int kGeometry = 100000;
SettingValue flag(const char* name, bool Options::*field) {
    return SettingValue{name, ValueKind::Flag, nullptr, field, nullptr};
}
SettingValue text(const char* name, std::string Options::*field) {
    return SettingValue{name, ValueKind::Text, nullptr, nullptr, field};
}

}  // namespace

const std::vector<SettingValue>& settingValues() {
    static const std::vector<SettingValue> values = {
        integer("WindowState", &Options::WindowState, 0, 2),
        integer("Top", &Options::Top, -kGeometry, kGeometry),
        integer("Left", &Options::Left, -kGeometry, kGeometry),
        integer("Width", &Options::Width, 0, kGeometry),
        integer("Height", &Options::Height, 0, kGeometry),
        integer("SubHeight", &Options::SubHeight, 0, kGeometry),
        text("Backpic", &Options::eBackground),
        flag("Background", &Options::cbBack),
        flag("Borders", &Options::cbBorders),
        flag("Palette", &Options::cbPalette),
        flag("Details", &Options::cbDetails),
        flag("AutoRead", &Options::cbAutoRead),
        flag("AutoClear", &Options::cbAutoClear),
        flag("Scenarist", &Options::cbBDN),
        text("Workdir", &Options::eWorkDir),
        flag("SaveBMP", &Options::cbBMP),
        flag("SavePNG", &Options::cbPNG),
        integer("C_Mul", &Options::ieMUL, 1, 1000),
        integer("C_Div", &Options::ieDIV, 1, 1000),
        integer("OcrEngine", &Options::ocrEngine, 0, 1),
        text("OcrLang", &Options::ocrLanguage),
        integer("LastLine", &Options::ieLastLine, 0, 1079),
        integer("LineSpc", &Options::ieLineSpc, 0, 1080),
        integer("Spacing", &Options::ieSpacing, -10, 100),
        integer("CutLevel", &Options::ieCutLevel, 1, 255),
        flag("Tags", &Options::cbTags),
        integer("Language", &Options::coLang, 0, 255),
        integer("SpaceWidth", &Options::ieSpaceWidth, 0, 1920),
        integer("SpaceWmin", &Options::ieSpaceWmin, 0, 1920),
        integer("Format", &Options::rgFormat, 0, 1),
        integer("Frame", &Options::rgFrame, 0, 5),
        integer("Letters", &Options::coLetters, 0, 255),
        integer("MaxColor", &Options::ieMaxColor, 0, 255),
        flag("720p", &Options::cb720p),
        flag("OCR", &Options::cbOCR),
        flag("Forced", &Options::cbForced),
        integer("SrtEncoding", &Options::coSrtEncoding, 0, 1),
    };
    return values;
}

const std::vector<const char*>& settingLoadOrder() {
    static const std::vector<const char*> order = {
        "Width",     "Height",   "Top",       "Left",     "WindowState", "SubHeight", "Backpic",
        "Background", "Borders", "Palette",   "Details",  "AutoRead",    "AutoClear", "Workdir",
        "SaveBMP",   "SavePNG",  "C_Mul",     "C_Div",    "LastLine",    "LineSpc",   "Spacing",
        "MaxColor",  "CutLevel", "Tags",      "Language", "SpaceWidth",  "SpaceWmin", "Format",
        "Letters",   "Frame",    "720p",      "OCR",      "Forced",      "Scenarist", "OcrEngine",
        "OcrLang",   "SrtEncoding",
    };
    return order;
}

const SettingValue* findSetting(std::string_view name) {
    for (const auto& v : settingValues())
        if (name == v.name) return &v;
    return nullptr;
}

bool setSetting(Options& options, std::string_view name, std::string_view value) {
    const SettingValue* v = findSetting(name);
    if (!v) return false;
    if (v->kind == ValueKind::Text) {
        options.*(v->text) = std::string(value);
        return true;
    }
    // Read wide, so that a number past the int range is clamped like any other.
    int64_t number = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || end != value.data() + value.size()) return false;
    // A number no stored value can hold is no value of its kind: it is skipped, not clamped.
    if (number < INT32_MIN || number > INT32_MAX) return false;
    if (v->kind == ValueKind::Integer)
        options.*(v->integer) = static_cast<int>(std::clamp<int64_t>(number, v->lowest, v->highest));
    else options.*(v->flag) = number != 0;
    return true;
}

void clampSettings(Options& options) {
    for (const SettingValue& v : settingValues())
        if (v.kind == ValueKind::Integer)
            options.*(v.integer) = std::clamp(options.*(v.integer), v.lowest, v.highest);
}

std::string getSetting(const Options& options, const SettingValue& value) {
    switch (value.kind) {
        case ValueKind::Integer: return std::to_string(options.*(value.integer));
        case ValueKind::Flag: return options.*(value.flag) ? "1" : "0";
        case ValueKind::Text: return options.*(value.text);
    }
    return {};
}

}  // namespace vantrel
