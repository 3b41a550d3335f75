// The names and frame-rate codes of exported streams.
#include <cctype>
#include <string_view>

#include "export/writers.h"
#include "platform/files.h"

namespace vantrel {

uint8_t exportFrameCode(const Context& ctx) {
    const uint8_t source = ctx.prog.SubKind == kBluRayKind ? ctx.prog.video.frameCode : 0;
    const bool known = source != 0 && std::string_view(FrameRateName(source)) != "reserved";
    return known && !ctx.opt.frameChosen ? source : frameRateCode(ctx.opt.rgFrame);
}

namespace {

std::string exportName(const std::string& baseName, int rgFormat, uint8_t frameCode) {
    std::string name = fileNameOnly(baseName);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        std::string ext = name.substr(dot + 1);
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == "sup" || ext == "srt") name.erase(dot);
    }
    return name + "." + (rgFormat == 0 ? "BD" : "HDDVD") + "." + FrameRateName(frameCode) + ".sup";
}

}  // namespace

std::string exportFileName(const std::string& baseName, int rgFormat, int rgFrame) {
    return exportName(baseName, rgFormat, frameRateCode(rgFrame));
}

std::string exportFileName(const Context& ctx) {
    return exportName(ctx.prog.BaseName, ctx.opt.rgFormat, exportFrameCode(ctx));
}

}  // namespace vantrel
