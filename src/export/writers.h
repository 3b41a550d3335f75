// The Blu-ray and HD DVD stream writers and the export around them.
#pragma once

#include <cstdint>
#include <string>

#include "core/context.h"
#include "core/frame_rate.h"

namespace vantrel {

struct YCrCb {
    uint8_t y, cr, cb;
};
YCrCb RGBToYCrCb(uint32_t color, ColorMatrix matrix = ColorMatrix::BT601);

// The colour a writer stores for palette index i of a picture written with `matrix`: the
// stream's own entry when the palette came from a stream converted with the same matrix
// (an unmodified picture keeps its values exactly), else the converted display colour.
// Transparent entries carry black, so scaling in a player blends no stray colour into the
// edges of the ink.
YCrCb paletteEntry(const PaletteState& pal, size_t i, ColorMatrix matrix);

// The frame-rate code an export writes: the source's when the stream named one and the user
// chose none (Options::frameChosen), else the code of rgFrame.
uint8_t exportFrameCode(const Context& ctx);

// Writes the whole table as a Blu-ray presentation graphics stream / HD DVD subpicture
// stream to `fileName`. Stops after the subtitle during which Cancel was set. Returns how
// many log lines it added (one per subtitle whose end it supplied or that it passed over).
int expBD(Context& ctx, const std::string& fileName);
int expHD(Context& ctx, const std::string& fileName);

// "<name>.<BD|HDDVD>.<rate>.sup" from BaseName, the format and the frame rate. The whole
// base name stays ("film.en" and "film.fr" give different files); only a stream or SRT
// extension left on it is cut.
std::string exportFileName(const std::string& baseName, int rgFormat, int rgFrame);
// The same for the loaded table with the frame rate the export writes.
std::string exportFileName(const Context& ctx);

enum class ExportResult { Done, Cancelled, Refused };

// Runs the writer that rgFormat names into `fileName` through a temporary file beside it,
// which takes the target's name at the end (also after a cancel, keeping what was written).
// On an error the temporary file goes and an older file of that name stays untouched.
// The caller owns the busy state and the export flag. Returns the writer's count of log lines.
int writeStreamFile(Context& ctx, const std::string& fileName);

// The export command: runs the chosen writer into `fileName` with the busy state, progress
// and log lines around it. The stream goes to a temporary file beside the target that takes
// the target's name at the end, so a failure never leaves a half-written file or destroys an
// older one; a cancelled export keeps what was written. Refused while another job runs and
// for an empty table.
// Errors propagate after the state is restored.
ExportResult exportStream(Context& ctx, const std::string& fileName);

}  // namespace vantrel
