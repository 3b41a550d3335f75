// Spaces, slant, alignment and the I/l choice of the learned engine.
#include "ocr/learned/reading.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>

namespace vantrel {
namespace {

bool isLower(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 0xDF && c != 0xF7); }
bool isUpper(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7); }

// Sharpness of the column histogram after shearing by s (x shifted left by s per row up).
double sharpness(const Cluster& c, double s, bool mirrored) {
    const int extra = static_cast<int>(std::ceil(std::abs(s) * c.height)) + 1;
    std::vector<int> columns(static_cast<size_t>(c.width + 2 * extra), 0);
    for (int y = 0; y < c.height; ++y) {
        const int shift = static_cast<int>(std::lround(s * (c.height - 1 - y)));
        for (int x = 0; x < c.width; ++x) {
            const int sx = mirrored ? c.width - 1 - x : x;
            if (c.bits[static_cast<size_t>(y) * static_cast<size_t>(c.width) + static_cast<size_t>(sx)])
                ++columns[static_cast<size_t>(x - shift + extra)];
        }
    }
    double sum = 0;
    for (int v : columns) sum += double(v) * v;
    return sum;
}

}  // namespace

int32_t spaceThreshold(const std::vector<int32_t>& gaps, int32_t textHeight) {
    const int32_t fallback = std::max<int32_t>(4, textHeight * 3 / 10);
    if (gaps.size() < 4) return fallback;
    constexpr int kMax = 512;
    std::vector<int64_t> hist(kMax, 0);
    for (int32_t g : gaps) ++hist[static_cast<size_t>(std::clamp(g, 0, kMax - 1))];
    const auto total = static_cast<double>(gaps.size());
    double sumAll = 0;
    for (int i = 0; i < kMax; ++i) sumAll += double(i) * double(hist[static_cast<size_t>(i)]);
    double best = -1, wB = 0, sumB = 0;
    int cut = 0;
    double meanLow = 0, meanHigh = 0;
    for (int t = 0; t < kMax - 1; ++t) {
        wB += double(hist[static_cast<size_t>(t)]);
        sumB += double(t) * double(hist[static_cast<size_t>(t)]);
        const double wF = total - wB;
        if (wB == 0 || wF == 0) continue;
        const double mB = sumB / wB, mF = (sumAll - sumB) / wF;
        const double between = wB * wF * (mB - mF) * (mB - mF);
        if (between > best) {
            best = between;
            cut = t + 1;
            meanLow = mB;
            meanHigh = mF;
        }
    }
    // Word gaps are well apart from letter gaps; without that there is one group only.
    if (best < 0 || meanHigh < 2 * meanLow + 3 || cut < textHeight / 10) return fallback;
    return cut;
}

int32_t glyphGap(const Glyph& a, const Glyph& b, const ClusterTable& table, int32_t baseline, float shearA,
                 float shearB) {
    const int32_t boxGap = b.left - a.right - 1;
    if (a.cluster < 0 || b.cluster < 0) return boxGap;
    // Columns after taking out each glyph's slant about the baseline.
    auto extent = [&](const Glyph& g, float shear, bool right) {
        const Cluster& c = table[g.cluster];
        double best = right ? -1e9 : 1e9;
        const int last = !right && g.top < baseline ? std::min(c.height - 1, baseline - g.top) : c.height - 1;
        for (int y = 0; y <= last; ++y) {
            const double shift = static_cast<double>(shear) * (baseline - (g.top + y));
            const auto row = static_cast<size_t>(y) * static_cast<size_t>(c.width);
            if (right) {
                for (int x = c.width - 1; x >= 0; --x)
                    if (c.bits[row + static_cast<size_t>(x)]) {
                        best = std::max(best, g.left + x - shift);
                        break;
                    }
            } else {
                for (int x = 0; x < c.width; ++x)
                    if (c.bits[row + static_cast<size_t>(x)]) {
                        best = std::min(best, g.left + x - shift);
                        break;
                    }
            }
        }
        return best;
    };
    return static_cast<int32_t>(std::lround(extent(b, shearB, false) - extent(a, shearA, true))) - 1;
}

