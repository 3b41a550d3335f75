// Segmentation of an ink plane into lines and glyph slots, and the text built from them.
#include "ocr/ocr.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "core/encoding.h"
#include "ocr/classifier.h"
#include "ocr/correction.h"

namespace vantrel {

OcrSettings OcrSettings::from(const Options& opt) {
    OcrSettings s;
    s.spaceWidth = opt.ieSpaceWidth;
    s.spaceWidthJ = opt.ieSpaceWmin;
    s.skewMul = std::max(opt.ieMUL, 1);
    s.skewDiv = std::max(opt.ieDIV, 1);
    s.tags = opt.cbTags;
    return s;
}

int32_t Segmentation::slotCount() const {
    int32_t n = 0;
    for (const LineBand& l : lines) n += l.count();
    return n;
}

namespace {

constexpr int64_t kPlaneW = InkPlaneView::kWidth;
constexpr int64_t kPlaneH = InkPlaneView::kHeight;

// Slanted scans see up to this many columns past the bitmap's right edge.
constexpr int64_t kItalicReach = 15;

// Lines shorter than this many rows do not end at an empty row: dots and accents stay with
// the letters below them.
constexpr int32_t kMinLineHeight = 16;

// Pairs whose glyphs overhang each other, so that the gap test cannot see the space
// between them.
bool overhangingPair(uint16_t prev, uint16_t cur, bool slanted) {
    if (prev > 0x7F || cur > 0x7F) return false;
    static constexpr std::array<std::string_view, 7> kPairs = {"cj", "fj", "tj", "yj", "fA", "fw", "tw"};
    const std::size_t used = slanted ? kPairs.size() : kPairs.size() - 1;   // "tw" only slanted
    for (std::size_t i = 0; i < used; ++i)
        if (kPairs[i][0] == static_cast<char>(prev) && kPairs[i][1] == static_cast<char>(cur)) return true;
    return false;
}

class Segmenter {
public:
    Segmenter(InkPlaneView plane, int32_t width, int32_t height, uint8_t font, const OcrSettings& settings)
        : plane_(plane),
          w_(width),
          h_(height),
          font_(font),
          set_(settings),
          skewMul_(std::max(settings.skewMul, 1)),
          skewDiv_(std::max(settings.skewDiv, 1)) {}

    Segmentation run() {
        findLines();
        for (LineBand& line : seg_.lines)
            if (line.lineBottom != 0) cutLine(line);
        return std::move(seg_);
    }

private:
    // --- Line finding ---

    bool rowHasInk(int64_t y) const {
        if (y < 0 || y >= plane_.rows()) return false;
        const int64_t cols = std::min<int64_t>(w_, kPlaneW);
        for (int64_t x = 0; x < cols; ++x)
            if (plane_.ink(x, y)) return true;
        return false;
    }

    // Rows 0 .. height + 9: the ten rows past the bitmap are empty and close its last line.
    void findLines() {
        bool prevInk = false;
        const int64_t last = int64_t{h_} + 9;
        for (int64_t j = 0; j <= last; ++j) {
            // Past the plane every row is empty; once no line is open nothing more can happen.
            if (j >= kPlaneH && !prevInk) break;
            bool rowInk = rowHasInk(j);
            if (!prevInk && rowInk) {
                LineBand& l = seg_.lines.emplace_back();
                l.lineTop = static_cast<int32_t>(j);
            } else if (prevInk && !rowInk) {
                LineBand& l = seg_.lines.back();
                if (j - l.lineTop >= kMinLineHeight) l.lineBottom = static_cast<int32_t>(j);
                else rowInk = true;
            }
            prevInk = rowInk;
        }
    }

    // --- Column scanners over the current line ---

    int64_t slant(int64_t row) const { return (row - line_->lineTop) * skewMul_ / skewDiv_; }

    // Rows of the current line that lie on the plane: lineTop .. lineBottom, both included.
    int64_t firstRow() const { return std::max<int64_t>(line_->lineTop, 0); }
    int64_t lastRow() const { return std::min<int64_t>(line_->lineBottom, plane_.rows() - 1); }

    bool columnHasInk(int64_t x) const {
        if (x < 0 || x >= kPlaneW) return false;
        for (int64_t r = firstRow(), end = lastRow(); r <= end; ++r)
            if (plane_.ink(x, r)) return true;
        return false;
    }

    // Logical column x: row r is read at plane column x - slant(r); plane columns below 1
    // count as background.
    bool columnHasInkItalic(int64_t x) const {
        for (int64_t r = firstRow(), end = lastRow(); r <= end; ++r) {
            const int64_t px = x - slant(r);
            if (px >= 1 && plane_.ink(px, r)) return true;
        }
        return false;
    }

