// DVD subpictures outside "SP" streams: the VobSub pair (".idx" text index, ".sub" MPEG program
// stream) and the subpicture units of DVD tracks in containers, turned into "SP" packets.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace vantrel {

// One subpicture of an index: when it shows and where its first pack lies in the ".sub".
struct VobSubEntry {
    int64_t pts = 0;       // 90 kHz ticks, delays applied, never negative
    int64_t filepos = 0;   // offset of the pack that starts the subpicture unit
};

// One "id:" block: a language and the substream (0x20 + substream) its units travel in.
struct VobSubTrack {
    std::string language;
    int substream = 0;     // 0..31
    std::vector<VobSubEntry> entries;
};

struct VobSubIndex {
    uint16_t width = 0;    // "size:"; 0 when not given
    uint16_t height = 0;
    bool hasPalette = false;
    std::array<uint32_t, 16> palette{};   // colour values, red in bits 0..7
    std::vector<VobSubTrack> tracks;
    int defaultTrack = -1; // "langidx:", as an index into tracks; -1 when not given
    int badLines = 0;      // lines of a known key whose value could not be read
};

// Reads the text of an ".idx" (also the private data of a DVD track in Matroska, which is
// the header part of one). Unknown keys and comments are skipped; never throws.
VobSubIndex parseVobSubIndex(std::string_view text);

// The index of a ".sub" without its ".idx": every packet of substreams 0x20..0x3F that carries
// a PTS starts a subpicture there. `cut` is set when the file ends inside a packet or holds
// bytes that are no program stream.
VobSubIndex scanVobSub(InputFile& sub, bool& cut);

// A subpicture unit gathered from the payloads of its packets.
struct SpuRead {
    std::vector<uint8_t> spu;
    bool cut = false;      // the file ended, or was no program stream, before the unit did
};

// Reads the unit of `substream` whose first packet lies in the pack at `filepos` (or after it).
SpuRead readVobSubUnit(InputFile& sub, int64_t filepos, int substream);

// A DVD unit's four pixel values are shown in fixed colours (0 transparent, 1 white, 2 black,
// 3 grey). Where the unit's colour and contrast commands and the palette make another value
// the visible bright one, the values in its run-length codes are exchanged so that the
// brightest visible colour is drawn white, the darkest black and the transparent ones clear.
// The codes keep their lengths, so the unit keeps its size. Returns true when it changed it.
bool mapSpuColours(std::vector<uint8_t>& spu, const std::array<uint32_t, 16>& palette);

// True when the subpicture reader takes the unit whole: its size is its length, its control
// area lies inside it, and every command it holds is known and fits. A unit cut or damaged in
// its container is left out rather than ending the reading of all that follow it.
bool spuReadable(const std::vector<uint8_t>& spu);

// Appends a unit as one packet of an "SP" stream: "SP", u32le PTS, u32le 0, the unit.
void appendSpPacket(std::string& out, uint32_t pts, const std::vector<uint8_t>& spu);

// True for an ".idx" that starts as a VobSub index, and for a ".sub" that starts with an MPEG
// pack header. Other ".sub" files (text formats) are left alone.
bool isVobSubFile(const std::string& file);

// The two files of a pair, whichever was named; a name may be absent when no such file exists.
struct VobSubPair {
    std::string idx;
    std::string sub;
};
VobSubPair vobSubPair(const std::string& file);

}  // namespace vantrel
