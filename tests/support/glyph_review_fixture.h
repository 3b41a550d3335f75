// A learned reading's glyph review built in code, for the relabel tests of the core and the
// window.
#pragma once

#include <string>
#include <vector>

#include "core/program.h"
#include "ocr/learned/relabel.h"

namespace vantrel::testing {

// How a reading writes a glyph nobody could name (the OCR's unknown mark; ocr/ocr.h is not
// included here because window tests cannot take its names).
inline const std::string kUnknownText = "·";

// Fills the review as a reading leaves it: glyph k has the 4x4 bitmap of k + 1 set pixels
// and reads as labels[k] ("" for unknown); every letter a.. of a text is glyph 0.., " " parts
// words, "|" lines. The table gets one record per text, holding the text the reading wrote.
inline void fillGlyphReview(Program& prog, const std::vector<std::string>& labels,
                            const std::vector<std::string>& texts) {
    GlyphReview& r = prog.glyphs.review;
    for (size_t k = 0; k < labels.size(); ++k) {
        ReviewGlyph g;
        g.width = 4;
        g.height = 4;
        g.bits.assign(16, 0);
        for (size_t b = 0; b <= k; ++b) g.bits[b] = 1;
        g.known = !labels[k].empty();
        g.label = labels[k];
        g.naming = g.known ? GlyphNaming::Teacher : GlyphNaming::Unknown;
        r.glyphs.push_back(g);
    }
    prog.Subs.resize(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        ReviewText t;
        t.subtitle = static_cast<int32_t>(i + 1);
        bool lineStart = true, wordStart = true;
        int32_t line = 0, pos = 0;
        for (char c : texts[i]) {
            if (c == '|') {
                lineStart = wordStart = true;
                ++line;
                pos = 0;
            } else if (c == ' ') {
                wordStart = true;
            } else {
                if (wordStart) t.words.push_back({lineStart, false, {}});
                lineStart = wordStart = false;
                const int32_t id = c - 'a';
                const ReviewGlyph& g = r.glyphs[static_cast<size_t>(id)];
                t.words.back().pieces.push_back({id, !g.known, g.known ? g.label : kUnknownText});
                r.glyphs[static_cast<size_t>(id)].places.push_back({t.subtitle, line, pos++});
            }
        }
        prog.Subs[i].font = t.fontMode;
        storeBuiltText(prog.Subs[i], t.fontMode, buildReviewText(r, t));
        r.texts.push_back(t);
    }
}

}  // namespace vantrel::testing