    // Tests column x, steps on, and stops one past the first column whose test equals
    // wantInk or past `limit`. Returns that position, but -1 when ink was wanted and not
    // found. Only columns inkLo..inkHi can hold ink, so runs of background outside them are
    // skipped at once (a scan may start far left of the plane).
    template <typename HasInk>
    int64_t scan(int64_t x, bool wantInk, int64_t limit, int64_t inkLo, int64_t inkHi, HasInk hasInk) const {
        for (;;) {
            if (wantInk) {
                if (x > inkHi) return -1;
                if (x < inkLo) {
                    if (limit < inkLo) return -1;
                    x = inkLo;
                }
            }
            const bool found = hasInk(x) == wantInk;
            ++x;
            if (found) return x;
            if (x > limit) return wantInk ? -1 : x;
        }
    }

    int64_t scanColumns(int64_t x, bool wantInk) const {
        return scan(x, wantInk, int64_t{w_} - 1, 0, kPlaneW - 1, [this](int64_t c) { return columnHasInk(c); });
    }

    int64_t scanColumnsItalic(int64_t x, bool wantInk) const {
        const int64_t maxSlant = std::max<int64_t>(slant(lastRow()), 0);
        return scan(x, wantInk, int64_t{w_} - 1 + kItalicReach, 1, kPlaneW - 1 + maxSlant,
                    [this](int64_t c) { return columnHasInkItalic(c); });
    }

    // --- Glyph rows ---

    bool rowHasInkIn(int64_t r, int64_t left, int64_t right, bool slanted) const {
        if (r < 0 || r >= plane_.rows()) return false;
        const int64_t s = slanted ? slant(r) : 0;
        const int64_t from = std::max<int64_t>(left - s, 0);
        const int64_t to = std::min<int64_t>(right - s, kPlaneW - 1);
        for (int64_t x = from; x <= to; ++x)
            if (plane_.ink(x, r)) return true;
        return false;
    }

    // top: the first row from lineTop down with ink between left and right; bottom: the
    // first from lineBottom up. Row 0 never counts as found: 0 means "none".
    void glyphRows(GlyphBox& g, bool slanted) const {
        g.top = 0;
        g.bottom = 0;
        const int64_t lo = line_->lineTop, hi = line_->lineBottom;
        for (int64_t r = lo; r <= hi; ++r)
            if (r > 0 && rowHasInkIn(r, g.left, g.right, slanted)) {
                g.top = static_cast<int32_t>(r);
                break;
            }
        for (int64_t r = hi; r >= lo; --r)
            if (r > 0 && rowHasInkIn(r, g.left, g.right, slanted)) {
                g.bottom = static_cast<int32_t>(r);
                break;
            }
    }

    // --- Cutting one line ---

    // Appends a slot after the `count` used ones. Slots dropped by a retry stay in the
    // vector until overwritten, because the retry reads the first dropped one.
    void append(std::vector<GlyphBox>& slots, int32_t& count, const GlyphBox& box) const {
        ++count;
        if (static_cast<std::size_t>(count) < slots.size()) slots[static_cast<std::size_t>(count)] = box;
        else slots.push_back(box);
    }

