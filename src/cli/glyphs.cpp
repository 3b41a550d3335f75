// "glyphs": reads a stream with the learned engine and lists its distinct glyphs, the most
// doubtful first, with their labels, how often they stand and how they were named.
#include <cstdint>
#include <cstdio>
#include <iostream>

#include "cli/cli.h"
#include "cli/json_text.h"
#include "core/encoding.h"
#include "ocr/learned/learned.h"
#include "ocr/learned/library.h"
#include "ocr/learned/relabel.h"
#include "ocr/table_language.h"
#include "platform/files.h"

namespace vantrel::cli {

int useGlyphLibrary(const Args& args, Session& s) {
    GlyphLibrary& lib = s.prog.glyphs.library;
    const auto file = args.value("--glyphs");
    if (file && args.has("--no-glyphs")) {
        std::cerr << "vantrel-cli: --glyphs and --no-glyphs exclude each other\n";
        return kUsage;
    }
    if (args.has("--no-glyphs")) {
        lib.use = false;
        return kOk;
    }
    // The command line reads the library; only the window teaches it.
    try {
        lib.path = file ? *file : defaultGlyphLibraryPath();
        if (file && !fileExists(*file)) throw PlatformError("The glyph library \"" + *file + "\" does not exist.");
        loadGlyphLibrary(lib);
    } catch (const std::runtime_error& e) {
        if (file) {
            std::cerr << e.what() << '\n';
            return kFailed;
        }
        std::cerr << e.what() << " It is not used.\n";
        lib.use = false;
    }
    lib.path.clear();
    return kOk;
}

namespace {

void writeGlyphsJson(const Session& s, const std::string& file, const LearnedTotals& totals, std::FILE* out) {
    const GlyphReview& review = s.prog.glyphs.review;
    JsonText j(out);
    j.open('{');
    j.key("file");
    j.fileName(file);
    j.field("subtitles", totals.subtitles);
    j.field("glyphs", totals.glyphs);
    j.field("teacherLines", totals.teacherLines);
    j.field("unknownGlyphs", totals.unknown);
    j.field("picturesWithoutText", totals.pictures);
    j.field("libraryGlyphs", static_cast<int64_t>(s.prog.glyphs.library.use ? s.prog.glyphs.library.glyphs.size() : 0));
    j.key("clusters");
    j.open('[');
    for (int32_t id : glyphsByDoubt(review)) {
        const ReviewGlyph& g = review.glyphs[static_cast<size_t>(id)];
        j.newline();
        j.open('{');
        j.field("id", id);
        j.field("known", g.known);
        j.field("label", g.known ? g.label : std::string());
        j.field("naming", std::string(glyphNamingName(g.naming)));
        j.field("count", static_cast<int64_t>(g.places.size()));
        j.numbers("subtitles", subtitlesUsing(review, id), SIZE_MAX);
        j.field("italic", static_cast<int>(g.italic));
        j.field("leans", g.leans);
        j.key("votes");
        j.open('[');
        for (const auto& [label, weight] : g.votes) {
            j.open('{');
            j.field("label", label);
            j.field("weight", weight);
            j.close('}');
        }
        j.close(']');
        j.field("rejected", g.rejected);
        j.field("width", g.width);
        j.field("height", g.height);
        j.field("rise", static_cast<int>(g.rise));
        j.field("bitmap", bitmapHex(g.bits));
        j.close('}');
        j.pass();
    }
    j.newline();
    j.close(']');
    j.close('}');
    j.finish();
}

int runGlyphs(const Args& args) {
    if (args.positional.size() != 1) {
        std::cerr << "vantrel-cli glyphs: one FILE is needed\n";
        return kUsage;
    }
    Session s;
    if (!applySets(args, s.opt) || !applyTrack(args, s) || !applyOcrLanguage(args, s.opt, "glyphs")) return kUsage;
    preferOcrLanguageTrack(s);
    if (const int status = useGlyphLibrary(args, s); status != kOk) return status;
    const int status = loadInput(s, args.positional[0]);
    if (status != kOk) return status;
    useTableLanguage(s.ctx);
    std::vector<int32_t> numbers;
    for (size_t i = 0; i < s.prog.Subs.size(); ++i)
        if (selectedForJob(s.ctx, i)) numbers.push_back(static_cast<int32_t>(i + 1));
    LearnedTotals totals;
    const bool read = runLearnedEngine(s.ctx, numbers, {}, totals);
    s.host.flush();
    if (!read) return kFailed;
    if (args.has("--json")) {
        writeGlyphsJson(s, args.positional[0], totals, stdout);
        std::fflush(stdout);
        return kOk;
    }
    const GlyphReview& review = s.prog.glyphs.review;
    std::cout << "glyph\tlabel\tcount\tnamed by\n";
    for (int32_t id : glyphsByDoubt(review)) {
        const ReviewGlyph& g = review.glyphs[static_cast<size_t>(id)];
        std::cout << id << '\t' << (g.known ? asUtf8(g.label) : "?") << '\t' << g.places.size() << '\t'
                  << glyphNamingName(g.naming) << '\n';
    }
    return kOk;
}

const bool registered = registerSubcommand({
    "glyphs",
    "glyphs FILE [--json] [--glyphs LIBRARY | --no-glyphs] [--forced-only] [--track N | --lang CODE]",
    "Reads FILE with the learned engine and lists its distinct glyph bitmaps, the most\n"
    "doubtful first (unknown, disputed, few votes, words the dictionary rejected): id,\n"
    "label, how often it stands and how it was named (teacher, vote, similar, dictionary,\n"
    "user, library). Language and settings as for ocr (--lang fra, --set OcrLang=fra).\n"
    "  --json            one JSON object: totals and every glyph with its subtitles, votes,\n"
    "                    size, rise and bitmap (hexadecimal as in the library file)\n"
    "  --glyphs LIBRARY  consult this glyph library instead of your own\n"
    "  --no-glyphs       consult no glyph library\n"
    "  --forced-only     read the forced subtitles only\n"
    + std::string(kTrackHelp),
    {"--json", "--no-glyphs", "--forced-only"},
    {"--glyphs", "--track", "--lang"},
    runGlyphs,
});

}  // namespace
}  // namespace vantrel::cli
