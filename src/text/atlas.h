// Setting text lines with the built-in glyph atlas: measuring, drawing, line positions.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/context.h"
#include "text/atlas_data.h"

namespace vantrel {

// Five bands of 365 rows in all; the width holds every printable Windows-1252 character,
// upright and italic (tools/make_atlas.py builds the picture and the tables).
inline constexpr int kAtlasWidth = 4880;
inline constexpr int kAtlasHeight = 365;
inline constexpr int kAtlasBands = 5;

// Rows of the atlas bands 1..5 (entry k at index k - 1), inclusive; the same values serve
// the SRT import as the rows of a subtitle of k lines. Entries 6..10 are unused.
inline constexpr std::array<int32_t, 10> rowTop{0, 73, 146, 218, 291, 0, 0, 0, 0, 0};
inline constexpr std::array<int32_t, 10> rowBase{57, 130, 203, 276, 349, 0, 0, 0, 0, 0};
inline constexpr std::array<int32_t, 10> rowBottom{72, 145, 216, 288, 364, 0, 0, 0, 0, 0};

// File name of the letter set with item index `coLetters`, or "" for an unknown index.
// Only "Default" (0) exists; its atlas is built in, the file beside the program only has
// to be there.
std::string_view letterSetFileName(int coLetters);

// The glyph tables of a letter set (every index gets the one set there is).
const GlyphTable& glyphTable(int coLetters, bool italic);

// An atlas picture: palette indexes and the palette they were stored with.
struct GlyphAtlas {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;          // width * height indexes, row-major
    std::array<uint32_t, 256> colors{};   // colour values, red in the low byte

    uint8_t at(int x, int y) const {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};

// Reads atlas PNG bytes. Throws PlatformError unless they hold a paletted picture of
// kAtlasWidth x kAtlasHeight.
GlyphAtlas decodeAtlas(const uint8_t* data, size_t size);
// Reads an atlas from a file; errors as for any picture file.
GlyphAtlas loadAtlasFile(const std::string& path);
// The atlas built into the program, decoded on first use.
const GlyphAtlas& builtinAtlas();

// Fills prog.lineY from the options: the baseline of line k (k = 1 the bottom line) is
// ieLastLine - (k - 1) * ieLineSpc, kept in 16 bits. Run at start-up and whenever either
// option changes.
void fillLineY(Program& prog, const Options& opt);
// The baseline row of line `lineNo` (1..10) as a signed number; lineNo outside 1..10 has
// none (returns false).
bool lineBaseline(const Program& prog, int lineNo, int32_t& baseline);

// Measures (draw = false) or draws (draw = true) one text line (UTF-8). Characters the atlas
// lacks are drawn with FreeType; a character no font has is left out. Measuring returns the width
// in pixels: the pen position after the last glyph, before its spacing; it changes nothing
// but the italic state that "<i>" and "</i>" in the text set. Drawing puts the line on the
// baseline of line lineNo (1 = bottom line), starting at the column that centres the
// slot's x1..x2 on the display picture, and widens the slot's y1..y2 to the rows it inked
// (not during a stream export). The slot is the subtitle's first picture slot; nothing is
// drawn without one (nullptr) or for a lineNo without a baseline.
int16_t DrawLine(Context& ctx, std::string_view line, uint8_t lineNo, TSUPObject* slot, bool draw);

// Whether a line can show character c: the atlas has it, or FreeType draws it from a system
// font in the atlas's look.
bool hasGlyph(const Context& ctx, char32_t c);

// Copies one glyph box of the built-in atlas with its left edge at column x, its band's
// baseline on row `baseline`, into the pictures the current mode asks for, and widens the
// slot's rows (when there is one) to what it inked.
void DrawGlyph(Context& ctx, int32_t x, int32_t baseline, const GlyphMetrics& g, TSUPObject* slot);

}  // namespace vantrel
