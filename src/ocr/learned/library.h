// The user's glyph library: labels the user set or confirmed, keyed by the exact glyph bitmap,
// consulted before Tesseract so the next stream in the same font needs few or no teacher reads.
//
// File format (UTF-8 text, LF or CR LF line ends):
//
//   VANTREL GLYPH LIBRARY
//   version 1
//   glyph WIDTH HEIGHT RISE ITALIC BITS LABEL
//   ...
//   end COUNT
//
// The first line is the magic line, the second the format version (this program reads 1).
// Each "glyph" line holds one bitmap: WIDTH and HEIGHT in pixels (1..4096, at most 200000
// pixels), RISE where it sits against the baseline (0 on it, 1 below, 2 raised), ITALIC (-1
// each word decides, 0 upright, 1 italic), BITS the WIDTH * HEIGHT pixels row by row, four to
// a hexadecimal digit, first pixel in the highest bit, the last digit padded with zero bits,
// and LABEL the text the glyph reads as (1..8 characters) with every byte below "!", "%" and
// DEL written as "%XX". Lines starting with "#" and empty lines are skipped. "end COUNT"
// closes the file and names how many glyph lines it holds, so a cut-off file is recognised.
// A bitmap is found by its hash and confirmed by comparing size, rise and every pixel; when a
// bitmap comes twice the later line wins.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/glyph_review.h"
#include "core/message_log.h"

namespace vantrel {

inline constexpr std::string_view kGlyphLibraryMagic = "VANTREL GLYPH LIBRARY";
inline constexpr int kGlyphLibraryVersion = 1;
inline constexpr size_t kMaxGlyphLabel = 8;

// A library file that cannot be read; the message names the file and the fault.
class GlyphLibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether the user can give a glyph this label: 1..kMaxGlyphLabel characters of valid UTF-8,
// no control characters and no "|" (which separates lines in the texts).
bool validGlyphLabel(std::string_view label);
// Whether the library can hold a label: as above, but "|" may stand (Tesseract's bar, which
// the texts write as I or l).
bool validLibraryLabel(std::string_view label);

// The entry of a bitmap, or null.
const LibraryGlyph* findLibraryGlyph(const GlyphLibrary& lib, int32_t width, int32_t height, uint8_t rise,
                                     const std::vector<uint8_t>& bits);
// The entry of a bitmap, or else of a bitmap drawing the same shape (the letter at another
// fraction of a pixel, see sameShape; size within a pixel, same rise), or null.
const LibraryGlyph* findLibraryShape(const GlyphLibrary& lib, int32_t width, int32_t height, uint8_t rise,
                                     const std::vector<uint8_t>& bits);
// Adds a glyph or replaces the entry of the same bitmap.
void putLibraryGlyph(GlyphLibrary& lib, LibraryGlyph glyph);
// Takes a bitmap's entry out; false when it had none.
bool removeLibraryGlyph(GlyphLibrary& lib, int32_t width, int32_t height, uint8_t rise,
                        const std::vector<uint8_t>& bits);

// A bitmap as the file writes it: four pixels to a hexadecimal digit, first in the highest bit.
std::string bitmapHex(const std::vector<uint8_t>& bits);

// The file text of a library, and the glyphs of a file text (throws GlyphLibraryError; `name`
// is the file name the messages use).
std::string glyphLibraryText(const GlyphLibrary& lib);
std::vector<LibraryGlyph> parseGlyphLibrary(std::string_view text, const std::string& name);

// Reads the library kept at lib.path into lib; a missing file is an empty library. Throws
// GlyphLibraryError or PlatformError with lib left as it was.
void loadGlyphLibrary(GlyphLibrary& lib);
// Writes lib to lib.path through a temporary file renamed over it (its folder is created).
// A file that cannot be written (read-only, no room) is reported once in the log; the library
// keeps working in memory. Returns false then, and also when lib.path is empty.
bool saveGlyphLibrary(GlyphLibrary& lib, MessageLog& msg);
// Writes the library to another file (sharing it); throws PlatformError.
void exportGlyphLibrary(const GlyphLibrary& lib, const std::string& file);
// Adds the glyphs of a library file to lib (a bitmap lib already holds takes the file's label)
// and returns how many it read. Throws GlyphLibraryError or PlatformError with lib untouched.
size_t importGlyphLibrary(GlyphLibrary& lib, const std::string& file);

// The library file beside the per-user settings: $XDG_CONFIG_HOME (else ~/.config)
// "/Corvane Labs/glyph-library.txt"; empty when neither is set.
std::string defaultGlyphLibraryPath();

}  // namespace vantrel
