// The learned OCR engine: cut every subtitle into glyph segments, group identical bitmaps,
// let Tesseract read a few word crops holding the bitmaps nobody knows, spread what it read
// to every repeat, and write the texts.
#include "ocr/learned/learned.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "core/encoding.h"
#include "ocr/correction.h"
#include "ocr/learned/glyphs.h"
#include "ocr/learned/languages.h"
#include "ocr/learned/library.h"
#include "ocr/learned/reading.h"
#include "ocr/learned/relabel.h"
#include "ocr/learned/teacher.h"
#include "ocr/ocr.h"
#include "platform/files.h"
#include "render/decoder.h"
#include "render/palette.h"

namespace vantrel {
namespace {

// Crops Tesseract reads per run at most, so a stream of glyphs nobody can name (another
// script, noise) cannot keep it busy for long.
constexpr int64_t kMaxTeacherCrops = 6000;
constexpr int kTeacherPasses = 3;
// Synthetic lines: their width, the margin around them, the x-height crops are scaled to.
constexpr int kLineWidth = 2400;
constexpr int kMargin = 12;
constexpr double kTargetXHeight = 22.0;
// The tallest crop drawn for the teacher: ten times the x-height crops are scaled to.
constexpr double kMaxCropHeight = 10 * kTargetXHeight;
// A glyph leans when its best shear is at least this.
constexpr float kItalicSlant = 0.09f;

}  // namespace

// Where a line's slot lies on the screen, for the overlay.
struct LearnedOrigin {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
};

// One subtitle as the engine cut it.
struct LearnedPage {
    int32_t number = 0;
    std::vector<TextLine> lines;
    std::vector<LearnedOrigin> origins;   // one per line
    bool text = true;                     // false: a picture without text (noise, a logo, a drawn sign)
};

struct LearnedMemory {
    std::string language;
    ClusterTable table;
    std::vector<LearnedPage> pages;
    int32_t spaceGap = 8;
    float italicShear = 0.2f;
    int32_t period = -1;
    double xHeight = 20;
    std::vector<int32_t> italicTally;
    std::map<char32_t, int> typicalWidth;
    std::vector<uint8_t> widthDoubted;
    std::array<int32_t, 3> textSizes{};
};

namespace {

using Origin = LearnedOrigin;
using Page = LearnedPage;

struct WordRef {
    size_t page, line, first, last;   // glyphs [first, last] of one line
};

std::vector<std::pair<size_t, size_t>> wordsOf(const TextLine& line, int32_t spaceGap,
                                               const std::function<int32_t(const TextLine&, size_t)>& gap);

class LearnedRun {
public:
    LearnedRun(Context& ctx, WordReader& teacher, LearnedTotals& totals, std::vector<LearnedOverlay>* overlay)
        : ctx_(ctx), teacher_(teacher), totals_(totals), overlay_(overlay),
          script_(ocrLanguageScript(ctx.opt.ocrLanguage)) {}

    bool collect(const std::vector<int32_t>& numbers, const LearnedStep& step);
    // Whether a glyph is as tall as the character a vote names could be: a capital, digit or
    // letter with an ascender is taller than the stream's smallest x-height, a letter like
    // a, n or s no taller than half again its largest. (A thin serif broken off an s must
    // not make the rest of it an l.)
    bool heightFits(const std::string& label, const Cluster& c) const;
    // Whether glyph g of a line is a tiny unknown piece, never voted for, whose box overlaps
    // a known neighbour's.
    bool brokenOff(const TextLine& line, size_t g) const;
    // Starts from what a run of the whole table knew, to read subtitle `number` again the way
    // that run read it: its glyph table (with the labels of `review`, the user's included),
    // its measures and the other pictures' lines.
    void restore(const LearnedMemory& memory, const GlyphReview& review, int32_t number);
    LearnedMemory save();
    // Reads with the teacher; `step` (called with 0 between the teacher's lines) may stop it.
    void learn(const LearnedStep& step = {});
    bool cancelled() const { return cancelled_; }
    void write();

private:
    void readPage(int32_t n);
    bool slanted(int32_t cluster);
    // The gap before glyph g of a line, each glyph deslanted by its lean.
    int32_t gapBefore(const TextLine& line, size_t g);
    std::vector<std::pair<size_t, size_t>> wordsIn(const TextLine& line) {
        return wordsOf(line, line.spaceGap > 0 ? line.spaceGap : spaceGap_,
                       [this](const TextLine& l, size_t g) { return gapBefore(l, g); });
    }
    void findPicturesWithoutText();
    bool pageIsText(const Page& p) const;
    void learnSpacing();
    void readLinesWithUnknowns();
    void warnOfAnotherScript();
    void learnWidths(bool doubt = true);
    void learnSingle();
    void writeSingle();
    std::optional<ReviewText> writePage(const Page& p);
    bool namedMarks(const Page& p) const;
    // Whether the teacher may read on: the step says so, and nothing cancelled the run.
    bool keepGoing() {
        if (!cancelled_ && step_ && !step_(0)) cancelled_ = true;
        return !cancelled_;
    }
    void teach(const std::vector<WordRef>& words);
    void readCropLine(const std::vector<WordRef>& crops);
    void nearMatches();
    void decideVotes();
    int wordLean(const TextLine& line, size_t first, size_t last);
    void tallyItalics();
    bool curly(const Cluster& c, const std::vector<int32_t>& commas) const;
    bool dotAt(int32_t cluster) const;
    bool ellipsisAt(const TextLine& line, size_t g, size_t last) const;
    void consultLibrary();
    // The words of a line as written, each glyph with its text; records the glyphs' places and,
    // with `band`, the glyphs' frames for the picture's overlay.
    std::vector<ReviewWord> lineWords(const TextLine& line, uint8_t font, int32_t number, int32_t lineIndex,
                                      LineBand* band);

