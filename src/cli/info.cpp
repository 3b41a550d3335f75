// "info": loads a stream and prints its subtitle table, as text or JSON.
#include <charconv>
#include <cstdio>
#include <string_view>
#include <type_traits>
#include <iostream>

#include "cli/cli.h"
#include "cli/json_text.h"
#include "core/encoding.h"
#include "platform/files.h"
#include "stream/container.h"

namespace vantrel::cli {
namespace {

void writeSlot(JsonText& j, const TSUPObject& o, TableKind subKind) {
    j.open('{');
    j.field("id", o.id);
    j.field("x1", o.x1);
    j.field("x2", o.x2);
    j.field("y1", o.y1);
    j.field("y2", o.y2);
    j.field("parts", o.parts);
    j.field("forced", o.forced);
    // Subpicture packets carry two field starts and one length for the whole pixel area.
    const bool subpicture = subKind == kDvdKind || subKind == kHdDvdKind;
    const size_t positions = subpicture ? 2 : o.parts;
    const size_t lengths = subpicture ? 1 : o.parts;
    j.numbers("partPos", o.partPos, positions);
    j.numbers("partLen", o.partLen, lengths);
    j.close('}');
}

void writeTableJson(const Program& p, std::FILE* out) {
    JsonText j(out);
    j.open('{');
    j.field("SubKind", p.SubKind);
    j.key("BaseName");
    j.fileName(p.BaseName);
    j.field("truncated", p.truncated);
    const VideoFormat video = sourceVideo(p);
    j.key("video");
    j.open('{');
    j.field("width", video.width);
    j.field("height", video.height);
    j.field("frameCode", video.frameCode);
    j.close('}');
    j.key("Subs");
    j.open('[');
    for (const TSUP& s : p.Subs) {
        j.newline();
        j.open('{');
        j.field("num", s.num);
        // Subpicture tables lie inside the control area; the listing keeps one "palPos" key
        // for both kinds of stream.
        const bool subpictures = p.SubKind == kDvdKind || p.SubKind == kHdDvdKind;
        j.field("palPos", subpictures ? s.ctrlPalOffset : s.palPos);
        j.field("alphaPos", s.ctrlAlphaOffset);
        j.field("palCount", s.palCount);
        j.field("startPTS", s.startPTS);
        j.field("endPTS", s.endPTS);
        j.field("startTime", std::string_view(s.startTime));
        j.field("endTime", std::string_view(s.endTime));
        j.field("text", std::string_view(s.text));
        j.field("font", s.font);
        j.field("ocrOK", s.ocrOK);
        j.field("locked", s.locked);
        j.field("lineCount", s.lineCount);
        j.field("charCount", s.charCount);
        j.field("forced", s.forced);
        j.key("obj");
        j.open('[');
        writeSlot(j, s.obj[0], p.SubKind);
        writeSlot(j, s.obj[1], p.SubKind);
        j.close(']');
        j.close('}');
        j.pass();
    }
    j.newline();
    j.close(']');
    j.close('}');
    j.finish();
}

const char* kindName(TableKind kind) {
    switch (kind) {
        case kDvdKind: return "DVD-style subpictures";
        case kHdDvdKind: return "HD DVD subpictures";
        case kBluRayKind: return "Blu-ray presentation graphics";
        case kSrtKind: return "SRT text";
    }
    return "?";
}

void printTable(const Program& p) {
    std::cout << kindName(p.SubKind) << ", " << p.Subs.size() << " subtitles\n";
    std::printf("%5s  %-12s  %-12s  %-21s  %5s  %s\n", "num", "start", "end", "area", "parts", "text");
    std::fflush(stdout);
    for (const TSUP& s : p.Subs) {
        const TSUPObject& o = s.obj[0].partLen[0] == 0 && s.obj[1].parts ? s.obj[1] : s.obj[0];
        char area[64];
        std::snprintf(area, sizeof area, "%u,%u-%u,%u", o.x1, o.y1, o.x2, o.y2);
        std::printf("%5d  %-12s  %-12s  %-21s  %5u  %s\n", s.num, s.startTime.c_str(),
                    s.endTime.empty() ? "-" : s.endTime.c_str(), area, o.parts,
                    asUtf8(s.text).c_str());
    }
    std::fflush(stdout);
}

void writeTracksJson(const ContainerInfo& info, std::FILE* out) {
    JsonText j(out);
    j.open('{');
    j.key("format");
    j.fileName(info.format);
    j.field("damaged", info.damaged);
    j.key("tracks");
    j.open('[');
    for (const SubtitleTrack& t : info.tracks) {
        j.newline();
        j.open('{');
        j.field("index", t.index);
        j.field("stream", t.stream);
        // Names and tags come from the container in UTF-8.
        j.key("codec");
        j.fileName(t.codec);
        j.field("picture", t.picture);
        j.key("language");
        j.fileName(t.language);
        j.key("title");
        j.fileName(t.title);
        j.field("forced", t.forced);
        j.field("default", t.isDefault);
        j.field("packets", t.packets);
        j.close('}');
    }
    j.newline();
    j.close(']');
    j.key("other");
    j.open('[');
    for (const std::string& s : info.otherStreams) j.fileName(s);
    j.close(']');
    j.close('}');
    j.finish();
}

void printTracks(const ContainerInfo& info) {
    std::cout << info.format << " container, " << info.tracks.size() << " subtitle track"
              << (info.tracks.size() == 1 ? "" : "s") << "\n";
    std::printf("%5s  %-20s  %-8s  %-22s  %7s  %s\n", "track", "codec", "language", "flags", "packets", "title");
    for (const SubtitleTrack& t : info.tracks) {
        std::string flags = t.picture ? "picture" : "text";
        if (t.isDefault) flags += ",default";
        if (t.forced) flags += ",forced";
        std::printf("%5d  %-20s  %-8s  %-22s  %7lld  %s\n", t.index, t.codec.c_str(),
                    t.language.empty() ? "-" : t.language.c_str(), flags.c_str(),
                    static_cast<long long>(t.packets), t.title.c_str());
    }
    for (const std::string& s : info.otherStreams) std::printf("%5s  %s\n", "-", s.c_str());
    std::fflush(stdout);
}

// "info FILE --tracks": the subtitle tracks of a container, without loading one.
int runTracks(const Args& args) {
    const std::string& file = args.positional[0];
    try {
        { InputFile readable(file); }   // a missing file is said as for every other command
        if (!isContainer(file)) {
            std::cerr << file << " is no film container (MKV, M2TS, TS, MP4): a stream file holds one track.\n";
            return kFailed;
        }
        const ContainerInfo info = listTracks(file, true);
        if (args.has("--json")) writeTracksJson(info, stdout);
        else printTracks(info);
        std::fflush(stdout);
        if (info.damaged) {
            std::cerr << file << " ends early or is damaged: the packets were counted up to there.\n";
            return kTruncated;
        }
    } catch (const PlatformError& e) {
        std::cerr << e.what() << '\n';
        return kFailed;
    }
    return kOk;
}

int runInfo(const Args& args) {
    if (args.positional.size() != 1) {
        std::cerr << "vantrel-cli info: one FILE is needed\n";
        return kUsage;
    }
    Session s;
    if (!applySets(args, s.opt) || !applyTrack(args, s)) return kUsage;
    if (args.has("--tracks")) return runTracks(args);
    if (args.has("--details")) s.opt.cbDetails = true;
    const int status = loadInput(s, args.positional[0]);
    if (status != kOk) return status;
    if (args.has("--json")) {
        writeTableJson(s.prog, stdout);
        std::fflush(stdout);
    } else {
        printTable(s.prog);
    }
    return s.prog.truncated ? kTruncated : kOk;
}

const bool registered = registerSubcommand({
    "info",
    "info FILE [--details] [--json] [--track N | --lang CODE | --tracks]",
    "Loads FILE and prints its subtitle table. The log goes to stderr. A stream that ends\n"
    "inside a segment prints what it holds, with a warning, and exits with status 3.\n"
    "  --details         dump every segment or packet into the log\n"
    "  --json            print the table as one JSON object\n"
    + std::string(kTrackHelp) +
    "  --tracks          list the subtitle tracks of a container (codec, language, flags,\n"
    "                    packets) and its other streams instead of loading one\n",
    {"--details", "--json", "--tracks"},
    {"--track", "--lang"},
    runInfo,
});

}  // namespace
}  // namespace vantrel::cli