    void cutLine(LineBand& line) {
        line_ = &line;
        std::vector<GlyphBox>& slots = line.slots;
        auto at = [&slots](int64_t i) -> GlyphBox& { return slots[static_cast<std::size_t>(i)]; };
        const bool autoFont = font_ == 1 || font_ == 4;
        int32_t count = 0;
        int64_t x = 0;
        int64_t nextI = scanColumnsItalic(0, true);
        int64_t nextU = scanColumns(0, true);
        int64_t endU = 0, endI = 0;
        bool firstGlyph = true;
        int32_t wordStart = 0;
        bool triedUpright = false, triedItalic = false;

        // Every cut moves on by at least two columns and every word is retried at most
        // twice; the bound only guards against a loop that does not end.
        const int64_t maxSteps = 8 * (std::max<int64_t>(w_, 0) + kItalicReach) + 64;
        for (int64_t step = 0; step < maxSteps; ++step) {
            if (!(x < int64_t{w_} - 1 + (italic_ ? kItalicReach : 0) && nextI > 0 && nextU > 0)) break;

            // 1-2. A word starts at the first glyph and after a gap of spaceWidth or more.
            const bool spaceBefore = firstGlyph || (count > 0 && x - at(count).right >= set_.spaceWidth);
            if (spaceBefore) {
                wordStart = count;
                triedUpright = triedItalic = false;
                firstGlyph = false;
                if (count > 0) {
                    // The other geometry lost track of the glyphs: seek it again from the
                    // middle of the gap.
                    if (italic_) nextU = scanColumns(endI + (x - endI) / 2, true);
                    else nextI = scanColumnsItalic(endU + (x - endU) / 2, true);
                    GlyphBox space;
                    space.ch = ' ';
                    space.left = at(count).right + 6;
                    space.right = static_cast<int32_t>(x - 6);
                    space.top = line.lineTop + 6;
                    space.bottom = line.lineBottom - 6;
                    space.italic = italic_ ? 2 : 0;
                    append(slots, count, space);
                    wordStart = count;
                }
            }

            // 3-5. A new slot; the glyph's extent in the geometries in play; the geometry.
            append(slots, count, GlyphBox{});
            if (!italic_ || spaceBefore) endU = scanColumns(nextU, false);
            if (italic_ || spaceBefore) endI = scanColumnsItalic(nextI, false);
            if (autoFont) {
                // The geometry in which the word's first glyph is narrower wins.
                if (spaceBefore && endI - nextI != endU - nextU) italic_ = endI - nextI < endU - nextU;
            } else {
                italic_ = font_ == 2;
            }

            // 6. Cut the glyph.
            const bool slanted = italic_;
            {
                GlyphBox& g = at(count);
                if (slanted) {
                    g.left = static_cast<int32_t>(nextI - 1);
                    g.right = static_cast<int32_t>(endI - 2);
                    g.italic = 2;
                    ++seg_.italicGlyphs;
                    glyphRows(g, true);
                    nextI = scanColumnsItalic(endI, true);
                    x = nextI;
                } else {
                    g.left = static_cast<int32_t>(nextU - 1);
                    g.right = static_cast<int32_t>(endU - 2);
                    g.italic = 0;
                    ++seg_.uprightGlyphs;
                    glyphRows(g, false);
                    nextU = scanColumns(endU, true);
                    x = nextU;
                }
            }

            // 7. Name it.
            const GlyphBox& cut = at(count);
            const Recognition r = recognize(plane_, GlyphQuery{cut.left, cut.right, cut.top, cut.bottom, slanted,
                                                               line.lineTop, line.lineBottom, skewMul_, skewDiv_});
            at(count).ch = r.ch;

            // 8. A space before an overhanging pair, whose gap the test of step 1 cannot
            // see. It needs a glyph before this one: a "j" opening a line gets no space.
            const GlyphBox& prev = at(count - 1);
            const bool afterGlyph = count >= 2 && prev.ch != ' ';
            const uint16_t ch = at(count).ch;
            if (afterGlyph && (overhangingPair(prev.ch, ch, slanted) || (!slanted && ch == 'j')) &&
                int64_t{at(count).left} - prev.right > set_.spaceWidthJ) {
                const int32_t glyphAt = count;
                append(slots, count, at(glyphAt));   // the glyph moves one slot up
                GlyphBox& space = at(glyphAt);
                space.ch = ' ';
                space.left = at(glyphAt - 1).right + 4;
                space.right = at(count).left - 4;
                space.top = at(count).top + 6;
                space.bottom = at(count).bottom - 6;
                wordStart = count;
            }

            // 9. Two touching letters in one box: the second gets a slot of its own.
            if (r.secondChar != 0) {
                GlyphBox second = at(count);
                second.ch = r.secondChar;
                append(slots, count, second);
            }

            // 10. An unrecognised glyph in Auto mode: the word once more in the other geometry.
            if (autoFont && !(triedUpright && triedItalic) && at(count).ch == 0) {
                italic_ = !slanted;
                const int32_t firstDropped = wordStart + 1;
                count = wordStart;
                if (slanted) {
                    triedItalic = true;
                    nextU = scanColumns(int64_t{at(wordStart).right} + 2, true);
                    x = nextU;
                    if (nextI < 0) nextI = nextU;
                } else {
                    triedUpright = true;
                    const int64_t from = static_cast<std::size_t>(firstDropped) < slots.size()
                                             ? int64_t{at(firstDropped).left}
                                             : x;
                    nextI = scanColumnsItalic(from - set_.spaceWidth / 2, true);
                    x = nextI;
                    if (nextU < 0) nextU = nextI;
                }
            }
        }
        slots.resize(static_cast<std::size_t>(count) + 1);
        line_ = nullptr;
    }

