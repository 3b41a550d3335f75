// SubRip import: cue numbers, timing lines and text lines become text subtitles whose
// rectangles come from measuring their lines with the glyph atlas.
#include "text/srt_reader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <optional>

#include "core/encoding.h"
#include "core/job.h"
#include "core/log_names.h"
#include "platform/files.h"
#include "text/atlas.h"
#include "text/srt_layout.h"

namespace vantrel {

using namespace srt_layout;

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Rows above the baseline that the first of k lines takes: from the letter metrics of a
// subtitle of k lines, and for subtitles of more than five lines the tallest of them.
int32_t topAboveBaseline(int k) {
    if (k >= 1 && k <= 5) return rowBase[static_cast<size_t>(k - 1)] - rowTop[static_cast<size_t>(k - 1)];
    return rowBase[4] - rowTop[4];
}

// Columns kept free on either side of an imported line: the safe area of the screen.
constexpr int kSafeMargin = 96;

// What an import noticed about the text, logged once at its end.
struct TextNotes {
    std::map<char32_t, int> noGlyph;  // characters no font shows: the first subtitle (1-based) using each
    std::vector<int> wrapped;         // subtitles with a line wrapped to fit
    std::vector<int> tooWide;         // subtitles with a word wider than the screen
};

// Subtitle numbers for the log: the first twenty, then how many there are in all.
std::string numberList(const std::vector<int>& numbers) {
    std::string out;
    for (size_t k = 0; k < numbers.size() && k < 20; ++k) out += (k ? ", " : "") + std::to_string(numbers[k]);
    if (numbers.size() > 20) out += ", ... (" + std::to_string(numbers.size()) + " in all)";
    return out + ".";
}

// The upright and italic styles cover the same characters, so the upright one tells.
void noteMissingGlyphs(const Context& ctx, std::string_view line, int subNumber, TextNotes& notes) {
    for (size_t i = 0; i < line.size();) {
        const char32_t c = nextChar(line, i);
        if (!notes.noGlyph.contains(c) && !hasGlyph(ctx, c)) notes.noGlyph[c] = subNumber;
    }
}

// Splits a line at spaces into pieces no wider than `limit`, each as long as it can be. A
// word wider than the limit stays whole on a line of its own (`tooWide`). Measuring leaves
// the italic state as it was at the line's start, so the caller measures the pieces in
// order as usual. Only the prefixes up to the first one too wide are measured, so a very
// long line costs little more than its pieces.
std::vector<std::string> wrapGreedy(Context& ctx, const std::string& line, int limit, bool& tooWide) {
    bool& italic = ctx.prog.italicOn;
    const bool atLineStart = italic;
    std::vector<std::string> pieces;
    std::string rest = line;
    while (true) {
        const bool atStart = italic;
        size_t cut = std::string::npos;
        bool fits = false;
        for (size_t p = rest.find(' ');; p = rest.find(' ', p + 1)) {
            const int w = DrawLine(ctx, std::string_view(rest).substr(0, p), 1, nullptr, false);
            italic = atStart;
            if (w > limit) {
                if (cut == std::string::npos) cut = p;   // the first word alone is too wide
                break;
            }
            if (p == std::string::npos) {
                fits = true;
                break;
            }
            if (w > 0) cut = p;   // a piece of tags only would be an empty line
        }
        if (fits || cut == std::string::npos) break;   // the rest fits, or is a single word
        std::string piece = trimmed(std::string_view(rest).substr(0, cut));
        if (DrawLine(ctx, piece, 1, nullptr, false) > limit) tooWide = true;   // leaves italic as after the piece
        pieces.push_back(std::move(piece));
        rest = trimmed(std::string_view(rest).substr(cut + 1));
    }
    const bool atEnd = italic;
    if (DrawLine(ctx, rest, 1, nullptr, false) > limit) tooWide = true;
    italic = atEnd;
    pieces.push_back(std::move(rest));
    italic = atLineStart;
    return pieces;
}

// Wraps a line wider than `limit` into as few pieces as the greedy cut gives, and evens
// them out: the narrowest width that still needs no more pieces, so two lines come out
// about equally long rather than a full line over a stub. Texts that need more pieces than
// a subtitle has line positions keep the greedy cut.
std::vector<std::string> wrapLine(Context& ctx, const std::string& line, int limit, bool& tooWide) {
    std::vector<std::string> pieces = wrapGreedy(ctx, line, limit, tooWide);
    if (pieces.size() < 2 || pieces.size() > 10 || tooWide) return pieces;
    int lo = 1, hi = limit;   // hi always wraps into pieces.size() pieces
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        bool wide = false;
        const size_t count = wrapGreedy(ctx, line, mid, wide).size();
        if (count <= pieces.size() && !wide) hi = mid;
        else lo = mid + 1;
    }
    bool unused = false;
    return wrapGreedy(ctx, line, hi, unused);
}

