// Texts rebuilt from their glyphs, the doubt order, relabel and undo.
#include "ocr/learned/relabel.h"

#include <algorithm>
#include <tuple>

#include "core/encoding.h"
#include "ocr/correction.h"
#include "ocr/learned/library.h"
#include "ocr/learned/reading.h"

namespace vantrel {
namespace {

// Undo steps kept; older ones are dropped.
constexpr size_t kMaxUndo = 100;

bool forcedItalic(uint8_t fontMode, bool italic) {
    if (fontMode == 0) return false;
    if (fontMode == 2) return true;
    return italic;
}

LibraryGlyph libraryGlyphOf(const ReviewGlyph& g) {
    LibraryGlyph lg;
    lg.width = g.width;
    lg.height = g.height;
    lg.rise = g.rise;
    lg.bits = g.bits;
    lg.label = g.label;
    lg.italic = g.italic;
    return lg;
}

void remember(Context& ctx, const ReviewGlyph& g) {
    GlyphLibrary& lib = ctx.prog.glyphs.library;
    putLibraryGlyph(lib, libraryGlyphOf(g));
    if (!lib.path.empty()) saveGlyphLibrary(lib, ctx.msg);
}

}  // namespace

BuiltText buildReviewText(const GlyphReview& review, const ReviewText& t) {
    BuiltText b;
    const bool tags = review.tags;
    size_t first = 0;
    while (first < t.words.size()) {
        size_t end = first + 1;
        while (end < t.words.size() && !t.words[end].lineStart) ++end;
        if (b.lines > 0) b.text += '|';
        ++b.lines;
        bool prevItalic = false;
        for (size_t w = first; w < end; ++w) {
            const ReviewWord& word = t.words[w];
            bool italic = word.italic;
            std::string text;
            for (const ReviewPiece& p : word.pieces) {
                const ReviewGlyph* g = p.glyph >= 0 && static_cast<size_t>(p.glyph) < review.glyphs.size()
                                           ? &review.glyphs[static_cast<size_t>(p.glyph)]
                                           : nullptr;
                if (g && g->userSet) {
                    text += g->label;
                } else {
                    text += p.text;
                    if (p.unknown) b.allKnown = false;
                }
            }
            for (const ReviewPiece& p : word.pieces)
                if (p.glyph >= 0 && static_cast<size_t>(p.glyph) < review.glyphs.size() &&
                    review.glyphs[static_cast<size_t>(p.glyph)].italic >= 0) {
                    italic = review.glyphs[static_cast<size_t>(p.glyph)].italic == 1;
                    break;
                }
            italic = forcedItalic(t.fontMode, italic);
            text = joinSplitLetters(text);
            b.chars += static_cast<int32_t>(charCount(text));
            if (italic) ++b.italicWords;
            else ++b.uprightWords;
            if (w > first) {
                if (tags && prevItalic && !italic) b.text += "</i>";
                b.text += ' ';
                ++b.chars;
                if (tags && !prevItalic && italic) b.text += "<i>";
            } else if (tags && italic) {
                b.text += "<i>";
            }
            b.text += text;
            prevItalic = italic;
        }
        if (tags && prevItalic) b.text += "</i>";
        first = end;
    }
    applyReplacements(b.text, review.coLang);
    return b;
}

void storeBuiltText(TSUP& sub, uint8_t fontMode, const BuiltText& built) {
    if (fontMode == kFontUndecided || fontMode == kFontAuto)
        sub.font = built.italicWords == 0 ? kFontNormal : (built.uprightWords == 0 ? kFontItalic : kFontAuto);
    sub.ocrOK = built.allKnown ? 1 : 0;
    sub.lineCount = built.lines;
    sub.charCount = built.chars;
    if (sub.locked == 0) sub.text = built.text;
}

const ReviewText* reviewTextOf(const GlyphReview& review, int32_t subtitle) {
    const auto it = std::lower_bound(review.texts.begin(), review.texts.end(), subtitle,
                                     [](const ReviewText& t, int32_t n) { return t.subtitle < n; });
    return it != review.texts.end() && it->subtitle == subtitle ? &*it : nullptr;
}

std::vector<int32_t> subtitlesUsing(const GlyphReview& review, int32_t glyph) {
    std::vector<int32_t> subs;
    if (glyph < 0 || static_cast<size_t>(glyph) >= review.glyphs.size()) return subs;
    for (const GlyphPlace& p : review.glyphs[static_cast<size_t>(glyph)].places)
        if (subs.empty() || subs.back() != p.subtitle) subs.push_back(p.subtitle);
    std::sort(subs.begin(), subs.end());
    subs.erase(std::unique(subs.begin(), subs.end()), subs.end());
    return subs;
}

std::vector<int32_t> glyphsByDoubt(const GlyphReview& review) {
    struct Key {
        int tier;
        double doubt;
        size_t uses;
        int32_t id;
    };
    std::vector<Key> keys;
    keys.reserve(review.glyphs.size());
    for (size_t i = 0; i < review.glyphs.size(); ++i) {
        const ReviewGlyph& g = review.glyphs[i];
        Key k{1, 0, g.places.size(), static_cast<int32_t>(i)};
        if (!g.known) k.tier = 0;
        else if (g.naming == GlyphNaming::User) k.tier = 3;
        else if (g.naming == GlyphNaming::Library) k.tier = 2;
        if (k.tier == 1) {
            double sum = 0, best = 0;
            for (const auto& [label, weight] : g.votes) {
                sum += weight;
                best = std::max(best, weight);
            }
            const double disagreement = sum > 0 ? 1 - best / sum : 0;
            const double fewVotes = 1 / (1 + sum);
            const double rejected = g.places.empty() ? 0 : static_cast<double>(g.rejected) / static_cast<double>(g.places.size());
            k.doubt = 2 * disagreement + fewVotes + rejected;
        }
        keys.push_back(k);
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return std::make_tuple(a.tier, -a.doubt, -static_cast<int64_t>(a.uses), a.id) <
               std::make_tuple(b.tier, -b.doubt, -static_cast<int64_t>(b.uses), b.id);
    });
    std::vector<int32_t> order;
    order.reserve(keys.size());
    for (const Key& k : keys) order.push_back(k.id);
    return order;
}