    InkPlaneView plane_;
    int32_t w_;
    int32_t h_;
    uint8_t font_;
    OcrSettings set_;
    int32_t skewMul_;
    int32_t skewDiv_;
    Segmentation seg_;
    const LineBand* line_ = nullptr;
    bool italic_ = false;   // the current geometry; carries over from line to line
};

bool isCapital(char c) { return c >= 'A' && c <= 'Z'; }

// The rectangle whose top-left corner is the ink plane's origin: every slot DrawSub decoded
// (both objects of a two-window subtitle, so the OCR reads all their lines), or slot 0 of
// an SRT-made subtitle.
SlotArea inkArea(const Program& prog, const TSUP& sub) {
    if (prog.SubKind == kSrtKind) return {sub.obj[0].x1, sub.obj[0].y1, sub.obj[0].x2, sub.obj[0].y2};
    return pictureArea(sub);
}

}  // namespace

int64_t countUnknownMarks(std::string_view text) {
    int64_t n = 0;
    for (size_t at = text.find(kUnknownMark); at != std::string_view::npos; at = text.find(kUnknownMark, at + kUnknownMark.size())) ++n;
    return n;
}

Segmentation segment(InkPlaneView plane, int32_t width, int32_t height, uint8_t font, const OcrSettings& settings) {
    return Segmenter(plane, width, height, font, settings).run();
}

std::string buildText(const Segmentation& seg, bool tags, bool& allKnown) {
    allKnown = true;
    std::string text;
    for (std::size_t li = 0; li < seg.lines.size(); ++li) {
        const std::vector<GlyphBox>& s = seg.lines[li].slots;
        const std::size_t count = s.size() - 1;
        for (std::size_t g = 1; g <= count; ++g) {
            const bool italic = s[g].italic == 2;
            if (tags) {
                // Tags change only at word boundaries and follow the space.
                if (g == 1 && italic) text += "<i>";
                if (g > 2 && s[g - 1].ch == ' ') {
                    const bool before = s[g - 2].italic == 2;
                    if (before && !italic) text += "</i>";
                    if (!before && italic) text += "<i>";
                }
            }
            if (s[g].ch == 0) {
                text += kUnknownMark;
                allKnown = false;
            } else {
                appendUtf8(text, s[g].ch);
            }
            if (tags && g == count && italic) text += "</i>";
        }
        if (li + 1 < seg.lines.size()) text += '|';
    }
    return text;
}

void fixCapitalI(std::string& text) {
    const std::size_t n = text.size();
    if (n < 2) return;   // one character has no neighbour to decide by
    if (text[0] == 'l' && isCapital(text[1])) text[0] = 'I';
    for (std::size_t p = 1; p + 1 < n; ++p)
        if (text[p] == 'l' && isCapital(text[p - 1]) && isCapital(text[p + 1])) text[p] = 'I';
    if (text[n - 1] == 'l' && isCapital(text[n - 2])) text[n - 1] = 'I';
}

FontMode resolveFont(FontMode font, const Segmentation& seg) {
    if (font != kFontUndecided) return font;
    if (seg.uprightGlyphs == 0) font = kFontItalic;
    if (seg.italicGlyphs == 0) font = kFontNormal;
    return font == kFontUndecided ? kFontAuto : font;
}

void ocr(Context& ctx, int32_t n, const OcrView& view) {
    Program& prog = ctx.prog;
    if (n < 1 || static_cast<std::size_t>(n) > prog.Subs.size()) return;
    prog.CurSub = n - 1;
    TSUP& sub = prog.Subs[static_cast<std::size_t>(n - 1)];
    const SlotArea o = inkArea(prog, sub);
    const int32_t width = o.x2 - o.x1;
    const int32_t height = o.y2 - o.y1;
    const OcrSettings settings = OcrSettings::from(ctx.opt);

    const Segmentation seg = segment(prog.pics.inkPlane, width, height, sub.font, settings);
    if (seg.lines.empty()) return;

    sub.ocrOK = 1;
    sub.font = resolveFont(sub.font, seg);
    prog.controls.ieSubs = n;
    if (sub.font < 3) prog.panel.rgFont = sub.font;
    sub.lineCount = static_cast<int32_t>(seg.lines.size());
    sub.charCount = seg.slotCount();

    bool allKnown = true;
    std::string text = buildText(seg, settings.tags, allKnown);
    if (!allKnown) sub.ocrOK = 0;
    drawOcrOverlay(prog.pics.display, seg, o.x1, o.y1, width, settings, view.imageVisible);

    if (text.empty()) return;
    fixCapitalI(text);
    applyReplacements(text, ctx.opt.coLang);
    if (sub.locked == 0) sub.text = text;
    prog.panel.editorLines = TxtToLines(sub.text);
}

}  // namespace vantrel