// The lines of a text: they end at CR LF, LF or CR; a last line without an end counts
// unless it is empty.
std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

// The cue number a line holds; junk in front of the number (a byte-order mark, say) goes from
// the line, as do blanks after it.
int32_t cueNumber(std::string& line) {
    std::string number = line;
    while (!number.empty() && (number.back() == ' ' || number.back() == '\t')) number.pop_back();
    size_t lastOther = std::string::npos;
    for (size_t k = 0; k < number.size(); ++k)
        if (!isDigit(number[k])) lastOther = k;
    if (lastOther != std::string::npos) number.erase(0, lastOther + 1);
    line = number;
    return leadingNumber(number);
}

// Reads the text lines of cue `number` from line i on (to the blank line that ends it) into
// s.text, wrapping lines wider than the safe area; notes what it met. Returns the width of
// the widest line drawn.
int readCueText(Context& ctx, const std::vector<std::string>& lines, size_t& i, TSUP& s, int number, TextNotes& notes) {
    const int safeWidth = pictureWidth(ctx.prog) - 2 * kSafeMargin;
    int j = 0;
    int widest = 0;
    bool wrapped = false, tooWide = false;
    while (i < lines.size()) {
        const std::string text = trimmed(lines[i]);
        ++i;
        if (text.empty()) break;
        noteMissingGlyphs(ctx, text, number, notes);
        const std::vector<std::string> pieces = wrapLine(ctx, text, safeWidth, tooWide);
        wrapped = wrapped || pieces.size() > 1;
        for (const std::string& piece : pieces) {
            if (!s.text.empty()) s.text += '|';
            s.text += piece;
            widest = std::max<int>(widest, DrawLine(ctx, piece, static_cast<uint8_t>(j), nullptr, false));
            ++j;
        }
    }
    if (wrapped) notes.wrapped.push_back(number);
    if (tooWide) notes.tooWide.push_back(number);
    s.lineCount = j;
    return widest;
}

// Places a read cue: centred across, its last line on the stored LastLine and the lines above
// it LineSpc apart.
void placeCue(const Context& ctx, TSUP& s, int widest) {
    TSUPObject& o = s.obj[0];
    centre(o, pictureWidth(ctx.prog), widest);
    // A cue without text gets the place of a one-line subtitle.
    const int k = std::max(s.lineCount, 1);
    // Wide arithmetic: the settings may hold anything the window let through.
    const int64_t lastLine = ctx.opt.ieLastLine;
    const int64_t baseline = lastLine - static_cast<int64_t>(k - 1) * ctx.opt.ieLineSpc;
    o.y1 = static_cast<uint16_t>(std::clamp<int64_t>(baseline - topAboveBaseline(k), 0, kScreenHeight - 1));
    o.y2 = static_cast<uint16_t>(std::clamp<int64_t>(rowBottom[0] + lastLine - rowBase[0], 0, kScreenHeight - 1));
}

// The log lines of what an import noticed about the text. Wrapped lines make the SRT preview
// stale: it is rebuilt from the wrapped texts when the SRT page is shown.
void logTextNotes(Context& ctx, const TextNotes& notes) {
    for (const auto& [c, first] : notes.noGlyph) {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
        ctx.msg.log("No glyph for the character " + std::string(code) + " (first in subtitle " +
                    std::to_string(first) + "); it is left out of the picture.");
    }
    if (!notes.wrapped.empty()) {
        ctx.msg.log("Lines wider than the screen were wrapped in subtitles " + numberList(notes.wrapped));
        ctx.prog.srtDirty = true;
    }
    if (!notes.tooWide.empty())
        ctx.msg.log("A word wider than the screen stays whole in subtitles " + numberList(notes.tooWide));
}

}  // namespace

