// Ink, lines, segments and clusters of the learned engine.
#include "ocr/learned/glyphs.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <numeric>

namespace vantrel {
namespace {

int luma(Color c) {
    const int r = static_cast<int>(c & 0xFF), g = static_cast<int>((c >> 8) & 0xFF), b = static_cast<int>((c >> 16) & 0xFF);
    return (299 * r + 587 * g + 114 * b) / 1000;
}

int distance(Color a, Color b) {
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8)
        d += std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
    return d;
}

// Opaque enough to be seen as text rather than as its soft edge.
constexpr int kOpaque = 128;
constexpr int kFarApart = 180;

uint64_t hashBits(int width, int height, Rise rise, const std::vector<uint8_t>& bits) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](uint64_t v) {
        h ^= v;
        h *= 1099511628211ull;
    };
    mix(static_cast<uint64_t>(width));
    mix(static_cast<uint64_t>(height));
    mix(static_cast<uint64_t>(rise));
    // Eight pixels at a time: the bits are bytes of 0 and 1.
    uint64_t word = 0;
    int n = 0;
    for (uint8_t b : bits) {
        word = (word << 1) | b;
        if (++n == 64) {
            mix(word);
            word = 0;
            n = 0;
        }
    }
    mix(word);
    return h;
}

struct Part {
    int32_t left, top, right, bottom;   // inclusive, plane coordinates
    int32_t label;
};

int32_t findRoot(std::vector<int32_t>& parent, int32_t a) {
    while (parent[static_cast<size_t>(a)] != a) {
        parent[static_cast<size_t>(a)] = parent[static_cast<size_t>(parent[static_cast<size_t>(a)])];
        a = parent[static_cast<size_t>(a)];
    }
    return a;
}

// Rows [top, bottom] of ink runs separated by empty rows; small bands (accents over
// capitals) join the line they sit on.
std::vector<std::pair<int, int>> findBands(const InkMask& mask) {
    std::vector<std::pair<int, int>> bands;
    int start = -1;
    for (int y = 0; y <= mask.height; ++y) {
        bool ink = false;
        if (y < mask.height) {
            const uint8_t* row = mask.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(mask.width);
            ink = std::find(row, row + mask.width, uint8_t{1}) != row + mask.width;
        }
        if (ink && start < 0) start = y;
        if (!ink && start >= 0) {
            bands.emplace_back(start, y - 1);
            start = -1;
        }
    }
    int tallest = 0;
    for (const auto& [a, b] : bands) tallest = std::max(tallest, b - a + 1);
    for (size_t i = 0; i < bands.size();) {
        const int h = bands[i].second - bands[i].first + 1;
        if (h * 10 >= tallest * 4 || bands.size() == 1) {
            ++i;
            continue;
        }
        // An accent band sits close above its line; anything else stays a line of its own.
        if (i + 1 < bands.size()) {
            const auto& next = bands[i + 1];
            const int gap = next.first - bands[i].second - 1;
            if (gap * 10 <= (next.second - next.first + 1) * 3) {
                bands[i + 1].first = bands[i].first;
                bands.erase(bands.begin() + static_cast<ptrdiff_t>(i));
                continue;
            }
        }
        if (i > 0) {
            const auto& prev = bands[i - 1];
            const int gap = bands[i].first - prev.second - 1;
            if (gap * 10 <= (prev.second - prev.first + 1) * 2) {
                bands[i - 1].second = bands[i].second;
                bands.erase(bands.begin() + static_cast<ptrdiff_t>(i));
                continue;
            }
        }
        ++i;
    }
    return bands;
}

int overlap(int32_t l1, int32_t r1, int32_t l2, int32_t r2) { return std::min(r1, r2) - std::max(l1, l2) + 1; }

// Two parts stacked one above the other that belong to one glyph: the dot of i, j, ! and ?,
// accents, the halves of : ; =. For slanted text the upper part lies further right, so the
// overlap is also tried after taking out a typical italic slant.
// How well two parts stack into one glyph (0: not at all): the share of the narrower part's
// width that the other covers, also tried after taking out a typical italic slant.
double stacking(const Part& a, const Part& b, int bandHeight) {
    const Part& up = a.bottom < b.top ? a : b;
    const Part& down = a.bottom < b.top ? b : a;
    if (up.bottom >= down.top) return 0;
    const int gap = down.top - up.bottom - 1;
    if (gap * 2 > bandHeight) return 0;
    const int hu = up.bottom - up.top + 1, hd = down.bottom - down.top + 1;
    if (std::min(hu, hd) * 20 > bandHeight * 9) return 0;
    const int narrow = std::min(up.right - up.left, down.right - down.left) + 1;
    const int dy = (down.top + down.bottom) / 2 - (up.top + up.bottom) / 2;
    const int shift = dy * 21 / 100;
    const int best = std::max(overlap(up.left, up.right, down.left, down.right),
                              overlap(up.left - shift, up.right - shift, down.left, down.right));
    return best * 2 >= narrow ? static_cast<double>(best) / narrow : 0;
}

