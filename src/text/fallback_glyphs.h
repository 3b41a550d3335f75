// Glyphs the built-in atlas lacks (Polish, Czech, Greek, Cyrillic letters and the like),
// drawn at run time with FreeType from a system font in the atlas's look: the same face and
// size where the font has the character, white fill with grey edges and a one-pixel black
// outline, and metrics that move the pen as the atlas's glyphs do.
#pragma once

#include <cstdint>
#include <vector>

namespace vantrel {

// One drawn glyph. `cells` holds rows x cols atlas values (1 = background); row `above` is
// the baseline row. width, kernBefore and kernAfter move the pen as GlyphMetrics do.
struct DrawnGlyph {
    int32_t width = 0;
    int32_t kernBefore = 0;
    int32_t kernAfter = 0;
    int32_t cols = 0;
    int32_t rows = 0;
    int32_t above = 0;
    std::vector<uint8_t> cells;
};

// The glyph of character c in the upright or italic style, drawn on first use and kept for
// the program's life; nullptr when FreeType or every font lacks it. Safe from several
// threads.
const DrawnGlyph* fallbackGlyph(char32_t c, bool italic);

}  // namespace vantrel