int32_t leadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    uint32_t value = 0;
    bool whole = i < text.size();
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int d = -1;
        if (isDigit(c)) d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) {
            whole = false;
            break;
        }
        value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
    }
    if (negative && whole) value = 0u - value;
    return static_cast<int32_t>(value);
}

uint32_t txt2ptm(std::string_view text) {
    auto part = [&](size_t from, size_t count) {
        return from < text.size() ? static_cast<uint32_t>(leadingNumber(text.substr(from, count))) : 0u;
    };
    return part(0, 2) * 324000000u + part(3, 2) * 5400000u + part(6, 2) * 90000u + part(9, 3) * 90u;
}

std::vector<std::string> srtLines(const std::vector<uint8_t>& bytes) {
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // A file in no Unicode form is Windows-1252, as such files were written.
    const std::string utf8 = unicodeTextAsUtf8(raw).value_or(cp1252ToUtf8(raw));
    return splitLines(utf8);
}

int importSrt(Context& ctx, const std::string& path) {
    if (refuseWhileWorking(ctx)) return -1;
    Program& p = ctx.prog;
    std::vector<std::string> lines = srtLines(readWholeFile(path));
    ControlStates& c = p.controls;
    p.eSUPfile.clear();
    p.lSRTfile = path;
    ctx.msg.log2("Loading " + logName(fileNameOnly(path)));
    ctx.msg.slog("Loading...", 0);
    p.SubKind = kSrtKind;
    const size_t estimated = lines.size() / 4;

    // The navigator and the job commands follow the table, also when the import fails.
    auto tableShown = [&] {
        c.udSubsMax = static_cast<int>(p.Subs.size());
        c.ieSubs = p.Subs.empty() ? 0 : 1;
    };
    std::optional<JobScope> job(std::in_place, ctx, JobSetup{nullptr, true, true});
    int r = -1;
    size_t i = 0;
    TextNotes notes;
    try {
        p.Subs.clear();
        p.streamFile.clear();
        p.glyphs.review = {};
        while (i < lines.size() && !p.Cancel) {
            ctx.host().pumpMessages();
            std::string& line = lines[i];
            if (line.empty() || line.size() >= 8) {
                ++i;
                continue;
            }
            const int32_t cue = cueNumber(line);
            // A cue needs its timing line; a number on the last line ends the import.
            if (cue < 1 || i + 1 >= lines.size()) {
                ++i;
                continue;
            }
            ++r;
            TSUP& s = p.Subs.emplace_back();
            s.num = cue;
            s.palCount = 256;
            s.ocrOK = 1;
            ctx.msg.slog("Subtitle: " + std::to_string(r + 1), 1);
            if (i % 10 == 0 && estimated > 0)
                ctx.host().setProgress(static_cast<int>(static_cast<size_t>(r) * 100 / estimated), 100);

            const std::string& timing = lines[i + 1];
            s.startTime = timing.substr(0, 12);
            s.startPTS = txt2ptm(s.startTime);
            s.endTime = timing.size() > 17 ? timing.substr(17, 12) : std::string();
            s.endPTS = txt2ptm(s.endTime);

            i += 2;
            const int widest = readCueText(ctx, lines, i, s, r + 1, notes);
            placeCue(ctx, s, widest);
        }
    } catch (...) {
        tableShown();
        throw;
    }

    // The line after the last one read goes from the preview (normally the blank line that
    // closed the last cue; after a cancel the unread rest with it).
    if (!lines.empty() && lines.size() + 1 > i) {
        const size_t remove = std::min(lines.size(), lines.size() + 1 - i);
        lines.resize(lines.size() - remove);
    }
    p.mSRT = std::move(lines);
    const int count = r + 1;
    ctx.msg.slog2("Ready.", "");
    ctx.msg.logn(std::to_string(count) + " subtitles loaded.");
    logTextNotes(ctx, notes);
    ctx.msg.log2("");
    tableShown();
    // Ending the job enables what a table of text subtitles allows.
    job.reset();
    ctx.host().displaySubtitle(count > 0 ? 1 : 0);
    return count;
}

}  // namespace vantrel
