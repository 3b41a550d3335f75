// The learned engine's view of a picture: ink, text lines, glyph segments, and the table of
// distinct glyph bitmaps (clusters) shared by the whole stream.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/glyph_review.h"
#include "core/pictures.h"

namespace vantrel {

// One bit of ink per pixel (0 or 1), row-major.
struct InkMask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bits;

    uint8_t at(int x, int y) const { return bits[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// Which palette entries are ink. `counts` holds how many pixels use each entry. Of the most
// used opaque entry and the most used opaque entry far from it, the darker is the outline
// and the lighter the fill; each opaque entry is ink when it lies nearer the fill. Without
// a second colour every opaque entry is ink, so coloured text stays ink whatever its hue.
std::array<bool, 256> inkEntries(const PaletteState& pal, const std::array<uint32_t, 256>& counts);

// The ink of a plane of palette indexes.
InkMask inkMask(const std::vector<uint8_t>& indexes, int width, int height, const PaletteState& pal);

// Which entries are ink when the colours cannot tell (a DVD subpicture shown through a fixed
// colour table, where the outline may take the white entry): of the opaque entries in use,
// the outline is the one that touches the transparent background most, the fill the one
// that touches it least; every opaque entry nearer the fill in that measure is ink.
std::array<bool, 256> inkEntriesByEdges(const std::vector<uint8_t>& indexes, int width, int height,
                                        const PaletteState& pal);

// Where a glyph sits against its line's baseline; part of a cluster's key so a comma and an
// apostrophe of the same shape stay apart.
enum class Rise : uint8_t { Base = 0, Below = 1, Raised = 2 };

// A distinct glyph bitmap and what the engine knows of it.
struct Cluster {
    int width = 0;
    int height = 0;
    Rise rise = Rise::Base;
    uint8_t parts = 1;               // connected parts (i, j, accents, : ; have more than one)
    std::vector<uint8_t> bits;       // width * height, 0 or 1
    int32_t count = 0;               // occurrences in the stream
    bool known = false;
    std::string label;               // UTF-8 text, one or two characters
    std::map<std::string, double> votes;
    float slant = 0;                 // best deslant shear, 0 for upright or symmetric shapes
    int8_t lean = 0;                 // +1 italic, -1 upright, 0 cannot tell
    bool slantDone = false;
    GlyphNaming naming = GlyphNaming::Unknown;
    int8_t italic = -1;              // set by the library: -1 each word decides, 0 upright, 1 italic
    std::map<std::string, double> tally;   // the votes that named it, kept for review
    int32_t group = -1;              // the first bitmap of its shape group (itself when it began one)
    int32_t ink = 0;                 // pixels set
};

// Whether two bitmaps draw one shape: the same letter rendered at another fraction of a
// pixel, which moves its anti-aliased edge by a pixel here and there. Aligned by their ink's
// centre (and a pixel either way), hardly any pixel of either lies more than a pixel away
// from the other's ink; a stroke that one has and the other lacks (the bar of e against c,
// the join of m against r n, a slant against an upright stem) keeps them apart.
bool sameShape(const uint8_t* a, int aw, int ah, const uint8_t* b, int bw, int bh);

// The 64-bit hash a bitmap is indexed by (size, rise and bits).
uint64_t glyphHash(int width, int height, Rise rise, const std::vector<uint8_t>& bits);

// All distinct bitmaps of a stream: identical bitmaps (same size, rise and bits) share one
// entry, found by a 64-bit hash and an exact compare. A new bitmap of the same shape as an
// earlier one (sameShape, size within a pixel, same rise and parts) joins that one's group,
// so the variants of one letter are read once and named together.
class ClusterTable {
public:
    // The cluster of a bitmap; a new one when it was not seen before. Counts the occurrence.
    int32_t add(int width, int height, Rise rise, uint8_t parts, std::vector<uint8_t>&& bits);
    // The clusters of one group, the group's first one first.
    const std::vector<int32_t>& members(int32_t id) const { return members_[static_cast<size_t>(clusters_[static_cast<size_t>(id)].group)]; }
    std::vector<Cluster>& all() { return clusters_; }
    const std::vector<Cluster>& all() const { return clusters_; }
    Cluster& operator[](int32_t id) { return clusters_[static_cast<size_t>(id)]; }
    const Cluster& operator[](int32_t id) const { return clusters_[static_cast<size_t>(id)]; }

private:
    int32_t groupOf(int width, int height, Rise rise, uint8_t parts, const std::vector<uint8_t>& bits);

    std::vector<Cluster> clusters_;
    std::unordered_multimap<uint64_t, int32_t> byHash_;
    std::unordered_map<uint64_t, std::vector<int32_t>> leaders_;   // size, rise, parts -> first bitmaps of groups
    std::vector<std::vector<int32_t>> members_;                    // by group leader
};

// One glyph segment placed in its line: a cluster at a position (inclusive box).
struct Glyph {
    int32_t cluster = -1;   // -1: too large to learn; always unknown
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct TextLine {
    int32_t top = 0;
    int32_t bottom = 0;       // inclusive
    int32_t baseline = 0;     // the row most glyphs end on
    std::vector<Glyph> glyphs;   // left to right
    int32_t spaceGap = 0;     // the gap from which on a space is written for this line's text size (0: the stream's)
};

// Bitmaps larger than this are not learnt (a filled rectangle, a picture): always unknown.
inline constexpr int64_t kMaxClusterPixels = 200000;

// More connected parts than any subtitle of text has: a picture of specks.
inline constexpr int64_t kMaxPartsPerPicture = 6000;

// The text lines of a mask, top to bottom, with their glyph segments: lines from the row
// projection (an accent band joins the line under it; two lines that share rows are cut at
// the valley between their bodies, and each part goes to the line whose body holds it),
// segments as 8-connected parts with vertically stacked parts merged (i, j, accents,
// : ; ! ?) and quote marks paired. A mask of more than `maxParts` parts gives no lines and
// sets `overBudget`.
std::vector<TextLine> cutLines(const InkMask& mask, ClusterTable& table, int64_t maxParts = kMaxPartsPerPicture,
                               bool* overBudget = nullptr);

}  // namespace vantrel
