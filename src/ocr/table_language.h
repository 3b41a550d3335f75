// The learned engine reads a table in the language its track or file name gives, unless the
// user picked the language.
#pragma once

#include "core/context.h"

namespace vantrel {

// When the user chose no OCR language (Options::ocrLanguageChosen), sets ctx.opt.ocrLanguage
// from the loaded table's language (prog.tableLanguage: a container track's tag or a code in
// the stream's name) and logs where it came from when it changes ("OCR language pol from
// the track"). A
// table that names no language, or one the engine does not read, gets the language the
// user had before any track changed it (Options::ocrLanguageBefore), logged for a track.
void useTableLanguage(Context& ctx);

}  // namespace vantrel
