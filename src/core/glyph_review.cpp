// Names of the ways a glyph gets its label.
#include "core/glyph_review.h"

namespace vantrel {

const char* glyphNamingName(GlyphNaming naming) {
    switch (naming) {
        case GlyphNaming::Unknown: return "unknown";
        case GlyphNaming::Teacher: return "teacher";
        case GlyphNaming::Vote: return "vote";
        case GlyphNaming::Similar: return "similar";
        case GlyphNaming::Dictionary: return "dictionary";
        case GlyphNaming::User: return "user";
        case GlyphNaming::Library: return "library";
    }
    return "unknown";
}

}  // namespace vantrel
