// Colour conversion and the palette a subtitle is drawn with.
#pragma once

#include <cstdint>

#include "core/context.h"

namespace vantrel {

// Size the display picture takes for the rest of a composition.
struct PictureSize {
    int width = kScreenWidth;
    int height = kScreenHeight;
};

inline constexpr PictureSize kDvdPictureSize{720, 576};

// Studio-range conversion to a colour value (red in the low byte), BT.601 unless told.
Color YCrCbToRGB(uint8_t Y, uint8_t Cr, uint8_t Cb, ColorMatrix matrix = ColorMatrix::BT601);

// The ink threshold colour for a cut level: L + 256 L + 65536 L.
uint32_t cutThresholdFor(int level);

// Builds the palette of Subs[index] into ctx.prog.pal, reading the stream the table was
// loaded from. `size` gets the display picture size when the subtitle's kind sets one and
// is left alone otherwise. Throws PlatformError when the stream cannot be opened or the
// palette reaches past its end.
void setpal(Context& ctx, int32_t index, PictureSize* size = nullptr);

// The palette index whose colour is nearest to (R, G, B) by the sum of channel
// differences; the first index wins a tie.
uint8_t NearestColor(const PaletteState& pal, int32_t R, int32_t G, int32_t B);

}  // namespace vantrel