// A part drawn inside another one's ring, away from its top and bottom (the bar of Θ, the
// dot of ʘ): 2, more than any stacking; else 0. The dot over an italic i inside the box of
// the f before it lies at the top, so it stays out.
double enclosing(const Part& outer, const Part& inner) {
    const int h = outer.bottom - outer.top + 1;
    if (inner.left <= outer.left || inner.right >= outer.right) return 0;
    if ((inner.top - outer.top) * 4 < h || (outer.bottom - inner.bottom) * 4 < h) return 0;
    return 2;
}

bool isSmall(const Part& p, int bandHeight) { return (p.bottom - p.top + 1) * 20 <= bandHeight * 9; }

}  // namespace

uint64_t glyphHash(int width, int height, Rise rise, const std::vector<uint8_t>& bits) {
    return hashBits(width, height, rise, bits);
}

std::array<bool, 256> inkEntries(const PaletteState& pal, const std::array<uint32_t, 256>& counts) {
    std::array<bool, 256> ink{};
    // The most used opaque entry, and the most used one far from it: of the two, the darker
    // is the outline and the lighter the fill (a grey outline is an outline too).
    auto used = [&](int c) { return counts[static_cast<size_t>(c)] > 0 && pal.Alpha[static_cast<size_t>(c)] >= kOpaque; };
    int first = -1, second = -1;
    for (int c = 0; c < 256; ++c)
        if (used(c) && (first < 0 || counts[static_cast<size_t>(c)] > counts[static_cast<size_t>(first)])) first = c;
    if (first >= 0) {
        for (int c = 0; c < 256; ++c) {
            if (!used(c) || distance(pal.Palette[static_cast<size_t>(c)], pal.Palette[static_cast<size_t>(first)]) < kFarApart)
                continue;
            if (second < 0 || counts[static_cast<size_t>(c)] > counts[static_cast<size_t>(second)]) second = c;
        }
    }
    int outline = -1, fill = -1;
    if (second >= 0) {
        const bool firstDarker = luma(pal.Palette[static_cast<size_t>(first)]) < luma(pal.Palette[static_cast<size_t>(second)]);
        outline = firstDarker ? first : second;
        fill = firstDarker ? second : first;
    }
    for (int c = 0; c < 256; ++c) {
        const auto i = static_cast<size_t>(c);
        if (pal.Alpha[i] < kOpaque) continue;
        if (fill < 0) {
            ink[i] = true;   // one colour (no outline): all that is seen is text
        } else {
            const Color col = pal.Palette[i];
            ink[i] = distance(col, pal.Palette[static_cast<size_t>(fill)]) <
                     distance(col, pal.Palette[static_cast<size_t>(outline)]);
        }
    }
    return ink;
}

InkMask inkMask(const std::vector<uint8_t>& indexes, int width, int height, const PaletteState& pal) {
    InkMask mask;
    const size_t n = static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0));
    if (n == 0 || indexes.size() < n) return mask;
    std::array<uint32_t, 256> counts{};
    for (size_t i = 0; i < n; ++i) ++counts[indexes[i]];
    const std::array<bool, 256> ink = inkEntries(pal, counts);
    mask.width = width;
    mask.height = height;
    mask.bits.resize(n);
    for (size_t i = 0; i < n; ++i) mask.bits[i] = ink[indexes[i]] ? 1 : 0;
    return mask;
}

namespace {

// Pixels of `a` placed at (dx, dy) over `b` that have no ink of `b` in the same row within a
// pixel either side; stops counting past `limit`. Renderers place text at fractions of a
// pixel across, never up or down (the baseline is a row), so only columns get the slack.
int farPixels(const uint8_t* a, int aw, int ah, const uint8_t* b, int bw, int bh, int dx, int dy, int limit) {
    int far = 0;
    for (int y = 0; y < ah; ++y) {
        const uint8_t* row = a + static_cast<size_t>(y) * static_cast<size_t>(aw);
        const int by = y + dy;
        const uint8_t* brow = by >= 0 && by < bh ? b + static_cast<size_t>(by) * static_cast<size_t>(bw) : nullptr;
        for (int x = 0; x < aw; ++x) {
            if (!row[x]) continue;
            const int bx = x + dx;
            bool near = false;
            if (brow)
                for (int nx = std::max(0, bx - 1); nx <= std::min(bw - 1, bx + 1) && !near; ++nx) near = brow[nx] != 0;
            if (!near && ++far > limit) return far;
        }
    }
    return far;
}

void centre(const uint8_t* a, int w, int h, double& cx, double& cy, int& ink) {
    double sx = 0, sy = 0;
    ink = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (a[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)]) {
                sx += x;
                sy += y;
                ++ink;
            }
    cx = ink ? sx / ink : 0;
    cy = ink ? sy / ink : 0;
}

