// Program-wide state: the subtitle table, its global values and the mode flags.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/glyph_review.h"
#include "core/pictures.h"
#include "core/subtitle.h"

namespace vantrel {

// Enabled and shown states of the controls that jobs switch; the window applies them.
struct ControlStates {
    bool bReadSUP = false;        // enabled
    bool ProgressBar = false;     // shown
    bool WebLink = true;          // shown
    bool bCancel = false;         // enabled
    bool mSRT = true;             // shown
    bool bSaveBMP = false;        // enabled
    bool bExport = false;         // enabled
    bool bOCRall = false;         // enabled
    int ieSubs = 1;               // number box value
    int udSubsMax = 0;            // navigator maximum
};

// The video format a stream was made for: its picture size and frame-rate code (the code a
// Blu-ray composition carries: 1 = 23.976, 2 = 24, 3 = 25, 4 = 29.97, 6 = 50, 7 = 59.94).
// Zero width/height or code: not known (subpicture and SRT-made tables).
struct VideoFormat {
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t frameCode = 0;
};

// What the table holds: DVD-style subpictures (720x576, four colours), HD DVD subpictures,
// Blu-ray presentation graphics, or subtitles rendered from an SRT file.
enum TableKind : uint8_t { kDvdKind = 0, kHdDvdKind = 1, kBluRayKind = 2, kSrtKind = 3 };

// Digests of the texts and the layout of the table as they were last loaded or saved.
struct SavedWork {
    uint64_t texts = 0;
    uint64_t layout = 0;
};

struct Program {
    std::vector<TSUP> Subs;
    std::string BaseName;
    std::string eSUPfile;     // the file field: the stream the next load reads
    std::string streamFile;   // the stream the loaded table came from; pixels are read here
    // Size and modification time of streamFile when it was loaded (size -1: no stream loaded);
    // drawing refuses a file that no longer matches them.
    int64_t streamSize = -1;
    int64_t streamModified = 0;
    bool truncated = false;   // that stream ends inside a segment; its last subtitle may be cut
    // The subtitle track of a container the next load opens, as listed from 0 (-1: the first
    // picture track), and the temporary stream the loaded track was copied into (empty for a
    // stream file); the next load removes it.
    int track = -1;
    int loadedTrack = -1;   // the container track the loaded table came from, as listed
    std::string extractedStream;
    // The file the loaded table came from as the user named it: the container of a track
    // (streamFile is then the temporary copy), the stream itself otherwise.
    std::string openedFile;
    // The language the loaded table is in, as its container track tags it or as its file
    // name says ("film.pol.sup"), else empty; languageFromName tells which.
    std::string tableLanguage;
    bool languageFromName = false;
    int32_t CurSub = 0;
    TableKind SubKind = kDvdKind;
    VideoFormat video;    // of the loaded stream; reset by every load and import
    std::vector<PaletteLink> palLinks;   // earlier palette versions of the loaded stream
    bool Busy = false;
    bool Cancel = false;
    bool srtDirty = false;
    bool Loading = false;   // a stream load runs; a second load is refused meanwhile
    bool ocrRunning = false;
    bool SavingPics = false;
    bool ExportingBD = false;
    bool ExportingHD = false;
    ControlStates controls;
    SavedWork saved;                        // what a reload would not lose (table_state.h)
    std::vector<std::string> mSRT;          // the SRT preview, one entry per line
    std::string lSRTfile;                   // the SRT file imported last, as shown

    // Drawing state: the palette of the subtitle drawn last, the pictures, the side panel.
    PaletteState pal;
    Pictures pics;
    SidePanel panel;
    bool italicOn = false;                  // "<i>" seen by the text renderer
    std::array<uint16_t, 10> lineY{};       // baselines of text lines 1..10, bottom first

    // The glyphs of the last learned reading (emptied by every load and import) and the
    // user's glyph library.
    GlyphState glyphs;
};

// The video format the table's subtitles are placed in: what a Blu-ray stream names, else
// 720x576 for DVD-style subpictures and 1920x1080 for the rest; frame code 0 when unknown.
inline VideoFormat sourceVideo(const Program& p) {
    if (p.SubKind == kBluRayKind && p.video.width > 0 && p.video.height > 0) return p.video;
    if (p.SubKind == kDvdKind) return {720, 576, 0};
    return {1920, 1080, p.SubKind == kBluRayKind ? p.video.frameCode : uint8_t{0}};
}

}  // namespace vantrel
