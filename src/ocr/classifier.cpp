// The glyph classifier's decision list. Rules are tried in a fixed order and the first one
// that names a character decides; a few rows replace the result of the row before them.
// All thresholds are pixels of 1080-line subtitle bitmaps.
#include "ocr/classifier.h"

namespace vantrel {

namespace {

constexpr Target ink = Target::Ink;
constexpr Target bg = Target::Background;

// The measures of one box and the probes over it. All arithmetic is 64-bit, so no box
// coordinate can overflow; for boxes the segmentation produces it equals 32-bit arithmetic.
// Division truncates toward zero, as the rules expect.
struct Glyph {
    GlyphProbes probe;
    int64_t w, h, lineH, top, bottom, lineTop, lineBottom;
    bool italic;

    Glyph(InkPlaneView plane, const GlyphQuery& g)
        : probe(plane, g),
          w(int64_t{g.right} - g.left),
          h(int64_t{g.bottom} - g.top),
          lineH(int64_t{g.lineBottom} - g.lineTop),
          top(g.top),
          bottom(g.bottom),
          lineTop(g.lineTop),
          lineBottom(g.lineBottom),
          italic(g.italic) {}

    int64_t fromTop(int64_t dx, Target v) const { return probe.fromTop(dx, v); }
    int64_t fromBottom(int64_t dx, Target v) const { return probe.fromBottom(dx, v); }
    int64_t fromLeft(int64_t dy, Target v) const { return probe.fromLeft(dy, v); }
    int64_t fromRight(int64_t dy, Target v) const { return probe.fromRight(dy, v); }

