// "info": loads a stream and prints its subtitle table, as text or JSON.
#include <cstdio>
#include <iostream>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "core/encoding.h"

namespace vantrel::cli {
namespace {

nlohmann::json slotJson(const TSUPObject& o, uint8_t subKind) {
    nlohmann::json j;
    j["id"] = o.id;
    j["x1"] = o.x1;
    j["x2"] = o.x2;
    j["y1"] = o.y1;
    j["y2"] = o.y2;
    j["parts"] = o.parts;
    // Subpicture packets carry two field starts and one length for the whole pixel area.
    const bool subpicture = subKind <= 1;
    const size_t positions = subpicture ? 2 : o.parts;
    const size_t lengths = subpicture ? 1 : o.parts;
    auto pos = nlohmann::json::array();
    auto len = nlohmann::json::array();
    for (size_t k = 0; k < positions && k < o.partPos.size(); ++k) pos.push_back(o.partPos[k]);
    for (size_t k = 0; k < lengths && k < o.partLen.size(); ++k) len.push_back(o.partLen[k]);
    j["partPos"] = pos;
    j["partLen"] = len;
    return j;
}

nlohmann::json tableJson(const Program& p) {
    nlohmann::json out;
    out["SubKind"] = p.SubKind;
    out["BaseName"] = cp1252ToUtf8(p.BaseName);
    out["truncated"] = p.truncated;
    auto subs = nlohmann::json::array();
    for (const TSUP& s : p.Subs) {
        nlohmann::json j;
        j["num"] = s.num;
        // Subpicture tables lie inside the control area; the listing keeps one "palPos" key
        // for both kinds of stream.
        j["palPos"] = p.SubKind <= 1 ? s.ctrlPalOffset : s.palPos;
        j["alphaPos"] = s.ctrlAlphaOffset;
        j["palCount"] = s.palCount;
        j["startPTS"] = s.startPTS;
        j["endPTS"] = s.endPTS;
        j["startTime"] = s.startTime;
        j["endTime"] = s.endTime;
        j["text"] = cp1252ToUtf8(s.text);
        j["font"] = s.font;
        j["ocrOK"] = s.ocrOK;
        j["locked"] = s.locked;
        j["lineCount"] = s.lineCount;
        j["charCount"] = s.charCount;
        j["obj"] = {slotJson(s.obj[0], p.SubKind), slotJson(s.obj[1], p.SubKind)};
        subs.push_back(std::move(j));
    }
    out["Subs"] = std::move(subs);
    return out;
}

void printTable(const Program& p) {
    static const char* kinds[] = {"DVD-style subpictures", "HD DVD subpictures",
                                  "Blu-ray presentation graphics", "SRT text"};
    std::cout << (p.SubKind < 4 ? kinds[p.SubKind] : "?") << ", " << p.Subs.size() << " subtitles\n";
    std::printf("%5s  %-12s  %-12s  %-21s  %5s  %s\n", "num", "start", "end", "area", "parts", "text");
    std::fflush(stdout);
    for (const TSUP& s : p.Subs) {
        const TSUPObject& o = s.obj[0].partLen[0] == 0 && s.obj[1].parts ? s.obj[1] : s.obj[0];
        char area[64];
        std::snprintf(area, sizeof area, "%u,%u-%u,%u", o.x1, o.y1, o.x2, o.y2);
        std::printf("%5d  %-12s  %-12s  %-21s  %5u  %s\n", s.num, s.startTime.c_str(),
                    s.endTime.empty() ? "-" : s.endTime.c_str(), area, o.parts,
                    cp1252ToUtf8(s.text).c_str());
    }
    std::fflush(stdout);
}

int runInfo(const Args& args) {
    if (args.positional.size() != 1) {
        std::cerr << "vantrel-cli info: one FILE is needed\n";
        return kUsage;
    }
    Session s;
    if (!applySets(args, s.opt)) return kUsage;
    if (args.has("--details")) s.opt.cbDetails = true;
    const int status = loadInput(s, args.positional[0]);
    if (status != kOk) return status;
    if (args.has("--json")) std::cout << tableJson(s.prog).dump(1) << '\n';
    else printTable(s.prog);
    return s.prog.truncated ? kTruncated : kOk;
}

const bool registered = registerSubcommand({
    "info",
    "info FILE [--details] [--json]",
    "Loads FILE and prints its subtitle table. The log goes to stderr. A stream that ends\n"
    "inside a segment prints what it holds, with a warning, and exits with status 3.\n"
    "  --details         dump every segment or packet into the log\n"
    "  --json            print the table as one JSON object\n",
    {"--details", "--json"},
    {},
    runInfo,
});

}  // namespace
}  // namespace vantrel::cli
