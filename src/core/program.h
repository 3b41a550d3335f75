// Program-wide state: the subtitle table, its global values and the mode flags.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

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

struct Program {
    std::vector<TSUP> Subs;
    std::string BaseName;
    std::string eSUPfile;     // the file field: the stream the next load reads
    std::string streamFile;   // the stream the loaded table came from; pixels are read here
    bool truncated = false;   // that stream ends inside a segment; its last subtitle may be cut
    int32_t CurSub = 0;
    uint8_t SubKind = 0;
    bool Busy = false;
    bool Cancel = false;
    bool srtDirty = false;
    bool Loading = false;   // a stream load runs; a second load is refused meanwhile
    bool ocrRunning = false;
    bool uiUpdating = false;
    bool SavingPics = false;
    bool ExportingBD = false;
    bool ExportingHD = false;
    ControlStates controls;
    std::vector<std::string> mSRT;          // the SRT preview, one entry per line
    std::string lSRTfile;                   // the SRT file imported last, as shown

    // Drawing state: the palette of the subtitle drawn last, the pictures, the side panel.
    PaletteState pal;
    Pictures pics;
    SidePanel panel;
    bool italicOn = false;                  // "<i>" seen by the text renderer
    std::array<uint16_t, 10> lineY{};       // baselines of text lines 1..10, bottom first
};

}  // namespace vantrel