SlantScore slantOf(const Cluster& c) {
    SlantScore score;
    if (c.height < 6 || c.width < 1 || c.bits.size() < static_cast<size_t>(c.width) * static_cast<size_t>(c.height))
        return score;
    std::array<double, 41> sharp{};
    int bestK = 0;
    for (int k = -20; k <= 20; ++k) {
        sharp[static_cast<size_t>(k + 20)] = sharpness(c, 0.02 * k, false);
        if (sharp[static_cast<size_t>(k + 20)] > sharp[static_cast<size_t>(bestK + 20)] ||
            (sharp[static_cast<size_t>(k + 20)] == sharp[static_cast<size_t>(bestK + 20)] && std::abs(k) < std::abs(bestK)))
            bestK = k;
    }
    auto at = [&](int k) { return sharp[static_cast<size_t>(k + 20)]; };
    if (bestK == 0) {
        // Sharpest upright and clearly less sharp either way: an upright stroke.
        if (at(0) >= 1.15 * std::max(at(10), at(-10))) score.lean = -1;
        return score;
    }
    // Diagonal strokes (z, y, v, x) are sharpest far out; they tell nothing.
    if (std::abs(bestK) >= 16) return score;
    // A shape as sharp sheared the other way leans both ways (A, W, w): no slant.
    if (at(bestK) < at(-bestK) * 1.04) return score;
    score.slant = static_cast<float>(0.02 * bestK);
    if (bestK >= 5 && at(bestK) >= 1.08 * at(-bestK) && at(bestK) >= 1.05 * at(0)) score.lean = 1;
    return score;
}

int expectedParts(unsigned char c) {
    if (c == 'i' || c == 'j' || c == '!' || c == '?' || c == ';' || c == ':' || c == '=' || c == '"') return 2;
    // Double quotation marks (Windows-1252 „ “ ” « ») are paired marks.
    if (c == 0x84 || c == 0x93 || c == 0x94 || c == 0xAB || c == 0xBB) return 2;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return 1;
    // Single marks: ' , . - ( ) / and ‚ ‘ ’ – —.
    if (c == '\'' || c == ',' || c == '.' || c == '-' || c == '(' || c == ')' || c == '/' || c == 0x82 ||
        c == 0x91 || c == 0x92 || c == 0x96 || c == 0x97)
        return 1;
    // Accented letters: the accent is a part of its own (ç, Ç, Ø, ø, Ð, ð excepted).
    if ((c >= 0xC0 && c <= 0xC5) || (c >= 0xC8 && c <= 0xCF) || (c >= 0xD1 && c <= 0xD6) ||
        (c >= 0xD9 && c <= 0xDD) || (c >= 0xE0 && c <= 0xE5) || (c >= 0xE8 && c <= 0xEF) ||
        (c >= 0xF1 && c <= 0xF6) || (c >= 0xF9 && c <= 0xFD) || c == 0xFF)
        return 2;
    return 0;
}

bool riseFits(const std::string& label, Rise rise) {
    if (rise != Rise::Raised || label.empty()) return true;
    for (char c : label) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || (u >= 0xC0 && u != 0xD7 && u != 0xF7)) return false;
    }
    return true;
}

