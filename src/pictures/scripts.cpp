// The Scenarist script, the BDN XML description and their timecodes.
#include "pictures/scripts.h"

#include <cstdio>
#include <utility>

#include "core/encoding.h"
#include "core/frame_rate.h"

namespace vantrel {
namespace {

// Frames counted per second, and whether the rate runs at 1000/1001 of it.
struct Rate {
    uint32_t fps;
    bool ntsc;
};

Rate rateOf(int rgFrame) {
    static constexpr Rate rates[6] = {{24, true}, {24, false}, {25, false}, {30, true}, {50, false}, {60, true}};
    return rates[rgFrame >= 0 && rgFrame <= 5 ? rgFrame : 0];
}

int frameItem(int rgFrame) { return rgFrame >= 0 && rgFrame <= 5 ? rgFrame : 0; }

}  // namespace

std::string ptsToTC(uint32_t ticks, int rgFrame) {
    const Rate r = rateOf(rgFrame);
    // The frame is the one whose start lies nearest: ticks x fps / 90000, scaled by 1000/1001
    // for the NTSC rates, rounded; a time exactly between two frames belongs to the earlier.
    // Frame starts of 23.976 and 59.94 do not fall on whole ticks and SRT times hold whole
    // milliseconds, rounded or cut either way from the frame start; rounding puts all of
    // them on their own frame.
    const uint64_t divisor = 90000ull * (r.ntsc ? 1001 : 1000);
    const uint64_t frames = (static_cast<uint64_t>(ticks) * r.fps * 1000 + (divisor - 1) / 2) / divisor;
    const uint64_t seconds = frames / r.fps;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u:%02u", static_cast<unsigned>(seconds / 3600 % 24),
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60),
                  static_cast<unsigned>(frames % r.fps));
    return buf;
}

std::string xmlAttribute(std::string_view text) {
    const std::string utf8 = asUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            case '\t': out += "&#9;"; break;
            case '\n': out += "&#10;"; break;
            case '\r': out += "&#13;"; break;
            default:
                // Other control characters cannot appear in an XML document at all.
                out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
        }
    }
    return out;
}

std::vector<std::string> scenaristHead(const ScriptInfo& info) {
    return {
        "St_Format 4",
        "Display_Area  (0 2 1919 1079)",
        "TV_Type NTSC",
        "SubTitle " + info.subtitleName,
        "##########################",
        "SP_NUMBER START END FILE_NAME",
    };
}

std::string scenaristEntry(int32_t num, uint32_t in, uint32_t out, int rgFrame, std::string_view picture) {
    return std::to_string(num) + " " + ptsToTC(in, rgFrame) + " " + ptsToTC(out, rgFrame) + " " + std::string(picture);
}

std::vector<std::string> bdnHead(const ScriptInfo& info) {
    const std::string rate = FrameRateName(frameRateCode(frameItem(info.rgFrame)));
    return {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        "<BDN Version=\"0.93\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:noNamespaceSchemaLocation=\"BD-03-006-0093b BDN File Format.xsd\">",
        "  <Description>",
        "    <Name Title=\"" + xmlAttribute(info.title) + "\" Content=\"\"/>",
        "    <Language Code=\"eng\"/>",
        std::string("    <Format VideoFormat=\"") + (info.hd720 ? "720" : "1080") + "p\" FrameRate=\"" + rate +
            "\" DropFrame=\"False\"/>",
        "    <Events Type=\"Graphic\" FirstEventInTC=\"" + ptsToTC(info.firstIn, info.rgFrame) + "\" LastEventOutTC=\"" +
            ptsToTC(info.lastOut, info.rgFrame) + "\" NumberofEvents=\"" + std::to_string(info.count) + "\"/>",
        "  </Description>",
        "  <Events>",
    };
}

std::vector<std::string> bdnEntry(uint32_t in, uint32_t out, const ScriptInfo& info, std::string_view picture,
                                  bool forced) {
    return {
        "    <Event InTC=\"" + ptsToTC(in, info.rgFrame) + "\" OutTC=\"" + ptsToTC(out, info.rgFrame) +
            "\" Forced=\"" + (forced ? "True" : "False") + "\">",
        std::string("      <Graphic Width=\"") + (info.hd720 ? "1280" : "1920") + "\" Height=\"" +
            (info.hd720 ? "720" : "1080") + "\" X=\"0\" Y=\"0\">" + std::string(picture) + "</Graphic>",
        "    </Event>",
    };
}

std::vector<std::string> bdnTail() { return {"  </Events>", "</BDN>"}; }

AuthoringScripts::AuthoringScripts(const std::string& folder, ScriptInfo info)
    : info_(std::move(info)), scn_(folder + kScenaristFile), bdn_(folder + kBdnFile) {
    for (const auto& line : scenaristHead(info_)) writeLine(scn_, line);
    for (const auto& line : bdnHead(info_)) writeLine(bdn_, line);
}

void AuthoringScripts::add(int32_t num, uint32_t in, uint32_t out, std::string_view picture, bool forced) {
    writeLine(scn_, scenaristEntry(num, in, out, info_.rgFrame, picture));
    for (const auto& line : bdnEntry(in, out, info_, picture, forced)) writeLine(bdn_, line);
}

void AuthoringScripts::close() {
    for (const auto& line : bdnTail()) writeLine(bdn_, line);
    scn_.close();
    bdn_.close();
}

void AuthoringScripts::writeLine(OutputFile& file, std::string_view line) {
    file.write(line);
    file.write("\r\n", 2);
}

}  // namespace vantrel