    Context& ctx_;
    WordReader& teacher_;
    LearnedTotals& totals_;
    std::vector<LearnedOverlay>* overlay_;
    ClusterTable table_;
    std::vector<Page> pages_;
    int32_t spaceGap_ = 8;
    float italicShear_ = 0.2f;
    std::vector<int32_t> italicTally_;
    int32_t period_ = -1;   // the most frequent bitmap read as "."
    double xHeight_ = 20;
    double tallHeight_ = 0;   // the upper quarter of the heights on the baseline: capitals and ascenders
    const Dictionary* dictionary_ = nullptr;
    GlyphReview review_;
    std::vector<int32_t> ilChanged_;   // places where the I/l choice changed a glyph's label
    std::map<char32_t, int> typicalWidth_;   // by character, from the glyphs named
    Script script_ = Script::Latin;   // the script of the OCR language, for look-alike letters
    int64_t wordsChecked_ = 0, wordsRejected_ = 0;   // words of letters the dictionary was asked, and did not know
    std::vector<uint8_t> widthDoubted_;   // clusters whose label was taken back once for their width
    LearnedStep step_;
    bool cancelled_ = false;
    int32_t single_ = 0;   // not 0: the subtitle read again with a whole run's memory
    std::array<int32_t, 3> textSizes_{};   // x-heights of the stream's text: low, usual, high (0: none seen)
};

void LearnedRun::restore(const LearnedMemory& memory, const GlyphReview& review, int32_t number) {
    table_ = memory.table;
    pages_ = memory.pages;
    spaceGap_ = memory.spaceGap;
    italicShear_ = memory.italicShear;
    period_ = memory.period;
    xHeight_ = memory.xHeight;
    italicTally_ = memory.italicTally;
    typicalWidth_ = memory.typicalWidth;
    widthDoubted_ = memory.widthDoubted;
    textSizes_ = memory.textSizes;
    single_ = number;
    // What the user relabelled since stands.
    for (size_t i = 0; i < review.glyphs.size() && i < table_.all().size(); ++i) {
        const ReviewGlyph& g = review.glyphs[i];
        Cluster& c = table_.all()[i];
        c.known = g.known;
        c.label = g.label;
        c.naming = g.naming;
        c.italic = g.italic;
    }
    pages_.erase(std::remove_if(pages_.begin(), pages_.end(), [number](const Page& p) { return p.number == number; }),
                 pages_.end());
}

LearnedMemory LearnedRun::save() {
    LearnedMemory m;
    m.language = ctx_.opt.ocrLanguage;
    m.table = std::move(table_);
    m.pages = std::move(pages_);
    m.spaceGap = spaceGap_;
    m.italicShear = italicShear_;
    m.period = period_;
    m.xHeight = xHeight_;
    m.italicTally = std::move(italicTally_);
    m.typicalWidth = std::move(typicalWidth_);
    m.widthDoubted = std::move(widthDoubted_);
    m.textSizes = textSizes_;
    return m;
}

void LearnedRun::readPage(int32_t n) {
    Program& prog = ctx_.prog;
    const int32_t index = n - 1;
    setpal(ctx_, index);
    const TSUP& sub = prog.Subs[static_cast<size_t>(index)];
    Page page;
    page.number = n;
    // Both windows, top to bottom.
    std::vector<int> slots;
    for (int s = 0; s < (prog.SubKind == kBluRayKind ? kSlots : 1); ++s)
        if (sub.obj[static_cast<size_t>(s)].partLen[0] != 0) slots.push_back(s);
    std::sort(slots.begin(), slots.end(),
              [&](int a, int b) { return sub.obj[static_cast<size_t>(a)].y1 < sub.obj[static_cast<size_t>(b)].y1; });
    for (int s : slots) {
        PixelData data;
        loadSlot(prog.streamFile, sub.obj[static_cast<size_t>(s)], data);
        IndexPlane plane;
        if (!decodeSlotPlane(ctx_, index, s, data, plane)) continue;
        InkMask mask = inkMask(plane.pixels, plane.width, plane.height, prog.pal);
        if (prog.SubKind == kDvdKind) {
            // The fixed colour table says nothing of which value is the fill: the shapes do.
            const std::array<bool, 256> ink = inkEntriesByEdges(plane.pixels, plane.width, plane.height, prog.pal);
            for (size_t i = 0; i < mask.bits.size(); ++i) mask.bits[i] = ink[plane.pixels[i]] ? 1 : 0;
        }
        const TSUPObject& o = sub.obj[static_cast<size_t>(s)];
        bool specks = false;
        std::vector<TextLine> lines = cutLines(mask, table_, kMaxPartsPerPicture, &specks);
        if (specks) page.text = false;
        for (TextLine& l : lines) {
            page.lines.push_back(std::move(l));
            page.origins.push_back({o.x1, o.y1, plane.width});
        }
    }
    for (const TextLine& l : page.lines) totals_.glyphs += static_cast<int64_t>(l.glyphs.size());
    pages_.push_back(std::move(page));
}

bool LearnedRun::collect(const std::vector<int32_t>& numbers, const LearnedStep& step) {
    for (int32_t n : numbers) {
        if (n < 1 || static_cast<size_t>(n) > ctx_.prog.Subs.size()) continue;
        readPage(n);
        if (step && !step(n)) return false;
    }
    return true;
}

bool LearnedRun::slanted(int32_t id) {
    if (id < 0) return false;
    Cluster& c = table_[id];
    if (!c.slantDone) {
        const SlantScore score = slantOf(c);
        c.slant = score.slant;
        c.lean = static_cast<int8_t>(score.lean);
        c.slantDone = true;
    }
    return c.slant >= kItalicSlant;
}

int32_t LearnedRun::gapBefore(const TextLine& line, size_t g) {
    const Glyph& a = line.glyphs[g - 1];
    const Glyph& b = line.glyphs[g];
    slanted(a.cluster);
    slanted(b.cluster);
    // Marks (’ “ ? and the like, once named) are drawn slanted in upright fonts too: only
    // letters and digits tell the slant of the text.
    auto lean = [&](const Glyph& gl) {
        if (gl.cluster < 0) return 0;
        const Cluster& c = table_[gl.cluster];
        if (c.rise == Rise::Raised) return 0;
        if (c.known && !c.label.empty() && !isLetterOrDigit(firstChar(c.label))) return 0;
        return static_cast<int>(c.lean);
    };
    int la = lean(a), lb = lean(b);
    // Two glyphs whose shapes do not tell take the slant of the nearest one that does.
    for (size_t k = 1; k <= 3 && la == 0 && lb == 0; ++k) {
        if (g >= k + 1) {
            slanted(line.glyphs[g - 1 - k].cluster);
            la = lean(line.glyphs[g - 1 - k]);
        }
        if (la == 0 && g + k < line.glyphs.size()) {
            slanted(line.glyphs[g + k].cluster);
            lb = lean(line.glyphs[g + k]);
        }
        if (la != 0) lb = la;
        else if (lb != 0) la = lb;
    }
    const bool ia = la > 0 || (la == 0 && lb > 0), ib = lb > 0 || (lb == 0 && la > 0);
    return glyphGap(a, b, table_, line.baseline, ia ? italicShear_ : 0.f, ib ? italicShear_ : 0.f);
}

// Words of a line as glyph index ranges.
std::vector<std::pair<size_t, size_t>> wordsOf(const TextLine& line, int32_t spaceGap,
                                               const std::function<int32_t(const TextLine&, size_t)>& gap) {
    std::vector<std::pair<size_t, size_t>> words;
    size_t first = 0;
    for (size_t g = 1; g <= line.glyphs.size(); ++g) {
        bool cut = g == line.glyphs.size();
        if (!cut) cut = gap(line, g) >= spaceGap;
        if (cut) {
            words.emplace_back(first, g - 1);
            first = g;
        }
    }
    return words;
}

// Paints a word's glyphs, scaled, black on white into a synthetic line at (x0, baselineY).
void paintWord(GreyImage& img, const TextLine& line, size_t first, size_t last, const ClusterTable& table, double scale,
               int x0, int baselineY) {
    const int32_t left = line.glyphs[first].left;
    const double inv = 1.0 / scale;
    for (size_t g = first; g <= last; ++g) {
        const Glyph& gl = line.glyphs[g];
        if (gl.cluster < 0) continue;
        const Cluster& c = table[gl.cluster];
        const int ox0 = x0 + static_cast<int>(std::floor((gl.left - left) * scale));
        const int oy0 = baselineY - static_cast<int>(std::ceil((line.baseline - gl.top + 1) * scale));
        const int ow = static_cast<int>(std::ceil((c.width + 1) * scale)) + 1;
        const int oh = static_cast<int>(std::ceil((c.height + 1) * scale)) + 1;
        for (int oy = 0; oy < oh; ++oy) {
            const int Y = oy0 + oy;
            if (Y < 0 || Y >= img.height) continue;
            for (int ox = 0; ox < ow; ++ox) {
                const int X = ox0 + ox;
                if (X < 0 || X >= img.width) continue;
                // Coverage from 3 x 3 samples of the source.
                int hits = 0;
                for (int sy = 0; sy < 3; ++sy) {
                    const double fy = (Y + (sy + 0.5) / 3.0 - baselineY) * inv + line.baseline + 1 - gl.top;
                    const int iy = static_cast<int>(std::floor(fy));
                    if (iy < 0 || iy >= c.height) continue;
                    for (int sx = 0; sx < 3; ++sx) {
                        const double fx = (X + (sx + 0.5) / 3.0 - x0) * inv + left - gl.left;
                        const int ix = static_cast<int>(std::floor(fx));
                        if (ix < 0 || ix >= c.width) continue;
                        hits += c.bits[static_cast<size_t>(iy) * static_cast<size_t>(c.width) + static_cast<size_t>(ix)];
                    }
                }
                if (hits == 0) continue;
                uint8_t& px = img.pixels[static_cast<size_t>(Y) * static_cast<size_t>(img.width) + static_cast<size_t>(X)];
                px = static_cast<uint8_t>(std::min<int>(px, 255 - hits * 255 / 9));
            }
        }
    }
}

void LearnedRun::readCropLine(const std::vector<WordRef>& crops) {
    const double scale = std::clamp(kTargetXHeight / std::max(xHeight_, 1.0), 0.2, 5.0);
    const int sep = static_cast<int>(3 * spaceGap_ * scale) + 20;
    int above = 0, below = 0;
    std::vector<int> xs;
    int x = kMargin;
    for (const WordRef& w : crops) {
        const TextLine& line = pages_[w.page].lines[w.line];
        int32_t top = line.baseline, bottom = line.baseline;
        for (size_t g = w.first; g <= w.last; ++g) {
            top = std::min(top, line.glyphs[g].top);
            bottom = std::max(bottom, line.glyphs[g].bottom);
        }
        above = std::max(above, static_cast<int>(std::ceil((line.baseline - top + 2) * scale)));
        below = std::max(below, static_cast<int>(std::ceil((bottom - line.baseline + 2) * scale)));
        xs.push_back(x);
        x += static_cast<int>(std::ceil((line.glyphs[w.last].right - line.glyphs[w.first].left + 2) * scale)) + sep;
    }
    GreyImage img;
    img.width = x - sep + kMargin;
    img.height = above + below + 2 * kMargin;
    img.pixels.assign(static_cast<size_t>(img.width) * static_cast<size_t>(img.height), 255);
    const int baselineY = kMargin + above;
    for (size_t k = 0; k < crops.size(); ++k) {
        const WordRef& w = crops[k];
        paintWord(img, pages_[w.page].lines[w.line], w.first, w.last, table_, scale, xs[k], baselineY);
    }
    const std::vector<TeacherWord> read = teacher_.readLine(img);
    ++totals_.teacherLines;
    totals_.teacherCrops += static_cast<int64_t>(crops.size());
    for (const WordRef& w : crops) totals_.teacherGlyphs += static_cast<int64_t>(w.last - w.first + 1);
    for (const TeacherWord& tw : read) {
        // The crop the word lies in; a word reaching over two crops teaches nothing.
        size_t k = 0;
        bool found = false;
        for (; k < crops.size(); ++k) {
            const TextLine& line = pages_[crops[k].page].lines[crops[k].line];
            const int cropRight =
                xs[k] + static_cast<int>(std::ceil((line.glyphs[crops[k].last].right - line.glyphs[crops[k].first].left + 1) * scale));
            if (tw.left >= xs[k] - 3 && tw.right <= cropRight + 3) {
                found = true;
                break;
            }
        }
        if (!found) continue;
        const WordRef& w = crops[k];
        const TextLine& line = pages_[w.page].lines[w.line];
        std::vector<AlignSegment> segs;
        for (size_t g = w.first; g <= w.last; ++g) {
            const Glyph& gl = line.glyphs[g];
            const double centre = xs[k] + ((gl.left + gl.right) / 2.0 - line.glyphs[w.first].left) * scale;
            if (centre < tw.left || centre > tw.right) continue;
            AlignSegment s;
            s.cluster = gl.cluster;
            s.parts = gl.cluster >= 0 ? table_[gl.cluster].parts : 0;
            s.width = gl.right - gl.left + 1;
            s.mark = gl.cluster >= 0 && table_[gl.cluster].rise == Rise::Raised &&
                     table_[gl.cluster].height < xHeight_;
            if (gl.cluster >= 0 && table_[gl.cluster].known) s.label = &table_[gl.cluster].label;
            segs.push_back(s);
        }
        const TypicalWidth typical = [this](char32_t ch) {
            const auto it = typicalWidth_.find(ch);
            return it == typicalWidth_.end() ? 0 : it->second;
        };
        // The teacher too may mix look-alike letters of two scripts in one word.
        std::u32string said = toChars(tw.text);
        for (char32_t& c : said) c = monotonicGreek(c);
        writeInOneScript(said, script_);
        for (const AlignVote& v : alignWord(segs, toUtf8(said), typical)) {
            const int32_t id = segs[v.segment].cluster;
            if (id < 0) continue;
            Cluster& c = table_[id];
            if (!riseFits(v.text, c.rise, c.rise == Rise::Below && c.height < xHeight_ * 0.8)) continue;
            if (!heightFits(v.text, c)) continue;
            if (charCount(v.text) == 1) {
                const int parts = expectedParts(firstChar(v.text));
                if (parts == 1 && c.parts != 1) continue;
                if (parts == 2 && c.parts < 2) continue;
            }
            c.votes[v.text] += std::max(1.0, static_cast<double>(tw.confidence)) / 100.0;
        }
    }
}

void LearnedRun::teach(const std::vector<WordRef>& words) {
    const double scale = std::clamp(kTargetXHeight / std::max(xHeight_, 1.0), 0.2, 5.0);
    const int sep = static_cast<int>(3 * spaceGap_ * scale) + 20;
    std::vector<WordRef> lineCrops;
    int width = kMargin;
    for (const WordRef& w : words) {
        if (totals_.teacherCrops + static_cast<int64_t>(lineCrops.size()) >= kMaxTeacherCrops) break;
        if (cancelled_) return;
        const TextLine& line = pages_[w.page].lines[w.line];
        const int cw = static_cast<int>(std::ceil((line.glyphs[w.last].right - line.glyphs[w.first].left + 2) * scale));
        // A crop no text line needs (a glyph as tall as many lines, a word wider than the
        // teacher's line) is not drawn: its pixels would cost more than any reading gains.
        int32_t top = line.baseline, bottom = line.baseline;
        for (size_t g = w.first; g <= w.last; ++g) {
            top = std::min(top, line.glyphs[g].top);
            bottom = std::max(bottom, line.glyphs[g].bottom);
        }
        if (cw > kLineWidth || (bottom - top + 4) * scale > kMaxCropHeight) continue;
        if (!lineCrops.empty() && width + cw + kMargin > kLineWidth) {
            if (!keepGoing()) return;
            readCropLine(lineCrops);
            lineCrops.clear();
            width = kMargin;
        }
        lineCrops.push_back(w);
        width += cw + sep;
    }
    if (!lineCrops.empty() && keepGoing()) readCropLine(lineCrops);
}

// Pixels that differ between two bitmaps placed with b shifted by (dx, dy).
int64_t difference(const Cluster& a, const Cluster& b, int dx, int dy, int64_t limit);

// The tallest run of rows with ink: the letter under (or over) its accent.
int bodyHeight(const Cluster& c) {
    int best = 0, run = 0;
    for (int y = 0; y < c.height; ++y) {
        bool ink = false;
        for (int x = 0; x < c.width && !ink; ++x)
            ink = c.bits[static_cast<size_t>(y) * static_cast<size_t>(c.width) + static_cast<size_t>(x)] != 0;
        run = ink ? run + 1 : 0;
        best = std::max(best, run);
    }
    return best;
}

// Capitals with an accent or cedilla whose small letter has no descender: À..Ü but Æ, Ð,
// ×, Ø, Ý, and the capitals of other scripts with a mark of their own but Ğ, Ή, İ.
bool accentedCapital(char32_t c) {
    if (c < 0x100)
        return (c >= 0xC0 && c <= 0xCF && c != 0xC6) || (c >= 0xD1 && c <= 0xD6) || (c >= 0xD9 && c <= 0xDC);
    // Ξ and Ы are two parts side by side or stacked bars, not a letter under a mark.
    return isUpper(c) && expectedParts(c) == 2 && c != 0x11E && c != 0x389 && c != 0x130 && c != 0x39E && c != 0x42B;
}

// Letters drawn without marks of their own: the basic Latin ones and the Greek and Cyrillic
// ones of one part. Their shapes tell the slant and the usual width; an accent or cedilla
// does not lean with the letter.
bool plainLetter(char32_t c) {
    if (c < 0x80) return isLetter(c);
    // δ ζ λ ξ ς χ are drawn with slanted strokes in upright faces too.
    if (c == 0x3B4 || c == 0x3B6 || c == 0x3BB || c == 0x3BE || c == 0x3C2 || c == 0x3C7) return false;
    return isLetter(c) && scriptOf(c) != Script::Latin && expectedParts(c) == 1;
}

// Characters written with the typographic marks the shapes tell apart.
constexpr std::string_view kEnDash = "\u2013", kEmDash = "\u2014", kLeftQuote = "\u2018", kRightQuote = "\u2019";
constexpr std::string_view kEllipsis = "\u2026";

// Whether a raised mark is a curly apostrophe: drawn like one of the stream's commas, or
// ending in a tail left of its head (a straight ' stands upright and narrows evenly).
bool LearnedRun::curly(const Cluster& c, const std::vector<int32_t>& commas) const {
    for (int32_t id : commas) {
        const Cluster& k = table_[id];
        if (std::abs(k.width - c.width) > 1 || std::abs(k.height - c.height) > 1) continue;
        const int64_t limit = int64_t{c.width} * c.height / 8;
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                if (difference(c, k, dx, dy, limit) <= limit) return true;
    }
    // The top row against the bottom row: a straight mark narrows from both sides or keeps
    // its place; a curly one ends in a tail further left.
    auto edges = [&](int y, int& left, double& centre) {
        left = -1;
        double sum = 0, n = 0;
        for (int x = 0; x < c.width; ++x)
            if (c.bits[static_cast<size_t>(y) * static_cast<size_t>(c.width) + static_cast<size_t>(x)]) {
                if (left < 0) left = x;
                sum += x;
                ++n;
            }
        centre = n > 0 ? sum / n : 0;
    };
    int topLeft = 0, bottomLeft = 0;
    double topCentre = 0, bottomCentre = 0;
    edges(0, topLeft, topCentre);
    edges(c.height - 1, bottomLeft, bottomCentre);
    return c.height >= 4 && bottomLeft >= 0 && topLeft >= 0 && bottomLeft <= topLeft &&
           bottomCentre < topCentre - 0.5;
}

// A period, or a bitmap nobody named that is drawn like the stream's period (the dots of
// an ellipsis glyph sit at other fractions of a pixel and may stay unread).
bool LearnedRun::dotAt(int32_t id) const {
    if (id < 0) return false;
    const Cluster& c = table_[id];
    if (c.known) return c.label == ".";
    if (period_ < 0) return false;
    const Cluster& p = table_[period_];
    return c.rise == Rise::Base && c.parts == 1 && std::abs(c.width - p.width) <= 2 && std::abs(c.height - p.height) <= 2;
}

// Three dots read as periods, evenly and closely set, that are not three copies of the
// stream's period: the ellipsis character.
bool LearnedRun::ellipsisAt(const TextLine& line, size_t g, size_t last) const {
    if (g + 2 > last) return false;
    int32_t gaps[2];
    for (size_t k = 0; k < 3; ++k) {
        if (!dotAt(line.glyphs[g + k].cluster)) return false;
        if (k > 0) gaps[k - 1] = line.glyphs[g + k].left - line.glyphs[g + k - 1].right - 1;
    }
    // Typed periods repeat the stream's period bitmap; the ellipsis glyph's dots sit at
    // other fractions of a pixel and come out unlike it.
    if (line.glyphs[g].cluster == period_ && line.glyphs[g + 1].cluster == period_ && line.glyphs[g + 2].cluster == period_)
        return false;
    const int32_t dot = line.glyphs[g].right - line.glyphs[g].left + 1;
    return std::abs(gaps[0] - gaps[1]) <= 1 && gaps[0] <= dot * 7 / 2 + 1;
}

void LearnedRun::decideVotes() {
    // The reads of a whole shape group, so one misaligned word cannot name a variant of a
    // letter read right everywhere else.
    std::unordered_map<int32_t, std::map<std::string, double>> pooled;
    for (const Cluster& c : table_.all()) {
        if (c.votes.empty() && c.tally.empty()) continue;
        auto& p = pooled[c.group];
        for (const auto& [label, w] : c.votes) p[label] += w;
        for (const auto& [label, w] : c.tally) p[label] += w;
    }
    auto best = [](const std::map<std::string, double>& votes) {
        return std::max_element(votes.begin(), votes.end(), [](const auto& a, const auto& b) { return a.second < b.second; })->first;
    };
    for (Cluster& c : table_.all()) {
        if (c.known || c.votes.empty()) continue;
        // Reads of its own that agree stand; reads that disagree ask the group.
        std::map<std::string, double> scores = c.votes;
        if (const auto it = pooled.find(c.group); it != pooled.end() && c.votes.size() > 1)
            for (const auto& [label, w] : it->second) {
                const auto own = c.votes.find(label);
                scores[label] += 0.5 * (w - (own == c.votes.end() ? 0.0 : own->second));
            }
        c.label = best(scores);
        c.known = true;
        c.naming = c.votes.size() == 1 && scores.size() == 1 ? GlyphNaming::Teacher : GlyphNaming::Vote;
        c.tally = std::move(c.votes);
        c.votes.clear();
    }
    // Variants nobody read take their group's reading, or the label its named members carry most.
    for (size_t i = 0; i < table_.all().size(); ++i) {
        Cluster& c = table_.all()[i];
        if (c.known) continue;
        std::string label;
        if (const auto it = pooled.find(c.group); it != pooled.end() && !it->second.empty()) {
            label = best(it->second);
        } else {
            int32_t most = 0;
            for (int32_t m : table_.members(static_cast<int32_t>(i))) {
                const Cluster& k = table_[m];
                if (k.known && k.count > most) {
                    most = k.count;
                    label = k.label;
                }
            }
        }
        if (label.empty()) continue;
        c.label = label;
        c.known = true;
        c.naming = GlyphNaming::Similar;
    }
    // Tesseract reads ’ as ' and a dash as - ; the shapes tell. A raised mark shaped like
    // the stream's comma, or whose foot lies left of its head, is the typographic
    // apostrophe; a dash about an x-height wide is –, a wider one —.
    std::vector<int32_t> commas;
    for (size_t i = 0; i < table_.all().size(); ++i)
        if (table_.all()[i].known && table_.all()[i].label == ",") commas.push_back(static_cast<int32_t>(i));
    // The stream's hyphen (the most frequent bitmap read as "-" that is narrower than an
    // en dash can be) and the heights of its small letters and capitals, from the bitmaps
    // already named.
    int hyphen = 0;
    int32_t hyphenCount = 0;
    std::vector<int> smalls, caps;
    // Small letters without ascender or descender, and capitals on the baseline, of the
    // three scripts.
    static constexpr std::u32string_view kSmalls = U"acemnorsuvwxz\u0430\u0432\u0433\u0435\u0436\u0437\u0438"
                                                   U"\u043a\u043b\u043c\u043d\u043e\u043f\u0441\u0442\u0445"
                                                   U"\u0448\u044c\u044d\u044f\u03b1\u03b5\u03b9\u03ba\u03bd"
                                                   U"\u03bf\u03c0\u03c3\u03c4\u03c5\u03c9";
    static constexpr std::u32string_view kCaps = U"ABDEFHKLMNPRTUVXYZ\u0410\u0411\u0412\u0413\u0415\u0416"
                                                 U"\u0417\u0418\u041a\u041b\u041c\u041d\u041e\u041f\u0420"
                                                 U"\u0421\u0422\u0425\u0427\u0428\u042d\u042f\u0391\u0392"
                                                 U"\u0393\u0394\u0395\u0397\u039a\u039b\u039c\u039d\u039f"
                                                 U"\u03a0\u03a1\u03a3\u03a4\u03a5\u03a7\u03a9";
    for (const Cluster& c : table_.all()) {
        if (!c.known || charCount(c.label) != 1) continue;
        if (c.label == "-" && c.width < xHeight_ * 0.75 && c.count > hyphenCount) {
            hyphen = c.width;
            hyphenCount = c.count;
        }
        if (c.rise != Rise::Base || c.parts != 1) continue;
        const char32_t ch = firstChar(c.label);
        if (kSmalls.find(ch) != std::u32string_view::npos) smalls.push_back(c.height);
        if (kCaps.find(ch) != std::u32string_view::npos) caps.push_back(c.height);
    }
    auto median = [](std::vector<int>& v) {
        if (v.empty()) return 0;
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const int smallHeight = median(smalls), capHeight = median(caps);
    int widestDash = 0;
    for (const Cluster& c : table_.all())
        if (c.known && (c.label == "-" || c.label == kEnDash || c.label == kEmDash)) widestDash = std::max(widestDash, c.width);
    const bool dashesAlike = hyphen > 0 && widestDash < hyphen * 2;
    for (Cluster& c : table_.all()) {
        if (!c.known || c.naming == GlyphNaming::Library) continue;
        const bool apostrophe = c.label == "'" || c.label == kLeftQuote || c.label == kRightQuote;
        if (apostrophe && c.rise == Rise::Raised && curly(c, commas)) {
            // A curly mark with its head on top is ’, with its head below ‘.
            int64_t topInk = 0, bottomInk = 0;
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x)
                    (y * 2 < c.height ? topInk : bottomInk) +=
                        c.bits[static_cast<size_t>(y) * static_cast<size_t>(c.width) + static_cast<size_t>(x)];
            c.label = topInk >= bottomInk ? kRightQuote : kLeftQuote;
        }
        if (c.label == "-" || ((c.label == kEnDash || c.label == kEmDash) && !dashesAlike)) {
            // Against the stream's hyphen when there is one: an en dash is 1.5 to 2.2 times
            // as wide in common fonts, an em dash 3 to 4 times; else against the x-height.
            // Where the widest dash is not twice the hyphen (a monospaced font draws all
            // three in one cell) widths cannot tell, and the teacher's – and — stand.
            const double unit = hyphen > 0 ? hyphen * 1.4 : xHeight_ * 0.75;
            const double em = hyphen > 0 ? hyphen * 2.7 : xHeight_ * 1.5;
            if (c.width >= em) c.label = kEmDash;
            else if (c.width >= unit) c.label = kEnDash;
        }
        if (charCount(c.label) != 1) continue;
        const char32_t ch = firstChar(c.label);
        // The teacher drops the cedilla now and then: a C reaching below the baseline is Ç
        // (in Romanian and Turkish, whose S and T take one too, Tesseract keeps it).
        if ((ch == 'C' || ch == 'c') && c.rise == Rise::Below) c.label = ch == 'C' ? "\u00C7" : "\u00E7";
        // An accented letter's case from the height of its body under the accent: about
        // the x-height is small, about the capitals' height is a capital.
        const bool upper = accentedCapital(ch);
        const bool lower = isLower(ch) && accentedCapital(toUpperChar(ch));
        if ((upper || lower) && c.parts >= 2 && smallHeight > 0 && capHeight > smallHeight) {
            const bool looksUpper = bodyHeight(c) * 2 > smallHeight + capHeight;
            if (looksUpper && lower) c.label = toUtf8(toUpperChar(ch));
            if (!looksUpper && upper) c.label = toUtf8(toLowerChar(ch));
        }
    }
}

// Pixels that differ between two bitmaps placed with b shifted by (dx, dy).
int64_t difference(const Cluster& a, const Cluster& b, int dx, int dy, int64_t limit) {
    int64_t diff = 0;
    const int x0 = std::min(0, dx), y0 = std::min(0, dy);
    const int x1 = std::max(a.width, b.width + dx), y1 = std::max(a.height, b.height + dy);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const bool pa = x >= 0 && y >= 0 && x < a.width && y < a.height &&
                            a.bits[static_cast<size_t>(y) * static_cast<size_t>(a.width) + static_cast<size_t>(x)];
            const int bx = x - dx, by = y - dy;
            const bool pb = bx >= 0 && by >= 0 && bx < b.width && by < b.height &&
                            b.bits[static_cast<size_t>(by) * static_cast<size_t>(b.width) + static_cast<size_t>(bx)];
            if (pa != pb && ++diff > limit) return diff;
        }
    }
    return diff;
}