RelabelResult relabelGlyph(Context& ctx, int32_t glyph, const std::string& label, int8_t italic) {
    RelabelResult result;
    GlyphReview& review = ctx.prog.glyphs.review;
    if (glyph < 0 || static_cast<size_t>(glyph) >= review.glyphs.size() || !validGlyphLabel(label) || italic < -1 ||
        italic > 1)
        return result;
    ReviewGlyph& g = review.glyphs[static_cast<size_t>(glyph)];
    RelabelStep step;
    step.glyph = glyph;
    {
        std::vector<GlyphPlace> places = std::move(g.places);
        step.before = g;
        g.places = std::move(places);
    }
    if (const LibraryGlyph* lg = findLibraryGlyph(ctx.prog.glyphs.library, g.width, g.height, g.rise, g.bits)) {
        step.inLibrary = true;
        step.libraryBefore = *lg;
    }
    g.label = label;
    g.known = true;
    g.naming = GlyphNaming::User;
    g.userSet = true;
    g.italic = italic;
    for (int32_t n : subtitlesUsing(review, glyph)) {
        const ReviewText* t = reviewTextOf(review, n);
        if (!t || n < 1 || static_cast<size_t>(n) > ctx.prog.Subs.size()) continue;
        TSUP& sub = ctx.prog.Subs[static_cast<size_t>(n - 1)];
        if (sub.locked != 0) {
            ++result.locked;
            continue;
        }
        const RelabelStep::Record before{n, sub.text, sub.ocrOK, sub.font, sub.charCount};
        storeBuiltText(sub, t->fontMode, buildReviewText(review, *t));
        if (sub.text != before.text || sub.ocrOK != before.ocrOK || sub.font != before.font ||
            sub.charCount != before.charCount) {
            step.records.push_back(before);
            result.changed.push_back(n);
        }
    }
    remember(ctx, g);
    review.undo.push_back(std::move(step));
    if (review.undo.size() > kMaxUndo) review.undo.erase(review.undo.begin());
    ctx.prog.srtDirty = true;
    result.done = true;
    return result;
}

bool confirmGlyph(Context& ctx, int32_t glyph) {
    GlyphReview& review = ctx.prog.glyphs.review;
    if (glyph < 0 || static_cast<size_t>(glyph) >= review.glyphs.size()) return false;
    ReviewGlyph& g = review.glyphs[static_cast<size_t>(glyph)];
    if (!g.known || !validLibraryLabel(g.label)) return false;
    g.naming = GlyphNaming::User;
    remember(ctx, g);
    return true;
}

std::vector<int32_t> undoRelabel(Context& ctx) {
    std::vector<int32_t> changed;
    GlyphReview& review = ctx.prog.glyphs.review;
    if (review.undo.empty()) return changed;
    RelabelStep step = std::move(review.undo.back());
    review.undo.pop_back();
    if (step.glyph < 0 || static_cast<size_t>(step.glyph) >= review.glyphs.size()) return changed;
    ReviewGlyph& g = review.glyphs[static_cast<size_t>(step.glyph)];
    step.before.places = std::move(g.places);
    g = std::move(step.before);
    GlyphLibrary& lib = ctx.prog.glyphs.library;
    if (step.inLibrary) putLibraryGlyph(lib, std::move(step.libraryBefore));
    else removeLibraryGlyph(lib, g.width, g.height, g.rise, g.bits);
    if (!lib.path.empty()) saveGlyphLibrary(lib, ctx.msg);
    for (const RelabelStep::Record& r : step.records) {
        if (r.subtitle < 1 || static_cast<size_t>(r.subtitle) > ctx.prog.Subs.size()) continue;
        TSUP& sub = ctx.prog.Subs[static_cast<size_t>(r.subtitle - 1)];
        if (sub.locked != 0) continue;
        sub.text = r.text;
        sub.ocrOK = r.ocrOK;
        sub.font = r.font;
        sub.charCount = r.charCount;
        changed.push_back(r.subtitle);
    }
    ctx.prog.srtDirty = true;
    return changed;
}

}  // namespace vantrel