    // R = (10 w) div h and Q = (10 h) div w in the given range; a zero divisor never matches.
    bool ratioR(int64_t lo, int64_t hi) const { return h != 0 && inRange(10 * w / h, lo, hi); }
    bool ratioQ(int64_t lo, int64_t hi) const { return w != 0 && inRange(10 * h / w, lo, hi); }
};

Recognition one(uint16_t ch) { return {ch, 0}; }
Recognition two(char first, char second) {
    return {static_cast<uint16_t>(first), static_cast<uint16_t>(second)};
}

// Punctuation and narrow glyphs.
Recognition narrowGlyphs(const Glyph& g) {
    const int64_t w = g.w, h = g.h;
    if (inRange(w, 9, 30) && h < 9) return one('-');
    if (w < 9 && h < 9) return one('.');
    if (w < 9 && h < 18 && g.lineBottom - g.bottom < 8) return one(',');
    if (w < 9 && h < 18 && g.top - g.lineTop < 6) return one('\'');
    if (w < 9 && inRange(h, 19, 39)) return one(':');

    if (w < 9 && h > 39) {
        Recognition result;
        int64_t p = g.fromTop(w / 2, bg);
        if (p == -1) return one('l');
        if (p < g.lineH / 2) {
            p = g.fromLeft(h / 3, bg);
            const int64_t q = g.fromRight(h / 3, bg);
            result = one(p == 0 && q == 0 ? kInvertedExclamation : 'i');
        }
        // Tested with p as the dot-and-stem test left it: a stem above its dot.
        if (p != -1 && p > g.lineH / 2) result = one('!');
        if (result.ch != 0) return result;
    }

    if (w < 18 && h > 39) {
        const int64_t p = g.fromTop(2, bg);
        const int64_t q = g.fromLeft(2, bg);
        const int64_t r = g.fromTop(w - 2, bg);
        Recognition result;
        if (p == -1 && q == -1) result = one('[');
        if (r == -1 && q == -1) result = one(']');   // also replaces "["
        if (result.ch != 0) return result;
        if (p == 0) {
            if (r == 0) return one('t');
            const int64_t k = g.fromTop(2, ink);
            if (h - k <= k) {
                if (g.fromBottom(w - 3, ink) < h / 3) return one('j');
            } else {
                if (r == -1) return one('1');
                if (g.fromLeft(h / 2, ink) == 0) return one('(');
                if (g.fromBottom(6, ink) == 0) return one('f');
            }
        } else {
            if (inRange(g.fromRight(h / 2, ink), 0, 1)) return one(')');
        }
    }
    return {};
}

// Mid-size letters and two-letter glyphs.
Recognition midGlyphs(const Glyph& g) {
    const int64_t w = g.w, h = g.h;
    if (g.ratioQ(18, 22) && inRange(h, 28, 34)) return one('r');

    if (g.ratioR(12, 14) && inRange(h, 28, 34)) {
        const int64_t p = g.fromTop(w / 4, ink);
        if (p < h / 4) {
            if (g.fromBottom(w / 2, ink) == 0) return one('m');
        } else if (p > h / 4) {
            return one('w');
        }
    }

    if (g.ratioR(13, 14) && inRange(h, 41, 45)) {
        if (g.fromTop(w / 2, ink) == 0 && g.fromTop(3, ink) == 0 && g.fromTop(w - 3, ink) == 0)
            return one('W');
        if (g.fromBottom(6, bg) > h / 2) return two('f', 'w');
    }

    if (inRange(w, 24, 28) && h > 45) {
        if (g.fromTop(w / 2, bg) == -1 || g.fromTop(w / 2 - 1, bg) == -1 || g.fromTop(w / 2 + 1, bg) == -1)
            return one('$');
    }

    const bool fy = inRange(w, 41, 45) && h > 45;
    const bool rw = inRange(w, 57, 59) && inRange(h, 29, 32);
    if (fy || rw) {
        const int64_t p = g.fromBottom(w / 2, ink);
        const int64_t q = g.fromLeft(g.fromTop(3, ink) + 2, ink);
        const int64_t r = g.fromTop(10, bg);
        if (fy && (p == 0 || q == 0 || inRange(r, 5, 7))) return two('f', 'y');
        if (rw && (p == 0 || q == 0 || (inRange(r, 5, 7) && g.fromBottom(3, ink) < 2))) return two('r', 'w');
    }
    return {};
}

// Capitals, digits and tall lower-case letters: entered for 5 <= R <= 10, 40 <= h <= 50.
// s and t are working variables: several rows below replace them, and later rows test
// the replaced values.
Recognition tallGlyphs(const Glyph& g) {
    const int64_t w = g.w, h = g.h;
    const bool tee = g.fromTop(w / 2, bg) == -1;
    const int64_t m = g.fromTop(w / 2, ink);
    int64_t s = g.fromTop(3, bg);
    int64_t t = g.fromTop(w - 3, bg);
    if (tee) return one('T');

    if (h - m < 7 && s == 0 && h - t < 10) return one('J');
    if (h - m < 7 && h - s < 10 && h - t < 10) return one('U');
    if (h - m < m && s == -1 && t == -1) return one('M');
    if (inRange(s, 8, 13) && inRange(t, 8, 13) && (2 * h) / 3 < m) return one('V');
    if (inRange(s, 4, 8) && inRange(t, 4, 8) && h / 3 < m) return one('Y');
    if (inRange(m, h / 5, h / 3) && s == 0 && t == 0 && inRange(g.fromBottom(3, ink), 0, 3) &&
        g.fromRight(h - 3, bg) > 3)
        return two('r', 't');
    if (inRange(m, h / 5, h / 3) && s == 0 && inRange(t, 4, 6) && inRange(g.fromBottom(3, ink), 0, 3) &&
        g.fromRight(h - 3, ink) > 5)
        return two('r', 'f');

    if (inRange(t, 6, 8) && s == 0 && m == 0) {
        s = g.fromLeft(h / 3, bg);
        if (s == -1 || w - 5 < s) return one('#');
    }

    if (s == -1) {
        if (t == -1) {
            s = g.fromTop(w - 8, ink);
            t = g.fromTop(8, ink);
            return one(s == t ? 'H' : 'N');
        }
        if (inRange(t, 4, 8)) {
            s = g.fromBottom(w / 2, ink);
            return one(s == 0 ? 'E' : 'F');
        }
        if (t == 0) {
            s = g.fromBottom(w / 2, ink);
            if (s == 0) {
                s = g.fromRight(h / 2, ink);
                if (w / 2 > s) return one(s == 0 ? 'D' : 'B');
                if (h / 2 < m) return one('L');
            }
            // Tests s as it stands now: the right-edge distance when the bowl test above
            // named nothing.
            if (s != 0) {
                s = g.fromBottom(w - 2, ink);
                if (s > 0) return one(g.fromTop(8, ink) == g.fromTop(w / 2, ink) ? 'P' : 'p');
                if (m == 0) return one('R');
                return one(g.fromBottom(w - 2, bg) > h / 3 ? 'h' : 'k');
            }
        }
        if (inRange(t, 1, 4) && m > t) return one('K');
    }

    if (s == 0 && t == 0 && m == 0 && w > 30) {
        s = g.fromBottom(2, ink);
        t = g.fromBottom(w - 2, ink);
        if (s == 0 && t == 0) return one('A');
        if (s > 0) {
            if (g.fromLeft((2 * h) / 3 - 1, ink) > w / 2) return one('S');
            if (t > 3) {
                const int64_t k = h / 2 + 2;
                s = g.fromRight(k, bg);
                t = g.fromRight(k, ink);
                if (w / 2 < t) return one('C');
                if (w / 3 < s || w / 3 < g.fromRight(h / 2 + 3, bg) || w / 3 < g.fromRight(h / 2 + 4, bg))
                    return one('G');
                return one('O');
            }
            if (g.fromBottom(w / 2, ink) < h / 2) return one('Q');
            if (g.fromTop(w - 2, ink) > 5) return two('f', 't');
            return two('f', 'f');
        }
    } else if (s == 0 && t == 0 && m == 0) {
        s = g.fromBottom(3, ink);
        if (s == 0) {
            if (g.fromRight(h - 2, ink) < w / 4) return one(g.fromLeft(h / 3, ink) > w / 2 ? '2' : kPoundSign);
            return one('p');
        }
        if (s < h / 2) {
            if (g.fromLeft((3 * h) / 4, ink) > 5) {
                if (g.fromBottom(w / 2, ink) < 2) return one(g.fromTop(w - 2, ink) > 4 ? '9' : 'g');
                return one('q');
            }
            if (g.fromRight(h / 2 + (g.italic ? 2 : 0), ink) == 0) return one('0');
            if (g.fromRight(h / 3, ink) > 5) return one('6');
            if (g.fromLeft(h / 3, ink) > w / 3) return one('3');
            if (g.fromLeft(h / 2, ink) > 3) return one('8');
        } else if (g.fromLeft(h - 6, ink) == -1) {
            return one('?');
        }
    }

    if (inRange(m, h / 5, h / 3)) {
        if (h - s < 4 && t == 0) return one('b');
        if (h - t < 4 && s == 0) return one('d');
    }
    if (s > 0 && t > 0 && inRange(m, h / 3, (3 * h) / 5)) return one(g.fromBottom(w - 3, ink) == 0 ? 'X' : 'y');
    if (s == 0 && m == 0 && inRange(t, 3, h / 4) && g.fromLeft((2 * h) / 3, ink) > w / 2) return one('5');
    if (m == 0 && inRange(g.fromTop(w - 5, bg), 5, 12) && inRange(g.fromTop(5, bg), 4, 6)) {
        t = g.fromBottom(w - 3, ink);
        s = g.fromBottom(3, ink);
        return one(s == 0 && t == 0 ? 'Z' : '7');
    }
    if (inRange(m, 6, 8) && s == 0 && t == 0 && g.fromBottom((2 * w) / 3 + 3, ink) < 4) return one('4');
    if (s == 0 && h / 3 < m && t == 0 && g.fromLeft(h / 4, ink) < 2 && g.fromRight((3 * h) / 4, ink) < 2)
        return one('%');
    if (s == 0 && m == 0 && h - t < 10) return one(g.fromTop(w - 2, ink) > 4 ? '9' : 'g');
    return {};
}

// Lower-case letters of x-height: entered for 6 <= R <= 10, 29 <= h <= 34.
Recognition xHeightGlyphs(const Glyph& g) {
    const int64_t w = g.w, h = g.h;
    const int64_t m = g.fromTop(w / 2 + 1, ink);
    const int64_t k = h / 2;
    if (m == 0) {
        int64_t s = g.fromBottom(2, ink);
        if (inRange(s, 0, 1)) return one(g.fromLeft(k, ink) < 3 ? 'n' : 'z');
        const int64_t t = g.fromRight(k + 3, ink);
        s = g.fromLeft(k - 5, ink);
        if (s < 5 && w / 2 < t) return one(g.fromRight(k - 3, ink) > w / 2 ? 'c' : 'e');
        if (w / 3 < s && w / 3 > t) return one('a');
        s = g.fromLeft(k + 3, ink);
        if (w / 3 < s) return one('s');
        if (g.fromBottom(w / 2, ink) == 0) return one('o');
        return {};
    }
    if (g.fromBottom(2, ink) > k && g.fromBottom(w - 2, ink) > k) return one('v');
    if (inRange(g.fromBottom(w / 2, ink), 6, k)) return one('x');
    if (k < g.fromTop(w / 2, ink)) return one('u');
    return {};
}

}  // namespace

Recognition recognize(InkPlaneView plane, const GlyphQuery& glyph) {
    const Glyph g(plane, glyph);
    Recognition result = narrowGlyphs(g);
    if (result.ch == 0) result = midGlyphs(g);
    if (result.ch == 0 && g.ratioR(5, 10) && inRange(g.h, 40, 50)) result = tallGlyphs(g);
    if (result.ch == 0 && g.ratioR(6, 10) && inRange(g.h, 29, 34)) result = xHeightGlyphs(g);
    if (result.ch == 0 && g.ratioQ(15, 17) && inRange(g.h, 35, 40) && inRange(g.fromBottom(4, ink), 0, 2) &&
        inRange(g.fromLeft(g.h - 4, ink), 0, 2))
        result = one(kBeamedEighthNotes);
    return result;
}

}  // namespace vantrel