void LearnedRun::nearMatches() {
    // Known clusters by size, rise and part count.
    auto key = [](int w, int h, Rise r, int parts) {
        return (int64_t{w} << 32) ^ (int64_t{h} << 12) ^ (int64_t{static_cast<int>(r)} << 8) ^ parts;
    };
    std::unordered_map<int64_t, std::vector<int32_t>> known;
    auto& all = table_.all();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].known) known[key(all[i].width, all[i].height, all[i].rise, all[i].parts)].push_back(static_cast<int32_t>(i));
    for (Cluster& u : all) {
        if (u.known || u.width * u.height > 40000) continue;
        const int64_t limit = int64_t{u.width} * u.height * 3 / 100;
        std::string label;
        bool agree = true, any = false;
        for (int dw = -1; dw <= 1 && agree; ++dw) {
            for (int dh = -1; dh <= 1 && agree; ++dh) {
                const auto it = known.find(key(u.width + dw, u.height + dh, u.rise, u.parts));
                if (it == known.end()) continue;
                for (int32_t id : it->second) {
                    const Cluster& k = all[static_cast<size_t>(id)];
                    bool near = false;
                    for (int dx = -1; dx <= 1 && !near; ++dx)
                        for (int dy = -1; dy <= 1 && !near; ++dy) near = difference(u, k, dx, dy, limit) <= limit;
                    if (!near) continue;
                    if (any && k.label != label) {
                        agree = false;
                        break;
                    }
                    any = true;
                    label = k.label;
                }
            }
        }
        if (any && agree) {
            u.label = label;
            u.known = true;
            u.naming = GlyphNaming::Similar;
        }
    }
}

