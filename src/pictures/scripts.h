// Authoring scripts written beside the saved pictures: the Scenarist subtitle script and
// the BDN XML description, with the hh:mm:ss:ff timecodes they share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace vantrel {

inline constexpr const char* kScenaristFile = "subtitles.scn-sst";
inline constexpr const char* kBdnFile = "subtitles.bdn.xml";

// 90 kHz ticks as the non-drop timecode "hh:mm:ss:ff" of an rgFrame item (0..5: 23.976, 24,
// 25, 29.97, 50, 59.94; other items count as 0). Hours wrap at 24.
std::string ptsToTC(uint32_t ticks, int rgFrame);

// A text for an XML attribute value: UTF-8 (bytes that are no valid UTF-8, as in a name
// from an older file system, read as Windows-1252), with "&", "<", ">" and both quotes escaped.
std::string xmlAttribute(std::string_view text);

// What the heads of both scripts say about the whole table.
struct ScriptInfo {
    std::string subtitleName;   // the stream's file name, empty for a table made from SRT text
    std::string title;          // the source file name without its last extension
    bool hd720 = false;         // the PNG pictures are reduced to 1280x720
    int rgFrame = 0;
    uint32_t firstIn = 0;       // start of the first subtitle
    uint32_t lastOut = 0;       // end of the last subtitle
    size_t count = 0;
};

// The lines of both scripts, without line ends.
std::vector<std::string> scenaristHead(const ScriptInfo& info);
std::string scenaristEntry(int32_t num, uint32_t in, uint32_t out, int rgFrame, std::string_view picture);
std::vector<std::string> bdnHead(const ScriptInfo& info);
// `forced`: the subtitle shows even with subtitles switched off.
std::vector<std::string> bdnEntry(uint32_t in, uint32_t out, const ScriptInfo& info, std::string_view picture,
                                  bool forced = false);
std::vector<std::string> bdnTail();

// Both script files of one picture folder: created (replacing older ones) with their heads,
// one entry per saved subtitle, the tails on close. Lines end with CR LF; no byte-order mark.
class AuthoringScripts {
public:
    // `folder` ends with a separator or is empty. Throws PlatformError when a file cannot be
    // created.
    AuthoringScripts(const std::string& folder, ScriptInfo info);

    void add(int32_t num, uint32_t in, uint32_t out, std::string_view picture, bool forced = false);
    // Writes the tails and closes both files; throws when the data could not be written.
    void close();

private:
    static void writeLine(OutputFile& file, std::string_view line);

    ScriptInfo info_;
    OutputFile scn_;
    OutputFile bdn_;
};

}  // namespace vantrel