uint64_t shapeKey(int width, int height, Rise rise, uint8_t parts) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(width)) << 32) ^ (static_cast<uint64_t>(static_cast<uint32_t>(height)) << 12) ^
           (uint64_t{static_cast<uint8_t>(rise)} << 8) ^ parts;
}

}  // namespace

bool sameShape(const uint8_t* a, int aw, int ah, const uint8_t* b, int bw, int bh) {
    if (aw <= 0 || ah <= 0 || bw <= 0 || bh <= 0) return false;
    if (std::abs(aw - bw) > 1 || std::abs(ah - bh) > 1) return false;
    double ax, ay, bx, by;
    int ia, ib;
    centre(a, aw, ah, ax, ay, ia);
    centre(b, bw, bh, bx, by, ib);
    if (ia == 0 || ib == 0) return false;
    // Ink within a sixth of each other: a thicker stroke is another weight or another glyph.
    if (std::abs(ia - ib) * 6 > std::max(ia, ib)) return false;
    // Hardly any: one, and one more per 200 pixels of ink. An accent turned the other way,
    // the bowl that makes h a b, the tail that makes o an a are each several.
    const int limit = 1 + std::min(ia, ib) / 200;
    // Rows line up by the boxes' tops or, one row apart in height, by their bottoms.
    const int cdx = static_cast<int>(std::lround(ax - bx));
    const int dys[2] = {0, ah - bh};
    for (int dy : dys)
        for (int dx = cdx - 1; dx <= cdx + 1; ++dx) {
            // a's pixel (x, y) lies over b's (x - dx, y - dy).
            if (farPixels(a, aw, ah, b, bw, bh, -dx, -dy, limit) > limit) continue;
            if (farPixels(b, bw, bh, a, aw, ah, dx, dy, limit) > limit) continue;
            return true;
        }
    return false;
}

int32_t ClusterTable::groupOf(int width, int height, Rise rise, uint8_t parts, const std::vector<uint8_t>& bits) {
    // Small bitmaps (dots, commas, thin dashes) are told apart by a pixel or two: they group
    // only when identical.
    int ink = 0;
    for (uint8_t b : bits) ink += b;
    if (ink < 60 || int64_t{width} * height > 40000) return -1;
    for (int dh = 0; dh <= 2; ++dh)
        for (int dw = 0; dw <= 2; ++dw) {
            const int h = height + (dh == 2 ? -1 : dh), w = width + (dw == 2 ? -1 : dw);
            const auto it = leaders_.find(shapeKey(w, h, rise, parts));
            if (it == leaders_.end()) continue;
            for (int32_t id : it->second) {
                const Cluster& c = clusters_[static_cast<size_t>(id)];
                if (sameShape(bits.data(), width, height, c.bits.data(), c.width, c.height)) return id;
            }
        }
    return -1;
}

std::array<bool, 256> inkEntriesByEdges(const std::vector<uint8_t>& indexes, int width, int height,
                                        const PaletteState& pal) {
    std::array<bool, 256> ink{};
    const size_t n = static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0));
    if (n == 0 || indexes.size() < n) return ink;
    // Per entry: pixels, and pixels with a transparent neighbour (or on the picture's edge).
    std::array<int64_t, 256> pixels{}, edge{};
    auto clear = [&](int x, int y) {
        return x < 0 || y < 0 || x >= width || y >= height ||
               pal.Alpha[indexes[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]] < kOpaque;
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t c = indexes[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
            if (pal.Alpha[c] < kOpaque) continue;
            ++pixels[c];
            if (clear(x - 1, y) || clear(x + 1, y) || clear(x, y - 1) || clear(x, y + 1)) ++edge[c];
        }
    // The share of each entry's pixels on the edge, in thousandths.
    std::array<int64_t, 256> share{};
    int outline = -1, fill = -1;
    for (int c = 0; c < 256; ++c) {
        const auto i = static_cast<size_t>(c);
        if (pixels[i] == 0) continue;
        share[i] = edge[i] * 1000 / pixels[i];
        // Entries of a handful of pixels tell nothing.
        if (pixels[i] * 50 < static_cast<int64_t>(n) / 100 && pixels[i] < 20) continue;
        if (outline < 0 || share[i] > share[static_cast<size_t>(outline)]) outline = c;
        if (fill < 0 || share[i] < share[static_cast<size_t>(fill)]) fill = c;
    }
    for (int c = 0; c < 256; ++c) {
        const auto i = static_cast<size_t>(c);
        if (pixels[i] == 0) continue;
        // One opaque entry, or two that touch the background alike: all of it is text.
        if (fill < 0 || outline == fill || share[static_cast<size_t>(outline)] - share[static_cast<size_t>(fill)] < 150) {
            ink[i] = true;
            continue;
        }
        ink[i] = std::abs(share[i] - share[static_cast<size_t>(fill)]) < std::abs(share[i] - share[static_cast<size_t>(outline)]);
    }
    return ink;
}