namespace {

// The x-height of a line: the lower quarter of the heights of its one-part glyphs on the
// baseline at least 4 rows tall; 0 when it has too few.
int32_t lineXHeight(const TextLine& l, const ClusterTable& table) {
    std::vector<int32_t> heights;
    for (const Glyph& g : l.glyphs)
        if (g.cluster >= 0 && table[g.cluster].rise == Rise::Base && table[g.cluster].parts == 1 && g.bottom - g.top >= 3)
            heights.push_back(g.bottom - g.top + 1);
    if (heights.size() < 2) return 0;
    std::sort(heights.begin(), heights.end());
    return heights[heights.size() / 4];
}

// Whether a line looks like text of about the given x-height: a good share of its glyphs of
// a letter's size, most standing on one baseline, none far larger than a word.
bool textLike(const TextLine& l, int32_t xHeight, const ClusterTable& table) {
    if (l.glyphs.empty() || xHeight <= 0) return false;
    int32_t sized = 0, onBase = 0;
    const int32_t tolerance = std::max(2, xHeight / 6);
    for (const Glyph& g : l.glyphs) {
        const int32_t h = g.bottom - g.top + 1, w = g.right - g.left + 1;
        if (w > 8 * xHeight || h > 4 * xHeight || g.cluster < 0) return false;
        // No letter is a solid block more than an x-height wide and tall.
        if (w >= xHeight && h >= xHeight && int64_t{table[g.cluster].ink} * 10 >= int64_t{w} * h * 9) return false;
        if (h * 2 >= xHeight) ++sized;
        if (std::abs(g.bottom - l.baseline) <= tolerance) ++onBase;
    }
    // Punctuation is small ("So..." has two letters and three dots): a third will do.
    const auto n = static_cast<int32_t>(l.glyphs.size());
    return sized >= 1 && sized * 3 >= n && onBase * 2 >= n;
}

}  // namespace