std::vector<AlignVote> alignWord(const std::vector<AlignSegment>& segments, const std::string& text,
                                 const TypicalWidth& typical) {
    const size_t m = segments.size(), n = text.size();
    std::vector<AlignVote> votes;
    if (m == 0 || n == 0 || m > 200 || n > 200) return votes;
    constexpr double kInf = 1e9;
    constexpr double kSkip = 2.0, kSkipSign = 1.4, kMismatch = 1.0, kPair = 1.5, kShare = 0.8, kWrongParts = 1.5;
    // Moves: 1 segment-1 char, 1 segment-2 chars, 2 segments-1 char, skip segment, skip char,
    // known segment with its label.
    enum Move : uint8_t { None, One, Two, Share, SkipSeg, SkipChar, Known, Dots };
    std::vector<double> cost((m + 1) * (n + 1), kInf);
    std::vector<uint8_t> move((m + 1) * (n + 1), None);
    std::vector<uint8_t> len((m + 1) * (n + 1), 0);
    auto at = [&](size_t i, size_t j) { return i * (n + 1) + j; };
    cost[at(0, 0)] = 0;
    // Touching glyphs make a segment wider than the word's usual one.
    std::vector<int> widths;
    for (const AlignSegment& s : segments)
        if (s.width > 0) widths.push_back(s.width);
    std::sort(widths.begin(), widths.end());
    const int usual = widths.empty() ? 0 : widths[widths.size() / 2];
    for (size_t i = 0; i <= m; ++i) {
        for (size_t j = 0; j <= n; ++j) {
            const double c = cost[at(i, j)];
            if (c >= kInf) continue;
            auto relax = [&](size_t ni, size_t nj, double add, Move mv, uint8_t l) {
                if (ni > m || nj > n) return;
                if (c + add < cost[at(ni, nj)]) {
                    cost[at(ni, nj)] = c + add;
                    move[at(ni, nj)] = mv;
                    len[at(ni, nj)] = l;
                }
            };
            relax(i + 1, j, kSkip, SkipSeg, 0);
            // Tesseract adds stray signs more often than it invents letters.
            if (j < n) relax(i, j + 1, std::isalnum(static_cast<unsigned char>(text[j])) ? kSkip : kSkipSign, SkipChar, 0);
            if (i >= m) continue;
            const AlignSegment& s = segments[i];
            if (s.label) {
                const size_t k = s.label->size();
                if (k > 0 && j + k <= n)
                    relax(i + 1, j + k, text.compare(j, k, *s.label) == 0 ? 0 : kMismatch, Known,
                          static_cast<uint8_t>(k));
                if (k != 1 && j + 1 <= n) relax(i + 1, j + 1, kMismatch + 0.5, Known, 1);
                continue;
            }
            // A character whose part count the segment does not have costs as much as a
            // mismatch, so a shifted alignment does not look cheap.
            const int want = expectedParts(static_cast<unsigned char>(text[j < n ? j : 0]));
            const bool fits = s.parts == 0 || want == 0 || (want == 1 ? s.parts == 1 : s.parts >= 2);
            // Widths the stream's glyphs of these characters usually have, when known.
            const int one = typical && j < n ? typical(static_cast<unsigned char>(text[j])) : 0;
            const int two = typical && j + 1 < n && one > 0 ? typical(static_cast<unsigned char>(text[j + 1])) : 0;
            const bool tooWide = one > 0 && s.width > 0 && s.width * 4 > one * 5 + 8;
            if (j < n) relax(i + 1, j + 1, (fits ? 0 : kWrongParts) + (tooWide ? kWrongParts : 0), One, 1);
            // Touching glyphs are letters or digits ("rn", "fi", "11"), never signs.
            if (j + 2 <= n && std::isalnum(static_cast<unsigned char>(text[j])) &&
                std::isalnum(static_cast<unsigned char>(text[j + 1]))) {
                const bool pairWide = two > 0 ? s.width * 10 >= (one + two) * 7 : s.width == 0 || s.width * 5 >= usual * 6;
                relax(i + 1, j + 2, pairWide ? kPair : kPair + 1.0, Two, 2);
            }
            // The ellipsis is three dots: three small segments read as one "…".
            if (j < n && text[j] == '\x85' && i + 2 < m) {
                bool dots = true;
                for (size_t k = i; k < i + 3; ++k)
                    dots = dots && (!segments[k].label || *segments[k].label == ".") &&
                           (segments[k].width == 0 || usual == 0 || segments[k].width <= usual);
                if (dots) relax(i + 3, j + 1, 0, Dots, 1);
            }
            if (s.mark && i + 1 < m && segments[i + 1].mark && !segments[i + 1].label) relax(i + 2, j + 1, kShare, Share, 1);
        }
    }
    const double total = cost[at(m, n)];
    // More than a third of the word unmatched: the teacher read something else.
    if (total >= kInf || total > 1.0 + 0.34 * double(std::max(m, n))) return votes;
    size_t i = m, j = n;
    while (i > 0 || j > 0) {
        const Move mv = static_cast<Move>(move[at(i, j)]);
        const size_t l = len[at(i, j)];
        switch (mv) {
            case One:
            case Two:
                votes.push_back({i - 1, text.substr(j - l, l)});
                --i;
                j -= l;
                break;
            case Known:
                --i;
                j -= l;
                break;
            case Share: i -= 2; j -= 1; break;   // no single segment reads the character
            case Dots:
                for (size_t k = 1; k <= 3; ++k)
                    if (!segments[i - k].label) votes.push_back({i - k, "."});
                i -= 3;
                j -= 1;
                break;
            case SkipSeg: --i; break;
            case SkipChar: --j; break;
            case None: return {};
        }
    }
    std::reverse(votes.begin(), votes.end());
    return votes;
}

std::string chooseIl(const std::string& word, const std::function<bool(const std::string&)>& known) {
    std::vector<size_t> spots;
    for (size_t k = 0; k < word.size(); ++k)
        if (word[k] == 'I' || word[k] == 'l') spots.push_back(k);
    if (spots.empty()) return word;
    if (word.size() == 1) return "I";   // the pronoun; a lone l is no word
    std::string best = word;
    if (spots.size() <= 4 && known) {
        if (known(word)) return word;
        // Every spelling of the ambiguous letters, the one as read first.
        for (unsigned mask = 1; mask < (1u << spots.size()); ++mask) {
            std::string t = word;
            for (size_t b = 0; b < spots.size(); ++b)
                if (mask & (1u << b)) t[spots[b]] = t[spots[b]] == 'I' ? 'l' : 'I';
            if (known(t)) return t;
        }
    }
    // Context: a capital among capitals or alone, a small letter after a small letter.
    for (size_t k : spots) {
        const unsigned char prev = k > 0 ? static_cast<unsigned char>(best[k - 1]) : 0;
        const unsigned char next = k + 1 < best.size() ? static_cast<unsigned char>(best[k + 1]) : 0;
        if ((prev == 0 || isUpper(prev)) && (next == 0 || isUpper(next))) best[k] = 'I';
        else if (isLower(prev)) best[k] = 'l';
    }
    return best;
}

}  // namespace vantrel