int32_t ClusterTable::add(int width, int height, Rise rise, uint8_t parts, std::vector<uint8_t>&& bits) {
    const uint64_t h = hashBits(width, height, rise, bits);
    const auto [first, last] = byHash_.equal_range(h);
    for (auto it = first; it != last; ++it) {
        Cluster& c = clusters_[static_cast<size_t>(it->second)];
        if (c.width == width && c.height == height && c.rise == rise && c.bits == bits) {
            ++c.count;
            return it->second;
        }
    }
    Cluster c;
    c.width = width;
    c.height = height;
    c.rise = rise;
    c.parts = parts;
    const auto id = static_cast<int32_t>(clusters_.size());
    c.group = groupOf(width, height, rise, parts, bits);
    for (uint8_t b : bits) c.ink += b;
    c.bits = std::move(bits);
    c.count = 1;
    if (c.group < 0) {
        c.group = id;
        leaders_[shapeKey(width, height, rise, parts)].push_back(id);
        members_.resize(static_cast<size_t>(id) + 1);
    }
    members_[static_cast<size_t>(c.group)].push_back(id);
    clusters_.push_back(std::move(c));
    byHash_.emplace(h, id);
    return id;
}

namespace {

// The rows of a band where one text line ends and the next begins. Two lines whose
// descenders and ascenders share rows leave no empty row between them, but their bodies
// (the rows at least half as full as the fullest) stay apart with a valley of few pixels
// between, and only the odd descender or ascender reaches across it: a cut goes into the
// deepest such valley that most parts lie wholly above or below. (A valley inside one line,
// between the serifs of a thin font, has every letter reaching across.)
std::vector<int> lineCuts(const std::vector<int32_t>& profile, const std::vector<Part>& parts, int from, int to) {
    std::vector<int> cuts;
    if (to - from < 8) return cuts;
    std::vector<int32_t> maxAbove(static_cast<size_t>(to - from), 0), maxBelow(static_cast<size_t>(to - from), 0);
    for (int y = from, m = 0; y < to; ++y) {
        m = std::max(m, profile[static_cast<size_t>(y)]);
        maxAbove[static_cast<size_t>(y - from)] = m;
    }
    for (int y = to - 1, m = 0; y >= from; --y) {
        m = std::max(m, profile[static_cast<size_t>(y)]);
        maxBelow[static_cast<size_t>(y - from)] = m;
    }
    // Candidate rows by how deep their valley is.
    std::vector<std::pair<double, int>> valleys;
    for (int y = from + 2; y < to - 2; ++y) {
        const int32_t a = maxAbove[static_cast<size_t>(y - 1 - from)], b = maxBelow[static_cast<size_t>(y + 1 - from)];
        const int32_t v = profile[static_cast<size_t>(y)];
        if (a <= 0 || b <= 0 || v * 100 > std::min(a, b) * 35) continue;
        valleys.push_back({static_cast<double>(v) / std::min(a, b), y});
    }
    std::sort(valleys.begin(), valleys.end());
    for (const auto& [depth, y] : valleys) {
        // The body above: the rows at least half as full as the fullest above the cut.
        const int32_t a = maxAbove[static_cast<size_t>(y - 1 - from)], b = maxBelow[static_cast<size_t>(y + 1 - from)];
        // Bodies are measured by the span of those rows: a serif face fills its x-height's
        // top and bottom rows far more than the rows between.
        int aboveTop = -1, aboveBottom = -1, belowTop = -1, belowBottom = -1;
        for (int r = from; r < y; ++r)
            if (profile[static_cast<size_t>(r)] * 2 >= a) {
                if (aboveTop < 0) aboveTop = r;
                aboveBottom = r;
            }
        for (int r = to - 1; r > y; --r)
            if (profile[static_cast<size_t>(r)] * 2 >= b) {
                if (belowBottom < 0) belowBottom = r;
                belowTop = r;
            }
        const int aboveRows = aboveTop < 0 ? 0 : aboveBottom - aboveTop + 1;
        const int belowRows = belowTop < 0 ? 0 : belowBottom - belowTop + 1;
        // Both bodies of one text size (a row of accents over a line is no line), apart.
        if (aboveRows < 3 || belowRows < 3) continue;
        if (aboveRows * 2 < belowRows || belowRows * 2 < aboveRows) continue;
        if ((belowTop - aboveBottom - 1) * 5 < aboveRows + belowRows) continue;
        // Letters of one size on both sides (accents over a line are no line of their
        // own), and few parts across.
        std::vector<int> above, below;
        size_t across = 0;
        for (const Part& p : parts) {
            // Parts reaching out of the range belong to a line already cut off.
            if (p.top < from || p.bottom >= to) continue;
            if (p.bottom < y) above.push_back(p.bottom - p.top + 1);
            else if (p.top > y) below.push_back(p.bottom - p.top + 1);
            else ++across;
        }
        if (above.size() < 2 || below.size() < 2 || across * 4 > above.size() + below.size() + across) continue;
        std::nth_element(above.begin(), above.begin() + static_cast<std::ptrdiff_t>(above.size() / 2), above.end());
        std::nth_element(below.begin(), below.begin() + static_cast<std::ptrdiff_t>(below.size() / 2), below.end());
        const int ma = above[above.size() / 2], mb = below[below.size() / 2];
        if (ma * 5 < mb * 3 || mb * 5 < ma * 3) continue;
        // The cut: the emptiest row between the bodies, the middle one of a tie.
        int best = y;
        for (int r = aboveBottom + 1; r < belowTop; ++r)
            if (profile[static_cast<size_t>(r)] < profile[static_cast<size_t>(best)] ||
                (profile[static_cast<size_t>(r)] == profile[static_cast<size_t>(best)] &&
                 std::abs(r - (aboveBottom + belowTop) / 2) < std::abs(best - (aboveBottom + belowTop) / 2)))
                best = r;
        cuts = lineCuts(profile, parts, from, best);
        cuts.push_back(best);
        for (int c : lineCuts(profile, parts, best, to)) cuts.push_back(c);
        return cuts;
    }
    return cuts;
}

// The body rows of a line: the rows of [from, to) at least half as full as its fullest.
std::pair<int, int> bodyOf(const std::vector<int32_t>& profile, int from, int to) {
    int32_t most = 0;
    for (int y = from; y < to; ++y) most = std::max(most, profile[static_cast<size_t>(y)]);
    int top = to, bottom = from - 1;
    for (int y = from; y < to; ++y)
        if (most > 0 && profile[static_cast<size_t>(y)] * 2 >= most) {
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    return {top, bottom};
}

// One text line from its parts (band coordinates, sorted by left): stacked parts joined,
// quotation marks paired, the baseline found and every glyph entered in the table.
TextLine buildLine(std::vector<Part> parts, const std::vector<int32_t>& labels, int w, int bandTop,
                   ClusterTable& table) {
    int lineTop = parts.front().top, lineBottom = parts.front().bottom;
    for (const Part& p : parts) {
        lineTop = std::min(lineTop, p.top);
        lineBottom = std::max(lineBottom, p.bottom);
    }
    // Coordinates from here on are relative to the line's top row.
    for (Part& p : parts) {
        p.top -= lineTop;
        p.bottom -= lineTop;
    }
    const int bh = lineBottom - lineTop + 1;
    int32_t maxLabel = 0;
    int widest = 0;
    for (const Part& p : parts) {
        maxLabel = std::max(maxLabel, p.label);
        widest = std::max(widest, p.right - p.left + 1);
    }
    std::vector<int32_t> parent(parts.size());
    std::iota(parent.begin(), parent.end(), 0);
    // Stacked parts: each small part (dot, accent, half of a colon) joins the one part it
    // stacks with best, so the dots of an italic "ij" do not tie both letters together.
    // Only neighbours in x can overlap, and parts are sorted by their left edge: the scan
    // covers the widest part's width before and a slant allowance after, so a band of a
    // thousand specks is not a million comparisons.
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!isSmall(parts[i], bh)) continue;
        double bestScore = 0;
        size_t best = i;
        size_t j0 = i;
        while (j0 > 0 && parts[j0 - 1].left + widest + bh / 3 >= parts[i].left) --j0;
        for (size_t j = j0; j < parts.size() && parts[j].left <= parts[i].right + bh / 3; ++j) {
            if (j == i || parts[j].right + bh / 3 < parts[i].left) continue;
            const double score = std::max(stacking(parts[i], parts[j], bh), enclosing(parts[j], parts[i]));
            if (score > bestScore) {
                bestScore = score;
                best = j;
            }
        }
        if (best != i)
            parent[static_cast<size_t>(findRoot(parent, static_cast<int32_t>(best)))] =
                findRoot(parent, static_cast<int32_t>(i));
    }
    // Groups: the union of their parts.
    std::vector<Part> groups;
    std::vector<int32_t> groupOf(parts.size(), -1), partCount;
    std::vector<int32_t> groupOfLabel(static_cast<size_t>(maxLabel) + 1, -1);
    for (size_t i = 0; i < parts.size(); ++i) {
        const int32_t r = findRoot(parent, static_cast<int32_t>(i));
        if (groupOf[static_cast<size_t>(r)] < 0) {
            groupOf[static_cast<size_t>(r)] = static_cast<int32_t>(groups.size());
            groups.push_back(parts[i]);
            partCount.push_back(0);
        }
        const int32_t g = groupOf[static_cast<size_t>(r)];
        Part& gp = groups[static_cast<size_t>(g)];
        gp.left = std::min(gp.left, parts[i].left);
        gp.right = std::max(gp.right, parts[i].right);
        gp.top = std::min(gp.top, parts[i].top);
        gp.bottom = std::max(gp.bottom, parts[i].bottom);
        ++partCount[static_cast<size_t>(g)];
        groupOfLabel[static_cast<size_t>(parts[i].label)] = g;
    }
    // Baseline: the bottom row most tall-enough groups share.
    std::vector<int> bottoms;
    for (const Part& g : groups)
        if ((g.bottom - g.top + 1) * 10 >= bh * 3) bottoms.push_back(g.bottom);
    if (bottoms.empty())
        for (const Part& g : groups) bottoms.push_back(g.bottom);
    std::sort(bottoms.begin(), bottoms.end());
    int baseline = bottoms.front(), bestRun = 0;
    for (size_t i = 0; i < bottoms.size();) {
        size_t j = i;
        while (j < bottoms.size() && bottoms[j] == bottoms[i]) ++j;
        if (static_cast<int>(j - i) > bestRun || (static_cast<int>(j - i) == bestRun && bottoms[i] > baseline)) {
            bestRun = static_cast<int>(j - i);
            baseline = bottoms[i];
        }
        i = j;
    }
    const int above = std::max(1, baseline);   // band rows above the baseline
    auto riseOf = [&](const Part& g) {
        if (g.bottom > baseline + std::max(1, above / 12)) return Rise::Below;
        if ((baseline - g.bottom) * 10 > above * 3) return Rise::Raised;
        return Rise::Base;
    };
    // Quotation marks: two small marks side by side off the baseline make one glyph.
    std::vector<int32_t> order(groups.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](int32_t a, int32_t b) { return groups[static_cast<size_t>(a)].left < groups[static_cast<size_t>(b)].left; });
    std::vector<int32_t> mergedInto(groups.size(), -1);
    for (size_t k = 0; k + 1 < order.size(); ++k) {
        Part& a = groups[static_cast<size_t>(order[k])];
        const Part& b = groups[static_cast<size_t>(order[k + 1])];
        if (mergedInto[static_cast<size_t>(order[k])] >= 0) continue;
        const int ha = a.bottom - a.top + 1, hb = b.bottom - b.top + 1;
        const int wa = a.right - a.left + 1, wb = b.right - b.left + 1;
        // Raised pairs are “ ” and ", a pair below the baseline is „; a pair of upright
        // marks floating above the baseline is « or ».
        const bool chevrons = riseOf(a) == Rise::Base && riseOf(b) == Rise::Base &&
                              baseline - a.bottom >= std::max(1, above / 20) &&
                              baseline - b.bottom >= std::max(1, above / 20) && ha * 10 >= wa * 12 && hb * 10 >= wb * 12;
        if (!chevrons && (riseOf(a) == Rise::Base || riseOf(a) != riseOf(b))) continue;
        if (partCount[static_cast<size_t>(order[k])] != 1 || partCount[static_cast<size_t>(order[k + 1])] != 1) continue;
        if (std::abs(ha - hb) * 4 > std::max(ha, hb) || b.left - a.right - 1 > std::max({3, std::max(wa, wb) * 3 / 2, std::max(ha, hb) * 6 / 10}))
            continue;
        // Quotation marks stay under half the line height above the baseline, « under 60 %.
        if (std::max(ha, hb) * (chevrons ? 5 : 2) > above * (chevrons ? 3 : 1)) continue;
        mergedInto[static_cast<size_t>(order[k + 1])] = order[k];
        a.left = std::min(a.left, b.left);
        a.right = std::max(a.right, b.right);
        a.top = std::min(a.top, b.top);
        a.bottom = std::max(a.bottom, b.bottom);
        partCount[static_cast<size_t>(order[k])] += 1;
        ++k;
    }
    for (int32_t& g : groupOfLabel) {
        if (g >= 0 && mergedInto[static_cast<size_t>(g)] >= 0) g = mergedInto[static_cast<size_t>(g)];
    }

    TextLine line;
    line.top = bandTop + lineTop;
    line.bottom = bandTop + lineBottom;
    line.baseline = bandTop + lineTop + baseline;
    for (int32_t gi : order) {
        if (mergedInto[static_cast<size_t>(gi)] >= 0) continue;
        const Part& g = groups[static_cast<size_t>(gi)];
        Glyph glyph{-1, g.left, bandTop + lineTop + g.top, g.right, bandTop + lineTop + g.bottom};
        const int gw = g.right - g.left + 1, gh = g.bottom - g.top + 1;
        if (int64_t{gw} * gh <= kMaxClusterPixels) {
            std::vector<uint8_t> bits(static_cast<size_t>(gw) * static_cast<size_t>(gh), 0);
            for (int y = 0; y < gh; ++y) {
                for (int x = 0; x < gw; ++x) {
                    const int32_t l = labels[static_cast<size_t>(lineTop + g.top + y) * static_cast<size_t>(w) +
                                             static_cast<size_t>(g.left + x)];
                    if (l >= 0 && l <= maxLabel && groupOfLabel[static_cast<size_t>(l)] == gi)
                        bits[static_cast<size_t>(y) * static_cast<size_t>(gw) + static_cast<size_t>(x)] = 1;
                }
            }
            // A glyph is ink: a box whose pixels all belong to other parts is none.
            if (std::find(bits.begin(), bits.end(), uint8_t{1}) == bits.end()) continue;
            const auto pc = static_cast<uint8_t>(std::min<int32_t>(partCount[static_cast<size_t>(gi)], 255));
            glyph.cluster = table.add(gw, gh, riseOf(g), pc, std::move(bits));
        }
        line.glyphs.push_back(glyph);
    }
    return line;
}

}  // namespace