bool LearnedRun::brokenOff(const TextLine& line, size_t g) const {
    const Glyph& gl = line.glyphs[g];
    if (gl.cluster < 0) return false;
    const Cluster& c = table_[gl.cluster];
    if (c.known || !c.votes.empty() || c.height * 2 > xHeight_ || c.width * 2 > xHeight_) return false;
    for (size_t n : {g - 1, g + 1}) {
        if (n >= line.glyphs.size()) continue;   // g - 1 wraps for the first glyph
        const Glyph& o = line.glyphs[n];
        if (o.cluster < 0 || !table_[o.cluster].known || table_[o.cluster].height < c.height * 2) continue;
        if (gl.left <= o.right && gl.right >= o.left && gl.top <= o.bottom && gl.bottom >= o.top) return true;
    }
    return false;
}

bool LearnedRun::heightFits(const std::string& label, const Cluster& c) const {
    if (c.rise != Rise::Base || charCount(label) != 1) return true;
    const char32_t ch = firstChar(label);
    const double low = textSizes_[0] > 0 ? std::min<double>(textSizes_[0], xHeight_) : xHeight_;
    const double high = textSizes_[2] > 0 ? std::max<double>(textSizes_[2], xHeight_) : xHeight_;
    const bool tall = (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == 'b' || ch == 'd' || ch == 'h' ||
                      ch == 'k' || ch == 'l' || (ch >= 0x410 && ch <= 0x42F) || (ch >= 0x391 && ch <= 0x3A9);
    // Only where tall glyphs stand apart from small ones (not in a text of capitals alone).
    if (tall && tallHeight_ * 100 >= xHeight_ * 125 && c.height * 100 < low * 115) return false;
    static constexpr std::u32string_view kXHeightLetters = U"acemnorsuvwxz";
    if (kXHeightLetters.find(ch) != std::u32string_view::npos && c.height * 100 > high * 145) return false;
    return true;
}

bool LearnedRun::pageIsText(const Page& p) const {
    if (!p.text) return false;
    if (textSizes_[1] <= 0) {
        // Nothing clearly is text: only pictures of nothing but specks and solid blocks are
        // set apart.
        bool letterLike = false;
        for (const TextLine& l : p.lines)
            for (const Glyph& g : l.glyphs) {
                const int32_t h = g.bottom - g.top + 1, w = g.right - g.left + 1;
                const bool block = g.cluster < 0 || (w >= 8 && h >= 8 && int64_t{table_[g.cluster].ink} * 10 >= int64_t{w} * h * 9);
                letterLike = letterLike || (h >= 4 && !block);
            }
        return letterLike || p.lines.empty();
    }
    const int32_t low = textSizes_[0], usual = textSizes_[1], high = textSizes_[2];
    size_t all = 0, inText = 0;
    for (const TextLine& l : p.lines) {
        all += l.glyphs.size();
        const int32_t xh = lineXHeight(l, table_);
        // A line's own size when it tells one, within the stream's sizes; else the stream's.
        const int32_t size = xh * 2 >= low && xh <= 2 * high ? xh : usual;
        if (textLike(l, size, table_)) inText += l.glyphs.size();
    }
    return all == 0 || inText * 2 > all;
}

void LearnedRun::findPicturesWithoutText() {
    // The stream's text sizes from the lines that most clearly are text, then each picture
    // whose glyphs mostly lie outside text-like lines holds no text.
    std::vector<int32_t> sizes;
    for (const Page& p : pages_)
        for (const TextLine& l : p.lines) {
            const int32_t xh = lineXHeight(l, table_);
            if (xh > 0 && textLike(l, xh, table_)) sizes.push_back(xh);
        }
    textSizes_ = {0, 0, 0};
    if (!sizes.empty()) {
        std::sort(sizes.begin(), sizes.end());
        textSizes_ = {sizes[sizes.size() / 10], sizes[sizes.size() / 2], sizes[sizes.size() * 9 / 10]};
    }
    for (Page& p : pages_) p.text = pageIsText(p);
}

void LearnedRun::learnSpacing() {
    // Word gaps grow with the text: lines are grouped by their x-height (steps of a fifth)
    // and each group with enough gaps learns its own threshold; the rest use the stream's.
    std::map<int, std::vector<int32_t>> bySize;
    std::vector<int32_t> all;
    for (Page& p : pages_) {
        if (!p.text) continue;
        for (TextLine& l : p.lines) {
            const int32_t xh = lineXHeight(l, table_);
            const int bin = xh > 0 ? static_cast<int>(std::lround(std::log(static_cast<double>(xh)) / std::log(1.2))) : -1;
            for (size_t g = 1; g < l.glyphs.size(); ++g) {
                const int32_t gap = gapBefore(l, g);
                all.push_back(gap);
                if (bin >= 0) bySize[bin].push_back(gap);
            }
        }
    }
    spaceGap_ = spaceThreshold(all, static_cast<int32_t>(xHeight_));
    std::map<int, int32_t> thresholds;
    for (const auto& [bin, gaps] : bySize)
        if (gaps.size() >= 40)
            thresholds[bin] = spaceThreshold(gaps, static_cast<int32_t>(std::lround(std::pow(1.2, bin))));
    for (Page& p : pages_)
        for (TextLine& l : p.lines) {
            const int32_t xh = lineXHeight(l, table_);
            l.spaceGap = 0;
            if (xh <= 0) continue;
            const auto it = thresholds.find(static_cast<int>(std::lround(std::log(static_cast<double>(xh)) / std::log(1.2))));
            if (it != thresholds.end()) l.spaceGap = it->second;
        }
}

void LearnedRun::learnWidths(bool doubt) {
    // The median width of each character's glyphs, counted by occurrence, from labels of one
    // character that several glyphs carry.
    std::map<char32_t, std::vector<std::pair<int, int32_t>>> widths;
    for (const Cluster& c : table_.all())
        if (c.known && charCount(c.label) == 1) widths[firstChar(c.label)].push_back({c.width, c.count});
    typicalWidth_.clear();
    for (auto& [ch, w] : widths) {
        int64_t total = 0;
        for (const auto& [width, count] : w) total += count;
        if (total < 5) continue;
        std::sort(w.begin(), w.end());
        int64_t seen = 0;
        for (const auto& [width, count] : w) {
            seen += count;
            if (seen * 2 >= total) {
                typicalWidth_[ch] = width;
                break;
            }
        }
    }
    // A glyph much wider than its character usually is holds two touching letters the
    // teacher's word did not split: it is read again, in its line, once.
    widthDoubted_.resize(table_.all().size(), 0);
    for (size_t i = 0; i < table_.all().size() && doubt; ++i) {
        Cluster& c = table_.all()[i];
        if (!c.known || charCount(c.label) != 1 || widthDoubted_[i]) continue;
        if (c.naming == GlyphNaming::Library || c.naming == GlyphNaming::User) continue;
        const char32_t ch = firstChar(c.label);
        const auto usualAt = typicalWidth_.find(ch);
        const int usual = usualAt == typicalWidth_.end() ? 0 : usualAt->second;
        if (!plainLetter(ch) || usual <= 0 || c.width * 4 <= usual * 5 + 8) continue;
        widthDoubted_[i] = 1;
        c.known = false;
        c.label.clear();
        c.naming = GlyphNaming::Unknown;
        c.votes.clear();
    }
}

void LearnedRun::warnOfAnotherScript() {
    // Text the language's teacher could mostly not read, or read into words the dictionary
    // mostly does not know, is likely of another script: the log says so and names packs.
    int64_t glyphs = 0, unknown = 0, square = 0, multi = 0;
    for (const Page& p : pages_) {
        if (!p.text) continue;
        for (const TextLine& l : p.lines)
            for (const Glyph& g : l.glyphs) {
                ++glyphs;
                if (g.cluster < 0 || !table_[g.cluster].known) ++unknown;
                const int32_t w = g.right - g.left + 1, h = g.bottom - g.top + 1;
                square += w * 4 >= h * 3 && h * 4 >= w * 3 ? 1 : 0;
                multi += g.cluster >= 0 && table_[g.cluster].parts > 2 ? 1 : 0;
            }
    }
    const bool unread = glyphs >= 20 && unknown * 2 >= glyphs;
    const bool unknownWords = wordsChecked_ >= 20 && wordsRejected_ * 10 >= wordsChecked_ * 7;
    if (!unread && !unknownWords) return;
    std::string message = unread ? "Most glyphs (" + std::to_string(unknown) + " of " + std::to_string(glyphs) +
                                       ") could not be read as " + ctx_.opt.ocrLanguage
                                 : "Most words (" + std::to_string(wordsRejected_) + " of " + std::to_string(wordsChecked_) +
                                       ") are unknown to the " + ctx_.opt.ocrLanguage + " dictionary";
    message += ": the text looks like another script or language.";
    if (square * 2 >= glyphs && multi * 4 >= glyphs)
        message += " Square glyphs of many strokes are Chinese, Japanese or Korean: install tesseract-ocr-chi-sim, "
                   "tesseract-ocr-jpn or tesseract-ocr-kor and choose that language.";
    else
        message += " Choose the subtitles' language; Tesseract reads others with their packs (tesseract-ocr-rus, "
                   "-ell, -ara, -heb, ...).";
    ctx_.msg.log(message);
}

void LearnedRun::readLinesWithUnknowns() {
    // Lines that still hold a glyph nobody named are read whole: the teacher sees each word
    // in its sentence, and the alignment knows every other glyph of the line.
    std::vector<WordRef> lines;
    for (size_t pi = 0; pi < pages_.size(); ++pi) {
        if (!pages_[pi].text || (single_ && pages_[pi].number != single_)) continue;
        for (size_t li = 0; li < pages_[pi].lines.size(); ++li) {
            const TextLine& line = pages_[pi].lines[li];
            bool unknown = false;
            for (const Glyph& g : line.glyphs) unknown = unknown || (g.cluster >= 0 && !table_[g.cluster].known);
            if (unknown && !line.glyphs.empty()) lines.push_back({pi, li, 0, line.glyphs.size() - 1});
        }
    }
    if (lines.empty()) return;
    teach(lines);
    decideVotes();
}

void LearnedRun::learnSingle() {
    // The subtitle read again is the last page; everything else stays as the run learnt it.
    Page& page = pages_.back();
    page.text = pageIsText(page);
    consultLibrary();
    decideVotes();
    nearMatches();
    if (!teacher_.available() || !page.text) return;
    std::vector<WordRef> words;
    const size_t pi = pages_.size() - 1;
    for (size_t li = 0; li < page.lines.size(); ++li)
        for (const auto& [first, last] : wordsIn(page.lines[li])) {
            bool unknown = false;
            for (size_t g = first; g <= last; ++g)
                unknown = unknown || (page.lines[li].glyphs[g].cluster >= 0 && !table_[page.lines[li].glyphs[g].cluster].known);
            if (unknown) words.push_back({pi, li, first, last});
        }
    if (words.empty()) return;
    teach(words);
    decideVotes();
    learnWidths(false);
    readLinesWithUnknowns();
    nearMatches();
}

void LearnedRun::learn(const LearnedStep& step) {
    step_ = step;
    if (single_) {
        learnSingle();
        if (!teacher_.problem().empty()) ctx_.msg.log(teacher_.problem());
        return;
    }
    findPicturesWithoutText();
    // The text size: the x-height is about the lower quarter of the heights of glyphs on the
    // baseline.
    std::vector<int32_t> heights;
    for (const Page& p : pages_)
        if (p.text)
        for (const TextLine& l : p.lines)
            for (const Glyph& g : l.glyphs)
                if (g.cluster >= 0 && table_[g.cluster].rise == Rise::Base && table_[g.cluster].parts == 1)
                    heights.push_back(g.bottom - g.top + 1);
    if (!heights.empty()) {
        std::sort(heights.begin(), heights.end());
        xHeight_ = std::max(4, heights[heights.size() / 4]);
        tallHeight_ = heights[heights.size() * 3 / 4];
    }
    // The slant of the stream's italics: the most common shear of the leaning glyphs.
    std::map<float, int64_t> shears;
    for (const Page& p : pages_)
        if (p.text)
        for (const TextLine& l : p.lines)
            for (const Glyph& g : l.glyphs)
                if (slanted(g.cluster) && table_[g.cluster].lean > 0) ++shears[table_[g.cluster].slant];
    int64_t most = 0;
    for (const auto& [shear, n] : shears)
        if (n > most) {
            most = n;
            italicShear_ = shear;
        }
    learnSpacing();
    totals_.clusters = static_cast<int64_t>(table_.all().size());
    consultLibrary();

    std::unordered_set<uint64_t> used;   // words already sent
    for (int pass = 0; pass < kTeacherPasses && teacher_.available(); ++pass) {
        if (pass > 0) nearMatches();
        // A greedy cover: the first unused word holding a cluster nobody knows yet.
        // Each unknown bitmap is read in two words where it occurs that often, so one
        // misreading cannot name it everywhere.
        // Counted per shape group: the variants of one letter need two reads between them.
        std::vector<uint8_t> covered(table_.all().size(), 0);
        std::vector<int32_t> groupCount(table_.all().size(), 0);
        for (const Cluster& c : table_.all()) groupCount[static_cast<size_t>(c.group)] += c.count;
        auto needsRead = [&](int32_t id) {
            if (id < 0 || table_[id].known) return false;
            const auto g = static_cast<size_t>(table_[id].group);
            return covered[g] < std::min(groupCount[g], 2);
        };
        std::vector<WordRef> words;
        for (size_t pi = 0; pi < pages_.size(); ++pi) {
            if (!pages_[pi].text) continue;
            for (size_t li = 0; li < pages_[pi].lines.size(); ++li) {
                const TextLine& line = pages_[pi].lines[li];
                for (const auto& [first, last] : wordsIn(line)) {
                    bool useful = false;
                    for (size_t g = first; g <= last; ++g) useful = useful || needsRead(line.glyphs[g].cluster);
                    const uint64_t wid = (uint64_t{pi} << 40) ^ (uint64_t{li} << 20) ^ first;
                    if (!useful || used.count(wid)) continue;
                    used.insert(wid);
                    for (size_t g = first; g <= last; ++g)
                        if (line.glyphs[g].cluster >= 0) ++covered[static_cast<size_t>(table_[line.glyphs[g].cluster].group)];
                    words.push_back({pi, li, first, last});
                }
            }
        }
        if (words.empty() || cancelled_) break;
        teach(words);
        decideVotes();
        learnWidths();
    }
    nearMatches();
    if (teacher_.available() && !cancelled_) {
        readLinesWithUnknowns();
        learnWidths();
        nearMatches();
        // What the width check took back and no read named again keeps its first reading.
        for (size_t i = 0; i < table_.all().size(); ++i) {
            Cluster& c = table_.all()[i];
            if (c.known || i >= widthDoubted_.size() || !widthDoubted_[i] || c.tally.empty()) continue;
            c.label = std::max_element(c.tally.begin(), c.tally.end(), [](const auto& a, const auto& b) { return a.second < b.second; })->first;
            c.known = true;
            c.naming = GlyphNaming::Vote;
        }
    }
    if (!teacher_.problem().empty()) ctx_.msg.log(teacher_.problem());
}

int LearnedRun::wordLean(const TextLine& line, size_t first, size_t last) {
    int lean = 0;
    for (size_t g = first; g <= last; ++g) {
        const Glyph& gl = line.glyphs[g];
        if (gl.cluster < 0 || (gl.bottom - gl.top + 1) * 20 < (line.baseline - line.top + 1) * 9) continue;
        // Letters only: signs such as # and / lean in upright fonts too.
        const Cluster& c = table_[gl.cluster];
        if (!c.known || c.label.empty() || !plainLetter(firstChar(c.label))) continue;
        slanted(gl.cluster);
        lean += c.lean;
    }
    return lean;
}

// How often each bitmap stood in words that were clearly italic (+) or upright (-).
void LearnedRun::tallyItalics() {
    italicTally_.assign(table_.all().size(), 0);
    for (const Page& p : pages_)
        for (const TextLine& l : p.lines)
            for (const auto& [first, last] : wordsIn(l)) {
                const int lean = wordLean(l, first, last);
                if (lean == 0) continue;
                for (size_t g = first; g <= last; ++g)
                    if (l.glyphs[g].cluster >= 0) italicTally_[static_cast<size_t>(l.glyphs[g].cluster)] += lean > 0 ? 1 : -1;
            }
}

void LearnedRun::consultLibrary() {
    // Bitmaps the user named before need no teacher: the library's label and italic flag.
    const GlyphLibrary& lib = ctx_.prog.glyphs.library;
    if (!lib.use || lib.glyphs.empty()) return;
    for (Cluster& c : table_.all()) {
        if (c.known) continue;
        const LibraryGlyph* g = findLibraryShape(lib, c.width, c.height, static_cast<uint8_t>(c.rise), c.bits);
        if (!g) continue;
        c.known = true;
        c.label = g->label;
        c.italic = g->italic;
        c.naming = GlyphNaming::Library;
    }
}

std::vector<ReviewWord> LearnedRun::lineWords(const TextLine& line, uint8_t font, int32_t number, int32_t lineIndex,
                                               LineBand* band) {
    auto words = wordsIn(line);
    // An ellipsis set wide apart reaches over the space threshold: a gap between two dots
    // of an even row of three is no space.
    auto inEllipsis = [&](size_t g) {   // the gap before glyph g
        for (size_t start = g >= 2 ? g - 2 : 0; start < g; ++start)
            if (start + 2 < line.glyphs.size() && ellipsisAt(line, start, start + 2)) return true;
        return false;
    };
    for (size_t w = 1; w < words.size();) {
        if (inEllipsis(words[w].first)) {
            words[w - 1].second = words[w].second;
            words.erase(words.begin() + static_cast<std::ptrdiff_t>(w));
        } else {
            ++w;
        }
    }
    // Italics per word from the letters that tell (upright or leaning strokes), then from
    // what the word's bitmaps were elsewhere in the stream (an italic a is drawn unlike an
    // upright one); words still undecided follow the word before them (or after).
    std::vector<int> italic(words.size(), -1);
    for (size_t w = 0; w < words.size(); ++w) {
        int lean = wordLean(line, words[w].first, words[w].second);
        if (lean == 0)
            for (size_t g = words[w].first; g <= words[w].second; ++g)
                if (line.glyphs[g].cluster >= 0) lean += italicTally_[static_cast<size_t>(line.glyphs[g].cluster)];
        if (lean != 0) italic[w] = lean > 0 ? 1 : 0;
    }
    for (size_t w = 1; w < italic.size(); ++w)
        if (italic[w] < 0) italic[w] = italic[w - 1];
    for (size_t w = italic.size(); w-- > 1;)
        if (italic[w - 1] < 0) italic[w - 1] = italic[w];
    for (int& i : italic) {
        if (i < 0) i = 0;
        if (font == kFontNormal) i = 0;
        if (font == kFontItalic) i = 1;
    }
    const bool dictionary = dictionary_ && dictionary_->loaded();
    std::vector<ReviewWord> out;
    for (size_t w = 0; w < words.size(); ++w) {
        ReviewWord rw;
        rw.lineStart = w == 0;
        rw.italic = italic[w] != 0;
        std::string word;
        auto frame = [&](size_t g, char32_t label) {
            const auto ch = static_cast<uint16_t>(label > 0xFFFF ? 0xFFFD : label);
            if (!band) return;
            const Glyph& gl = line.glyphs[g];
            band->slots.push_back({gl.left, gl.right, gl.top, gl.bottom, static_cast<uint8_t>(italic[w] ? 2 : 0), ch});
        };
        for (size_t g = words[w].first; g <= words[w].second; ++g) {
            const int32_t id = line.glyphs[g].cluster;
            auto place = [&](size_t at) {
                const int32_t c = line.glyphs[at].cluster;
                if (c >= 0)
                    review_.glyphs[static_cast<size_t>(c)].places.push_back(
                        {number, lineIndex, static_cast<int32_t>(at)});
            };
            // A speck nobody ever named that overlaps a letter beside it is a piece of that
            // letter (a hairline serif a thin rendering broke off): it is no character.
            if (brokenOff(line, g)) {
                place(g);
                continue;
            }
            if (ellipsisAt(line, g, words[w].second)) {
                for (size_t k = 0; k < 3; ++k) {
                    frame(g + k, '.');
                    place(g + k);
                }
                rw.pieces.push_back({-1, false, std::string(kEllipsis)});
                word += kEllipsis;
                g += 2;
                continue;
            }
            frame(g, id >= 0 && table_[id].known ? firstChar(table_[id].label) : 0);
            place(g);
            if (id >= 0 && table_[id].known) {
                rw.pieces.push_back({id, false, table_[id].label});
                word += table_[id].label;
            } else {
                rw.pieces.push_back({id, true, std::string(kUnknownMark)});
                word += kUnknownMark;
                ++totals_.unknown;
            }
        }
        // "|" separates lines in the program's texts: Tesseract's bar is an I or an l.
        for (char& c : word)
            if (c == '|') c = 'l';
        std::u32string chars = toChars(word);
        // An italic capital I leans like a slash: a slash that opens a word of letters, or
        // stands alone, in italic text is the letter.
        if (italic[w] && !chars.empty() && chars[0] == '/' && (chars.size() == 1 || isLetter(chars[1]))) chars[0] = 'I';
        // Letters Latin, Cyrillic and Greek draw alike take the script of their word.
        writeInOneScript(chars, script_);
        // I or l: only the letters of the word go to the dictionary.
        size_t a = 0, b = chars.size();
        auto letter = [](char32_t c) { return isLetter(c) || c == '\''; };
        while (a < b && !letter(chars[a])) ++a;
        while (b > a && !letter(chars[b - 1])) --b;
        bool rejected = false;
        if (b > a) {
            std::function<bool(const std::string&)> known;
            if (dictionary) known = [this](const std::string& s) { return dictionary_->knows(s); };
            const std::u32string chosen = toChars(chooseIl(toUtf8(std::u32string_view(chars).substr(a, b - a)), known));
            if (chosen.size() == b - a) chars.replace(a, b - a, chosen);
            rejected = dictionary && !dictionary_->knows(toUtf8(std::u32string_view(chars).substr(a, b - a)));
            if (dictionary && b - a >= 3) {
                ++wordsChecked_;
                wordsRejected_ += rejected ? 1 : 0;
            }
        }
        // Each glyph keeps its share of the word as written (the I/l choice and the scripts
        // keep the number of characters).
        size_t at = 0;
        for (ReviewPiece& p : rw.pieces) {
            const size_t n = charCount(p.text);
            const std::string written = toUtf8(std::u32string_view(chars).substr(std::min(at, chars.size()), n));
            at += n;
            if (p.glyph >= 0) {
                ReviewGlyph& g = review_.glyphs[static_cast<size_t>(p.glyph)];
                if (!p.unknown && written != p.text) ++ilChanged_[static_cast<size_t>(p.glyph)];
                if (rejected) ++g.rejected;
            }
            p.text = written;
        }
        out.push_back(std::move(rw));
    }
    return out;
}

ReviewGlyph reviewGlyph(const Cluster& c) {
    ReviewGlyph g;
    g.width = c.width;
    g.height = c.height;
    g.rise = static_cast<uint8_t>(c.rise);
    g.bits = c.bits;
    g.known = c.known;
    g.label = c.label;
    g.naming = c.known ? c.naming : GlyphNaming::Unknown;
    g.italic = c.italic;
    g.leans = c.lean > 0;
    g.votes = c.tally;
    return g;
}

int64_t unknownMarks(const std::string& text) { return countUnknownMarks(text); }

// A few glyphs that are all named (a "..." or "?!" alone) are text, however small they are.
bool LearnedRun::namedMarks(const Page& p) const {
    size_t n = 0;
    for (const TextLine& l : p.lines)
        for (const Glyph& g : l.glyphs) {
            if (++n > 12 || g.cluster < 0 || !table_[g.cluster].known) return false;
        }
    return n > 0;
}

std::optional<ReviewText> LearnedRun::writePage(const Page& p) {
    TSUP& sub = ctx_.prog.Subs[static_cast<size_t>(p.number - 1)];
    ++totals_.subtitles;
    if (p.lines.empty() && p.text) return std::nullopt;   // a picture without ink changes nothing
    if (!p.text && !namedMarks(p)) {
        // Noise, a logo or a drawn sign: no junk characters; flagged for a look and left
        // out of the SRT.
        sub.noText = 1;
        sub.ocrOK = 0;
        sub.lineCount = 0;
        sub.charCount = 0;
        if (sub.locked == 0) sub.text.clear();
        ++totals_.pictures;
        return std::nullopt;
    }
    ReviewText t;
    t.subtitle = p.number;
    t.fontMode = sub.font;
    for (size_t li = 0; li < p.lines.size(); ++li) {
        LineBand* band = nullptr;
        if (overlay_) {
            // A slot's lines go together; the next slot starts a new overlay.
            const Origin& o = p.origins[li];
            if (li == 0 || o.x != p.origins[li - 1].x || o.y != p.origins[li - 1].y)
                overlay_->push_back({o.x, o.y, o.width, {}});
            band = &overlay_->back().seg.lines.emplace_back();
            band->lineTop = p.lines[li].top;
            band->lineBottom = p.lines[li].bottom + 1;
        }
        for (ReviewWord& w : lineWords(p.lines[li], sub.font, p.number, static_cast<int32_t>(li), band))
            t.words.push_back(std::move(w));
    }
    const BuiltText built = buildReviewText(review_, t);
    // Read again on its own, a text that comes out with more glyphs nobody could name than
    // it has now stays as it is, and the log says so.
    if (single_ && reviewTextOf(review_, p.number) && unknownMarks(built.text) > unknownMarks(sub.text)) {
        ctx_.msg.log("Subtitle " + std::to_string(p.number) + ": the new reading names fewer glyphs (" +
                     std::to_string(unknownMarks(built.text)) + " unknown against " +
                     std::to_string(unknownMarks(sub.text)) + "); the text stays as it was.");
        return std::nullopt;
    }
    sub.noText = 0;
    storeBuiltText(sub, t.fontMode, built);
    return t;
}

void LearnedRun::write() {
    dictionary_ = &Dictionary::shared(ctx_.opt.ocrLanguage);
    script_ = ocrLanguageScript(ctx_.opt.ocrLanguage);
    if (single_) {
        writeSingle();
        return;
    }
    for (size_t i = 0; i < table_.all().size(); ++i) {
        const Cluster& c = table_.all()[i];
        if (c.known && c.label == "." && (period_ < 0 || c.count > table_[period_].count)) period_ = static_cast<int32_t>(i);
    }
    tallyItalics();
    review_ = {};
    review_.tags = ctx_.opt.cbTags;
    review_.coLang = ctx_.opt.coLang;
    review_.glyphs.reserve(table_.all().size());
    for (const Cluster& c : table_.all()) review_.glyphs.push_back(reviewGlyph(c));
    ilChanged_.assign(table_.all().size(), 0);
    for (const Page& p : pages_)
        if (auto t = writePage(p)) review_.texts.push_back(std::move(*t));
    for (size_t i = 0; i < review_.glyphs.size(); ++i) {
        ReviewGlyph& g = review_.glyphs[i];
        if (g.known && g.naming != GlyphNaming::Library && ilChanged_[i] * 2 > static_cast<int32_t>(g.places.size()))
            g.naming = GlyphNaming::Dictionary;
    }
    std::stable_sort(review_.texts.begin(), review_.texts.end(),
                     [](const ReviewText& a, const ReviewText& b) { return a.subtitle < b.subtitle; });
    ctx_.prog.glyphs.review = std::move(review_);
    warnOfAnotherScript();
    if (!cancelled_) ctx_.prog.glyphs.review.memory = std::make_shared<LearnedMemory>(save());
}

void LearnedRun::writeSingle() {
    // The stream's review goes on: new bitmaps join it, bitmaps this reading named take their
    // label, and subtitle n's places and text are made anew.
    review_ = std::move(ctx_.prog.glyphs.review);
    const size_t known = review_.glyphs.size();
    for (size_t i = 0; i < table_.all().size(); ++i) {
        const Cluster& c = table_.all()[i];
        if (i >= known) {
            review_.glyphs.push_back(reviewGlyph(c));
            continue;
        }
        ReviewGlyph& g = review_.glyphs[i];
        if (!g.known && c.known) {
            g.known = true;
            g.label = c.label;
            g.naming = c.naming;
            g.votes = c.tally;
        }
    }
    for (ReviewGlyph& g : review_.glyphs)
        g.places.erase(std::remove_if(g.places.begin(), g.places.end(),
                                      [this](const GlyphPlace& at) { return at.subtitle == single_; }),
                       g.places.end());
    ilChanged_.assign(table_.all().size(), 0);
    italicTally_.resize(table_.all().size(), 0);
    if (auto t = writePage(pages_.back())) {
        auto& texts = review_.texts;
        texts.erase(std::remove_if(texts.begin(), texts.end(), [this](const ReviewText& r) { return r.subtitle == single_; }),
                    texts.end());
        texts.push_back(std::move(*t));
        std::stable_sort(texts.begin(), texts.end(), [](const ReviewText& a, const ReviewText& b) { return a.subtitle < b.subtitle; });
    }
    ctx_.prog.glyphs.review = std::move(review_);
    ctx_.prog.glyphs.review.memory = std::make_shared<LearnedMemory>(save());
}

}  // namespace

