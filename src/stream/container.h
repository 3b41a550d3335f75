// Subtitle tracks inside film containers (Matroska, MPEG transport and program streams, MP4),
// read through libavformat, and the tracks of a VobSub pair (".idx" and ".sub"), read by the
// program itself. Only the subtitle streams are demuxed; every other stream is discarded at
// the demuxer, so video and audio are never copied or decoded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/context.h"
#include "stream/load.h"

namespace vantrel {

// One subtitle stream of a container.
struct SubtitleTrack {
    int index = 0;          // position among the container's subtitle tracks, from 0
    int stream = 0;         // the demuxer's stream number
    std::string codec;      // libavcodec's codec name ("hdmv_pgs_subtitle", "subrip", ...)
    bool picture = false;   // the codec draws pictures (text codecs need no OCR)
    bool pgs = false;       // Blu-ray presentation graphics
    bool dvd = false;       // DVD subpictures ("dvd_subtitle"; every track of a VobSub pair)
    std::string language;   // as the container tags it ("eng"), or empty
    std::string title;
    bool forced = false;
    bool isDefault = false;
    int64_t packets = 0;    // counted by listTracks when asked
};

struct ContainerInfo {
    std::string format;                    // the demuxer's name ("matroska,webm", "mpegts", ...), "vobsub"
    std::vector<SubtitleTrack> tracks;
    std::vector<std::string> otherStreams; // "video h264", "audio aac", ... for messages
    bool damaged = false;                  // counting packets met a read error or a cut
};

// True when libavformat recognises the file's content as one of the containers read here, or
// the file is either half of a VobSub pair. Raw streams and text files are left to their own
// readers.
bool isContainer(const std::string& file);

// True for the ".sub" of a VobSub pair whose ".idx" lies beside it: the pair opens through
// either name, so a run over a folder reads it once, through the ".idx".
bool isVobSubDataBesideIndex(const std::string& file);

// Lists the subtitle tracks; with countPackets it reads the whole file (subtitle packets
// only) to count them. MPEG program streams (".vob", ".mpg") announce their streams only as
// their packets come, so they are always read through. A VobSub pair's tracks are its
// index's "id:" blocks with their entries as packets. Throws PlatformError when the file is
// no readable container.
ContainerInfo listTracks(const std::string& file, bool countPackets);

// What copying a PGS track into a stream file did.
struct PgsCopy {
    int64_t packets = 0;
    int64_t segments = 0;
    bool damaged = false;   // a read error, a cut packet or a cut file ended the copy early
    bool cancelled = false; // the progress callback stopped it
};

// Told the bytes read so far and the file's size while a track is copied; false stops.
using CopyProgress = std::function<bool(int64_t done, int64_t size)>;

// Writes the PGS track `stream` (a demuxer stream number) as a Blu-ray ".sup" stream: each
// segment with its "PG" header and the packet's times in 90 kHz units. Throws
// PlatformError when the container or the output cannot be opened.
PgsCopy copyPgsTrack(const std::string& file, int stream, const std::string& supFile,
                     const CopyProgress& progress = {});

// What copying a DVD subpicture track did: its units, as "SP" packets.
struct DvdCopy : PgsCopy {
    bool palette = false;   // the track's private data held a palette
    int64_t mapped = 0;     // units whose colours were exchanged to show its bright colour white
    int64_t reordered = 0;  // units earlier than the one before them (written in time order)
};

// Writes the DVD subpicture track `stream` as an "SP" stream: each unit (gathered from its
// packets where the container splits them) with its time, in time order. The palette of the track's
// private data (the header of a VobSub index) decides which colours show bright.
DvdCopy copyDvdTrack(const std::string& file, int stream, const std::string& spFile,
                     const CopyProgress& progress = {});

// "#2 hdmv_pgs_subtitle eng \"Commentary\" default forced, 120 packets"
std::string describeTrack(const SubtitleTrack& t, bool withPackets);

// Loads a container's picture subtitle track into the table: ctx.prog.track (index as
// listed, -1 the first Blu-ray track, else the first picture track; for a VobSub pair the
// first track). The track is copied into a temporary stream that
// lives until the next load or the end of the program; the table reads its pixels there.
// Called by Load() for containers after the table was emptied; sets st as the Blu-ray or
// subpicture reader does and points prog.streamFile at the temporary stream.
LoadResult readContainer(Context& ctx, LoadState& st, const std::string& file);

// Removes the temporary stream of the table loaded before, if any.
void dropExtractedStream(Program& prog);

}  // namespace vantrel
