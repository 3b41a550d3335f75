// The table of stored option values and setting them by name.
#include "core/options.h"

#include <charconv>

namespace vantrel {
namespace {

SettingValue integer(const char* name, int Options::*field) {
    return SettingValue{name, ValueKind::Integer, field, nullptr, nullptr};
}
SettingValue flag(const char* name, bool Options::*field) {
    return SettingValue{name, ValueKind::Flag, nullptr, field, nullptr};
}
SettingValue text(const char* name, std::string Options::*field) {
    return SettingValue{name, ValueKind::Text, nullptr, nullptr, field};
}

}  // namespace

const std::vector<SettingValue>& settingValues() {
    static const std::vector<SettingValue> values = {
        integer("WindowState", &Options::WindowState),
        integer("Top", &Options::Top),
        integer("Left", &Options::Left),
        integer("Width", &Options::Width),
        integer("Height", &Options::Height),
        integer("SubHeight", &Options::SubHeight),
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
        integer("C_Mul", &Options::ieMUL),
        integer("C_Div", &Options::ieDIV),
        integer("OcrEngine", &Options::ocrEngine),
        text("OcrLang", &Options::ocrLanguage),
        integer("LastLine", &Options::ieLastLine),
        integer("LineSpc", &Options::ieLineSpc),
        integer("Spacing", &Options::ieSpacing),
        integer("CutLevel", &Options::ieCutLevel),
        flag("Tags", &Options::cbTags),
        integer("Language", &Options::coLang),
        integer("SpaceWidth", &Options::ieSpaceWidth),
        integer("SpaceWmin", &Options::ieSpaceWmin),
        integer("Format", &Options::rgFormat),
        integer("Frame", &Options::rgFrame),
        integer("Letters", &Options::coLetters),
        integer("MaxColor", &Options::ieMaxColor),
        flag("720p", &Options::cb720p),
        flag("OCR", &Options::cbOCR),
        flag("Forced", &Options::cbForced),
        integer("SrtEncoding", &Options::coSrtEncoding),
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
    int number = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || end != value.data() + value.size()) return false;
    if (v->kind == ValueKind::Integer) options.*(v->integer) = number;
    else options.*(v->flag) = number != 0;
    return true;
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