bool learnedOcr(Context& ctx, const std::vector<int32_t>& numbers, const LearnedStep& step, LearnedTotals& totals,
                std::vector<LearnedOverlay>* overlay) {
    if (!kLearnedEngineOn) {
        ctx.msg.log("The learned OCR engine is not available in this build: it is switched off until it reads "
                    "every test stream at its accuracy target.");
        return false;
    }
    return runLearnedEngine(ctx, numbers, step, totals, overlay);
}

bool runLearnedEngine(Context& ctx, const std::vector<int32_t>& numbers, const LearnedStep& step,
                      LearnedTotals& totals, std::vector<LearnedOverlay>* overlay) {
    if (ctx.prog.SubKind > 2) {
        ctx.msg.log("The learned OCR engine reads picture streams only.");
        return false;
    }
    Teacher& teacher = Teacher::shared(ctx.opt.ocrLanguage);
    if (!teacher.available()) {
        ctx.msg.log(teacher.problem());
        return false;
    }
    return runLearnedEngineWith(ctx, teacher, numbers, step, totals, overlay);
}

bool runLearnedEngineWith(Context& ctx, WordReader& reader, const std::vector<int32_t>& numbers, const LearnedStep& step,
                          LearnedTotals& totals, std::vector<LearnedOverlay>* overlay) {
    if (ctx.prog.SubKind > 2) return false;
    LearnedRun run(ctx, reader, totals, overlay);
    // A cancel while the pictures are read leaves the teacher out: what was read is written.
    if (run.collect(numbers, step)) run.learn(step);
    else run.learn([](int32_t) { return false; });
    run.write();
    return true;
}

