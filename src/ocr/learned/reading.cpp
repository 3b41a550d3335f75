// Spaces, slant, alignment and the I/l choice of the learned engine.
#include "ocr/learned/reading.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>

#include "core/encoding.h"

namespace vantrel {
namespace {

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

// Letters drawn alike in the three scripts: Latin, Cyrillic, Greek (0: none in that script).
struct Twins {
    char32_t latin, cyrillic, greek;
};
constexpr Twins kTwins[] = {
    {'a', 0x430, 0},     {'c', 0x441, 0},     {'e', 0x435, 0},     {'o', 0x43E, 0x3BF}, {'p', 0x440, 0x3C1},
    {'x', 0x445, 0},     {'y', 0x443, 0},     {'i', 0x456, 0},     {'j', 0x458, 0},     {'s', 0x455, 0},
    {'v', 0, 0x3BD},     {'A', 0x410, 0x391}, {'B', 0x412, 0x392}, {'C', 0x421, 0},     {'E', 0x415, 0x395},
    {'H', 0x41D, 0x397}, {'I', 0x406, 0x399}, {'J', 0x408, 0},     {'K', 0x41A, 0x39A}, {'M', 0x41C, 0x39C},
    {'N', 0, 0x39D},     {'O', 0x41E, 0x39F}, {'P', 0x420, 0x3A1}, {'S', 0x405, 0},     {'T', 0x422, 0x3A4},
    {'X', 0x425, 0x3A7}, {'Y', 0x4AE, 0x3A5}, {'Z', 0, 0x396},   {0xB5, 0, 0x3BC},   // the micro sign is μ
};

// Letters drawn in two pieces side by side, each piece read as a character of its own and
// joined again when the text is written: the caron of ť ď ľ Ľ is an apostrophe after the
// letter, the tonos of Greek capitals stands before it, ы is ь and a stroke.
constexpr SplitLetter kSplitLetters[] = {
    {0x165, 't', 0x30C, true},   {0x10F, 'd', 0x30C, true},   {0x13E, 'l', 0x30C, true},
    {0x13D, 'L', 0x30C, true},   {0x386, 0x301, 0x391, false}, {0x388, 0x301, 0x395, false},
    {0x389, 0x301, 0x397, false}, {0x38A, 0x301, 0x399, false}, {0x38C, 0x301, 0x39F, false},
    {0x38E, 0x301, 0x3A5, false}, {0x38F, 0x301, 0x3A9, false}, {0x44B, 0x44C, 0x131, true},
    {0x42B, 0x42C, 0x406, true},
};

const Twins* twinsOf(char32_t c) {
    for (const Twins& t : kTwins)
        if (c == t.latin || c == t.cyrillic || c == t.greek) return &t;
    return nullptr;
}

}  // namespace

void writeInOneScript(std::u32string& word, Script fallback) {
    int latin = 0, cyrillic = 0, greek = 0;
    bool twins = false;
    for (char32_t c : word) {
        if (twinsOf(c)) {
            twins = true;
            continue;
        }
        if (!isLetter(c)) continue;
        switch (scriptOf(c)) {
            case Script::Latin: ++latin; break;
            case Script::Cyrillic: ++cyrillic; break;
            case Script::Greek: ++greek; break;
            case Script::None: break;
        }
    }
    if (!twins) return;
    Script script = fallback;
    if (latin > cyrillic && latin > greek) script = Script::Latin;
    else if (cyrillic > latin && cyrillic > greek) script = Script::Cyrillic;
    else if (greek > latin && greek > cyrillic) script = Script::Greek;
    for (char32_t& c : word) {
        const Twins* t = twinsOf(c);
        if (!t) continue;
        const char32_t to = script == Script::Cyrillic ? t->cyrillic : script == Script::Greek ? t->greek : t->latin;
        if (to != 0) c = to;
    }
}

char32_t monotonicGreek(char32_t c) {
    if (c < 0x1F00 || c > 0x1F7D) return c;
    // Rows of eight (or six) in the Greek Extended block: small then capital, per vowel.
    struct Row {
        char32_t first, last, tonos;
    };
    static constexpr Row kRows[] = {
        {0x1F00, 0x1F07, 0x3AC}, {0x1F08, 0x1F0F, 0x386}, {0x1F10, 0x1F15, 0x3AD}, {0x1F18, 0x1F1D, 0x388},
        {0x1F20, 0x1F27, 0x3AE}, {0x1F28, 0x1F2F, 0x389}, {0x1F30, 0x1F37, 0x3AF}, {0x1F38, 0x1F3F, 0x38A},
        {0x1F40, 0x1F45, 0x3CC}, {0x1F48, 0x1F4D, 0x38C}, {0x1F50, 0x1F57, 0x3CD}, {0x1F59, 0x1F5F, 0x38E},
        {0x1F60, 0x1F67, 0x3CE}, {0x1F68, 0x1F6F, 0x38F}, {0x1F70, 0x1F71, 0x3AC}, {0x1F72, 0x1F73, 0x3AD},
        {0x1F74, 0x1F75, 0x3AE}, {0x1F76, 0x1F77, 0x3AF}, {0x1F78, 0x1F79, 0x3CC}, {0x1F7A, 0x1F7B, 0x3CD},
        {0x1F7C, 0x1F7D, 0x3CE},
    };
    for (const Row& r : kRows)
        if (c >= r.first && c <= r.last) return r.tonos;
    return c;
}

char32_t latinTwin(char32_t c) {
    const Twins* t = twinsOf(c);
    return t ? t->latin : c;
}

const SplitLetter* splitLetterOf(char32_t c) {
    for (const SplitLetter& s : kSplitLetters)
        if (s.letter == c) return &s;
    return nullptr;
}

std::string joinSplitLetters(std::string_view text) {
    std::u32string chars = toChars(text);
    bool changed = false;
    for (size_t k = 0; k + 1 < chars.size(); ++k)
        for (const SplitLetter& s : kSplitLetters)
            if (chars[k] == s.first && latinTwin(chars[k + 1]) == latinTwin(s.second)) {
                chars[k] = s.letter;
                chars.erase(k + 1, 1);
                changed = true;
                break;
            }
    return changed ? toUtf8(chars) : std::string(text);
}

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

int expectedParts(char32_t c) {
    if (c == 'i' || c == 'j' || c == '!' || c == '?' || c == ';' || c == ':' || c == '=' || c == '"') return 2;
    // Double quotation marks („ “ ” « ») are paired marks.
    if (c == 0x201E || c == 0x201C || c == 0x201D || c == 0xAB || c == 0xBB) return 2;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return 1;
    // Single marks: ' , . - ( ) / and ‚ ‘ ’ – —.
    if (c == '\'' || c == ',' || c == '.' || c == '-' || c == '(' || c == ')' || c == '/' || c == 0x201A ||
        c == 0x2018 || c == 0x2019 || c == 0x2013 || c == 0x2014)
        return 1;
    // Accented letters: the accent is a part of its own (ç, Ç, Ø, ø, Ð, ð excepted).
    if ((c >= 0xC0 && c <= 0xC5) || (c >= 0xC8 && c <= 0xCF) || (c >= 0xD1 && c <= 0xD6) ||
        (c >= 0xD9 && c <= 0xDD) || (c >= 0xE0 && c <= 0xE5) || (c >= 0xE8 && c <= 0xEF) ||
        (c >= 0xF1 && c <= 0xF6) || (c >= 0xF9 && c <= 0xFD) || c == 0xFF)
        return 2;
    // Central European letters with a separate acute, caron, breve, dot, ring or double
    // acute (ć č ď ě ğ İ ń ň ő ŕ ř ś š ť ů ű ź ż ž); ogonek and cedilla letters touch their mark.
    static constexpr char32_t kAccented[] = {0x106, 0x107, 0x10C, 0x10D, 0x10E, 0x10F, 0x11A, 0x11B, 0x11E, 0x11F,
                                             0x130, 0x143, 0x144, 0x147, 0x148, 0x150, 0x151, 0x154, 0x155, 0x158,
                                             0x159, 0x15A, 0x15B, 0x160, 0x161, 0x164, 0x165, 0x16E, 0x16F, 0x170,
                                             0x171, 0x179, 0x17A, 0x17B, 0x17C, 0x17D, 0x17E};
    if (std::find(std::begin(kAccented), std::end(kAccented), c) != std::end(kAccented)) return 2;
    if (c == 0x131 || c == 0x141 || c == 0x142 || c == 0x110 || c == 0x111) return 1;
    // Greek: the capitals and small letters without tonos or dialytika are one part, but Ξ
    // (three bars) and Θ (a bar inside the ring in some faces).
    if (c == 0x39E) return 2;
    if (c == 0x398) return 0;
    if ((c >= 0x391 && c <= 0x3A9) || (c >= 0x3B1 && c <= 0x3C9)) return 1;
    if (c == 0x386 || (c >= 0x388 && c <= 0x38F) || (c >= 0x3AA && c <= 0x3B0) || (c >= 0x3CA && c <= 0x3CE)) return 2;
    // Cyrillic: й ё ї and ы have parts of their own, the other basic letters are one.
    if (c == 0x419 || c == 0x439 || c == 0x401 || c == 0x451 || c == 0x407 || c == 0x457 || c == 0x42B ||
        c == 0x44B || c == 0x40E || c == 0x45E)
        return 2;
    if ((c >= 0x410 && c <= 0x44F) || c == 0x404 || c == 0x454 || c == 0x490 || c == 0x491) return 1;
    return 0;
}

bool riseFits(const std::string& label, Rise rise, bool belowLetters) {
    if (rise == Rise::Base || label.empty() || (rise == Rise::Below && !belowLetters)) return true;
    // Small letters no face draws below the baseline: a mark shorter than they are that
    // reaches below it (a comma) is none of them.
    static constexpr std::u32string_view kNeverBelow = U"acemnorsuvwxz\u0430\u0432\u0435\u0438\u043a\u043c"
                                                       U"\u043d\u043e\u043f\u0441\u0442\u0445\u0448\u044c"
                                                       U"\u044f\u03b1\u03b5\u03b9\u03ba\u03bd\u03bf\u03c0"
                                                       U"\u03c3\u03c4\u03c5\u03c9";
    if (rise == Rise::Below) return charCount(label) != 1 || kNeverBelow.find(firstChar(label)) == std::u32string_view::npos;
    for (size_t i = 0; i < label.size();)
        if (isLetterOrDigit(nextChar(label, i))) return false;
    return true;
}

std::vector<AlignVote> alignWord(const std::vector<AlignSegment>& segments, const std::string& word,
                                 const TypicalWidth& typical) {
    const std::u32string text = toChars(word);
    const size_t m = segments.size(), n = text.size();
    std::vector<AlignVote> votes;
    if (m == 0 || n == 0 || m > 200 || n > 200) return votes;
    constexpr double kInf = 1e9;
    constexpr double kSkip = 2.0, kSkipSign = 1.4, kMismatch = 1.0, kPair = 1.5, kShare = 0.8, kWrongParts = 1.5;
    // Moves: 1 segment-1 char, 1 segment-2 chars, 2 segments-1 char, skip segment, skip char,
    // known segment with its label.
    enum Move : uint8_t { None, One, Two, Share, SkipSeg, SkipChar, Known, Dots, Split };
    std::vector<double> cost((m + 1) * (n + 1), kInf);
    std::vector<uint8_t> move((m + 1) * (n + 1), None);
    std::vector<uint8_t> len((m + 1) * (n + 1), 0);
    auto at = [&](size_t i, size_t j) { return i * (n + 1) + j; };
    cost[at(0, 0)] = 0;
    // Touching glyphs make a segment wider than the word's usual one.
    std::vector<int> widths;
    std::vector<std::u32string> labels(m);
    for (size_t i = 0; i < m; ++i) {
        if (segments[i].width > 0) widths.push_back(segments[i].width);
        if (segments[i].label) labels[i] = toChars(*segments[i].label);
    }
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
            if (j < n) relax(i, j + 1, isLetterOrDigit(text[j]) ? kSkip : kSkipSign, SkipChar, 0);
            if (i >= m) continue;
            const AlignSegment& s = segments[i];
            // A letter drawn in two pieces side by side reads one character from two segments;
            // the piece no other letter has must still be unknown.
            if (const SplitLetter* sl = j < n && i + 1 < m ? splitLetterOf(text[j]) : nullptr) {
                const size_t markAt = sl->letterFirst ? i + 1 : i, letterAt = sl->letterFirst ? i : i + 1;
                const char32_t letter = sl->letterFirst ? sl->first : sl->second;
                const std::u32string& known = labels[letterAt];
                if (!segments[markAt].label &&
                    (!segments[letterAt].label || (known.size() == 1 && latinTwin(known[0]) == latinTwin(letter))))
                    relax(i + 2, j + 1, 0, Split, 1);
            }
            if (s.label) {
                const std::u32string& label = labels[i];
                const size_t k = std::min<size_t>(label.size(), 255);
                if (k > 0 && j + k <= n) {
                    bool same = true;
                    for (size_t q = 0; q < k && same; ++q) same = latinTwin(text[j + q]) == latinTwin(label[q]);
                    relax(i + 1, j + k, same ? 0 : kMismatch, Known, static_cast<uint8_t>(k));
                }
                if (k != 1 && j + 1 <= n) relax(i + 1, j + 1, kMismatch + 0.5, Known, 1);
                continue;
            }
            // A character whose part count the segment does not have costs as much as a
            // mismatch, so a shifted alignment does not look cheap.
            const int want = expectedParts(text[j < n ? j : 0]);
            const bool fits = s.parts == 0 || want == 0 || (want == 1 ? s.parts == 1 : s.parts >= 2);
            // Widths the stream's glyphs of these characters usually have, when known.
            const int one = typical && j < n ? typical(text[j]) : 0;
            const int two = typical && j + 1 < n && one > 0 ? typical(text[j + 1]) : 0;
            const bool tooWide = one > 0 && s.width > 0 && s.width * 4 > one * 5 + 8;
            if (j < n) relax(i + 1, j + 1, (fits ? 0 : kWrongParts) + (tooWide ? kWrongParts : 0), One, 1);
            // Touching glyphs are letters or digits ("rn", "fi", "11"), never signs.
            if (j + 2 <= n && isLetterOrDigit(text[j]) && isLetterOrDigit(text[j + 1])) {
                const bool pairWide = two > 0 ? s.width * 10 >= (one + two) * 7 : s.width == 0 || s.width * 5 >= usual * 6;
                relax(i + 1, j + 2, pairWide ? kPair : kPair + 1.0, Two, 2);
            }
            // The ellipsis is three dots: three small segments read as one "…".
            if (j < n && text[j] == U'\u2026' && i + 2 < m) {
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
                votes.push_back({i - 1, toUtf8(std::u32string_view(text).substr(j - l, l))});
                --i;
                j -= l;
                break;
            case Known:
                --i;
                j -= l;
                break;
            case Share: i -= 2; j -= 1; break;   // no single segment reads the character
            case Split: {
                const SplitLetter& sl = *splitLetterOf(text[j - 1]);
                if (!segments[i - 1].label) votes.push_back({i - 1, toUtf8(sl.second)});
                if (!segments[i - 2].label) votes.push_back({i - 2, toUtf8(sl.first)});
                i -= 2;
                j -= 1;
                break;
            }
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

std::string chooseIl(const std::string& utf8, const std::function<bool(const std::string&)>& known) {
    const std::u32string word = toChars(utf8);
    std::vector<size_t> spots;
    for (size_t k = 0; k < word.size(); ++k) {
        if (word[k] == 'I' || word[k] == 'l') spots.push_back(k);
        // Words of other scripts have look-alikes of their own, chosen elsewhere.
        if (isLetter(word[k]) && scriptOf(word[k]) != Script::Latin) return utf8;
    }
    if (spots.empty()) return utf8;
    if (word.size() == 1) return "I";   // the pronoun; a lone l is no word
    std::u32string best = word;
    if (spots.size() <= 4 && known) {
        if (known(utf8)) return utf8;
        // Every spelling of the ambiguous letters, the one as read first.
        for (unsigned mask = 1; mask < (1u << spots.size()); ++mask) {
            std::u32string t = word;
            for (size_t b = 0; b < spots.size(); ++b)
                if (mask & (1u << b)) t[spots[b]] = t[spots[b]] == 'I' ? 'l' : 'I';
            const std::string spelt = toUtf8(t);
            if (known(spelt)) return spelt;
        }
    }
    // Context: a capital among capitals or alone, a small letter after a small letter.
    for (size_t k : spots) {
        const char32_t prev = k > 0 ? best[k - 1] : 0;
        const char32_t next = k + 1 < best.size() ? best[k + 1] : 0;
        if ((prev == 0 || isUpper(prev)) && (next == 0 || isUpper(next))) best[k] = 'I';
        else if (isLower(prev)) best[k] = 'l';
    }
    return toUtf8(best);
}

}  // namespace vantrel
