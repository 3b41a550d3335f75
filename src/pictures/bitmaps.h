// Saving every subtitle as BMP and/or indexed PNG pictures, with the 1280x720 reduction and
// the authoring scripts written in the same pass.
#pragma once

#include <cstdint>
#include <string>

#include "core/context.h"
#include "render/composer.h"

namespace vantrel {

// The file name the pictures are named after: for a table made from SRT text the file name
// part of BaseName (the SRT path), for a container's track BaseName with ".sup"
// ("film.eng.sup"), else that of the stream the table was loaded from.
std::string bitmapSourceName(const Program& prog);

// The picture folder: eWorkDir, a "/" unless it is empty or ends with one, the source name
// and ".bitmaps/" (relative to the current folder when eWorkDir is empty).
std::string bitmapFolder(const Program& prog, const Options& opt);

// "line" and the 1-based table position n in four digits ("line0012"); numbers above 9999
// keep all their digits ("line12345"), so no picture overwrites another.
std::string pictureName(int64_t n);

// Reduces the 1920x1080 `source` to the 1280x720 `out` (tables taken from `pal`): every
// pixel is `background` except over the rectangles of `sub`'s slot 0 and, when it has one,
// slot 1. There each target pixel averages its 1.5 x 1.5 source pixels by area and takes
// the nearest palette colour (for SRT-made tables, `subKind` kSrtKind, the grey ramp index of
// the average). A target touching a pixel not more opaque than TranspIdx stays TranspIdx,
// unless TranspIdx itself is opaque (the OCR's all-opaque palette): then every pixel counts.
// Ranges are clipped to both pictures.
void reduceTo720p(const IndexedImage& source, const PaletteState& pal, const TSUP& sub, TableKind subKind,
                  uint8_t background, IndexedImage& out);

// The saving step DrawSub runs at the end of each call while SavingPics is set: writes
// picBase + ".bmp" (the display picture, 24 bits) with cbBMP and picBase + ".png" (IndexImage,
// or its 1280x720 reduction with cb720p) with cbPNG. `n` is DrawSub's subtitle number.
void savePictureFiles(Context& ctx, const std::string& picBase, int32_t n);

struct SaveBitmapsResult {
    std::string folder;       // where the pictures went, ending with "/"
    size_t saved = 0;         // subtitles composed and saved
    bool cancelled = false;
    bool refused = false;     // another job or a load was running
};

// The "Save bitmaps" command: composes every subtitle in saving mode into the picture folder
// (created when missing), writes both authoring scripts with cbBDN, reports progress,
// remaining time and the log lines, and stops after the subtitle during which Cancel was
// set (the scripts still get their tails). Runs as one job (SavingPics set): the busy state
// is undone on every way out and errors propagate afterwards. `view` is handed to DrawSub
// with the saving step put in. Refused while another job or a load runs.
SaveBitmapsResult saveBitmaps(Context& ctx, const DrawSubView& view = {});

}  // namespace vantrel
