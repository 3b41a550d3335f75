// DrawSub: the one place where a subtitle becomes pixels.
#pragma once

#include <cstdint>
#include <functional>

#include "core/context.h"

namespace vantrel {

// Writes the picture files of subtitle n (1-based; below 1 when there is none) from what
// DrawSub has just composed: the display picture and IndexImage with its tables.
using SavePicturesHook = std::function<void(Context& ctx, int32_t n)>;

// What DrawSub takes besides the program state and the options.
struct DrawSubView {
    bool cbFull = true;               // "FS": the fitted view; guide lines are drawn only in it
    SavePicturesHook savePictures;    // the bitmap writer's step, run at the end of every call
                                      // while SavingPics is set
};

// Composes subtitle n (1-based; n < 1 or past the table: no subtitle) for the job the mode
// flags name:
// - normal display: background picture or dark fill, guide lines, palette strip, the
//   subtitle blended in its palette colours;
// - ocrRunning: black, the subtitle two-tone (0xCCCCCC ink, black elsewhere);
// - SavingPics: black, the subtitle (two-tone with cbOCR), then view.savePictures;
// - ExportingBD/ExportingHD: only IndexImage and the palette; the display picture is left as
//   it is, as nothing reads it during an export.
// Fills the side panel data, sets CurSub, leaves inkPlane for the OCR. Errors of the stream
// file or the background picture propagate as PlatformError.
void DrawSub(Context& ctx, int32_t n, const DrawSubView& view = {});

}  // namespace vantrel