std::vector<TextLine> cutLines(const InkMask& mask, ClusterTable& table, int64_t maxParts, bool* overBudget) {
    std::vector<TextLine> lines;
    if (overBudget) *overBudget = false;
    if (mask.width <= 0 || mask.height <= 0) return lines;
    const int w = mask.width;
    std::vector<int32_t> labels;
    std::vector<int32_t> stack;
    int64_t partsSeen = 0;
    // The lines of rows bandTop..bandBottom into `lines`. With needCut, only when the rows hold
    // two lines or more (false otherwise, nothing done). -1: over the budget of parts.
    auto band = [&](int bandTop, int bandBottom, bool needCut) -> int {
        const int bh = bandBottom - bandTop + 1;
        labels.assign(static_cast<size_t>(w) * static_cast<size_t>(bh), -1);
        std::vector<Part> parts;
        std::vector<int32_t> profile(static_cast<size_t>(bh), 0);
        // 8-connected parts of the band.
        for (int y = 0; y < bh; ++y) {
            for (int x = 0; x < w; ++x) {
                if (!mask.at(x, bandTop + y)) continue;
                ++profile[static_cast<size_t>(y)];
                const size_t at = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
                if (labels[at] >= 0) continue;
                // A picture of thousands of specks is no text: it gets no glyphs at all.
                if (++partsSeen > maxParts) return -1;
                const auto id = static_cast<int32_t>(parts.size());
                Part p{x, y, x, y, id};
                labels[at] = id;
                stack.assign(1, static_cast<int32_t>(at));
                while (!stack.empty()) {
                    const int32_t cur = stack.back();
                    stack.pop_back();
                    const int cx = cur % w, cy = cur / w;
                    p.left = std::min(p.left, cx);
                    p.right = std::max(p.right, cx);
                    p.top = std::min(p.top, cy);
                    p.bottom = std::max(p.bottom, cy);
                    for (int dy = -1; dy <= 1; ++dy) {
                        const int ny = cy + dy;
                        if (ny < 0 || ny >= bh) continue;
                        for (int dx = -1; dx <= 1; ++dx) {
                            const int nx = cx + dx;
                            if (nx < 0 || nx >= w) continue;
                            const size_t n = static_cast<size_t>(ny) * static_cast<size_t>(w) + static_cast<size_t>(nx);
                            if (labels[n] >= 0 || !mask.at(nx, bandTop + ny)) continue;
                            labels[n] = id;
                            stack.push_back(static_cast<int32_t>(n));
                        }
                    }
                }
                parts.push_back(p);
            }
        }
        if (parts.empty()) return 1;

        // Lines inside the band, each with its body rows.
        std::vector<int> bounds{0};
        for (int c : lineCuts(profile, parts, 0, bh)) bounds.push_back(c);
        if (needCut && bounds.size() == 1) {
            partsSeen -= static_cast<int64_t>(parts.size());
            return 0;
        }
        bounds.push_back(bh);
        const size_t nLines = bounds.size() - 1;
        std::vector<std::pair<int, int>> bodies;
        for (size_t k = 0; k < nLines; ++k) bodies.push_back(bodyOf(profile, bounds[k], bounds[k + 1]));
        std::vector<std::vector<Part>> byLine(nLines);
        if (nLines == 1) {
            byLine[0] = std::move(parts);
        } else {
            // A part joining two lines (a descender touching an ascender) is cut at the valley.
            const size_t original = parts.size();
            for (size_t i = 0; i < original; ++i) {
                for (size_t k = 0; k + 1 < nLines; ++k) {
                    Part& p = parts[i];
                    const int cut = bounds[k + 1];
                    if (p.top >= cut || p.bottom < cut) continue;
                    if (overlap(p.top, p.bottom, bodies[k].first, bodies[k].second) <= 0 ||
                        overlap(p.top, p.bottom, bodies[k + 1].first, bodies[k + 1].second) <= 0)
                        continue;
                    // The part splits where it is narrowest between the two bodies (where a
                    // descender meets an ascender); of rows about as narrow, the one nearest
                    // the middle between the bodies, so a thin tail is not cut off its letter.
                    const Part whole = p;
                    const int from = std::max(whole.top, bodies[k].second + 1);
                    const int to = std::min(whole.bottom, bodies[k + 1].first - 1);
                    const int middle = (bodies[k].second + bodies[k + 1].first) / 2;
                    std::vector<int> widths;
                    int thinnest = std::numeric_limits<int>::max();
                    for (int y = from; y <= to; ++y) {
                        int n = 0;
                        for (int x = whole.left; x <= whole.right; ++x)
                            n += labels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] == whole.label;
                        widths.push_back(n);
                        thinnest = std::min(thinnest, n);
                    }
                    int split = cut;
                    for (int y = from; y <= to; ++y)
                        if (widths[static_cast<size_t>(y - from)] <= thinnest + 1 &&
                            (split == cut || std::abs(y - middle) < std::abs(split - middle)))
                            split = y;
                    Part upper{whole.right, whole.bottom, whole.left, whole.top, whole.label};
                    Part lower{whole.right, whole.bottom, whole.left, whole.top, static_cast<int32_t>(parts.size())};
                    for (int y = whole.top; y <= whole.bottom; ++y)
                        for (int x = whole.left; x <= whole.right; ++x) {
                            int32_t& l = labels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)];
                            if (l != whole.label) continue;
                            Part& piece = y < split ? upper : lower;
                            if (y >= split) l = lower.label;
                            piece.left = std::min(piece.left, x);
                            piece.right = std::max(piece.right, x);
                            piece.top = std::min(piece.top, y);
                            piece.bottom = std::max(piece.bottom, y);
                        }
                    p = upper;
                    parts.push_back(lower);
                }
            }
            // Each part goes to the line whose body it overlaps most; one between two bodies
            // to the nearer of them: a comma hangs from the upper body, an accent, a dot or a
            // quotation mark sits just over the lower one (the lower one when as near).
            for (Part& p : parts) {
                size_t line = 0;
                int most = 0;
                for (size_t k = 0; k < nLines; ++k) {
                    const int o = overlap(p.top, p.bottom, bodies[k].first, bodies[k].second);
                    if (o > most) {
                        most = o;
                        line = k;
                    }
                }
                if (most <= 0) {
                    line = nLines - 1;
                    for (size_t k = 0; k < nLines; ++k) {
                        if (p.bottom < bodies[k].first) {
                            line = k;
                            if (k > 0 && p.top - bodies[k - 1].second < bodies[k].first - p.bottom) line = k - 1;
                            break;
                        }
                    }
                }
                byLine[line].push_back(p);
            }
        }
        for (std::vector<Part>& lineParts : byLine) {
            if (lineParts.empty()) continue;
            std::sort(lineParts.begin(), lineParts.end(), [](const Part& a, const Part& b) { return a.left < b.left; });
            lines.push_back(buildLine(std::move(lineParts), labels, w, bandTop, table));
        }
        return 1;
    };
    const std::vector<std::pair<int, int>> bands = findBands(mask);
    for (size_t i = 0; i < bands.size(); ++i) {
        // Lines set tightly: the accents and dots of the lower line can share rows with the
        // descenders of the upper one, so the empty rows fall between the lower line's marks
        // and its letters. Two bands that close are read together when their rows hold two
        // lines, so the marks go with their letters.
        if (i + 1 < bands.size()) {
            const int gap = bands[i + 1].first - bands[i].second - 1;
            const int shorter = std::min(bands[i].second - bands[i].first, bands[i + 1].second - bands[i + 1].first) + 1;
            if (gap * 10 <= shorter * 2) {
                const int r = band(bands[i].first, bands[i + 1].second, true);
                if (r < 0) break;
                if (r > 0) {
                    ++i;
                    continue;
                }
            }
        }
        if (band(bands[i].first, bands[i].second, false) < 0) {
            if (overBudget) *overBudget = true;
            lines.clear();
            return lines;
        }
    }
    if (partsSeen > maxParts) {
        if (overBudget) *overBudget = true;
        lines.clear();
    }
    return lines;
}

}  // namespace vantrel