bool learnedReread(Context& ctx, int32_t n, LearnedTotals& totals, std::vector<LearnedOverlay>* overlay) {
    const std::shared_ptr<LearnedMemory> memory = ctx.prog.glyphs.review.memory;
    if (!memory || memory->language != ctx.opt.ocrLanguage || ctx.prog.SubKind > 2) return false;
    if (n < 1 || static_cast<size_t>(n) > ctx.prog.Subs.size()) return false;
    Teacher& teacher = Teacher::shared(ctx.opt.ocrLanguage);
    if (!teacher.available()) return false;
    LearnedRun run(ctx, teacher, totals, overlay);
    run.restore(*memory, ctx.prog.glyphs.review, n);
    run.collect({n}, {});
    run.learn();
    run.write();
    return true;
}

bool learnedFrames(const Context& ctx, int32_t n, std::vector<LearnedOverlay>& overlay) {
    const GlyphReview& review = ctx.prog.glyphs.review;
    if (!review.memory || !reviewTextOf(review, n)) return false;
    for (const LearnedPage& p : review.memory->pages) {
        if (p.number != n) continue;
        for (size_t li = 0; li < p.lines.size(); ++li) {
            const LearnedOrigin& o = p.origins[li];
            if (li == 0 || o.x != p.origins[li - 1].x || o.y != p.origins[li - 1].y) overlay.push_back({o.x, o.y, o.width, {}});
            LineBand& band = overlay.back().seg.lines.emplace_back();
            band.lineTop = p.lines[li].top;
            band.lineBottom = p.lines[li].bottom + 1;
            for (const Glyph& g : p.lines[li].glyphs) {
                // The label as the review holds it now: relabelled glyphs show their new name.
                uint16_t ch = 0;
                bool italic = false;
                if (g.cluster >= 0 && static_cast<size_t>(g.cluster) < review.glyphs.size()) {
                    const ReviewGlyph& rg = review.glyphs[static_cast<size_t>(g.cluster)];
                    if (rg.known && !rg.label.empty()) ch = static_cast<uint16_t>(std::min<char32_t>(firstChar(rg.label), 0xFFFD));
                    italic = rg.italic == 1 || (rg.italic < 0 && rg.leans);
                }
                band.slots.push_back({g.left, g.right, g.top, g.bottom, static_cast<uint8_t>(italic ? 2 : 0), ch});
            }
        }
        return true;
    }
    return false;
}

}  // namespace vantrel
