// Reviewing learned glyphs: relabel and undo over texts built from glyphs, the doubt order,
// and the user's glyph library file (round trip, damaged, foreign and read-only files).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "ocr/learned/library.h"
#include "ocr/learned/relabel.h"
#include "ocr/ocr.h"
#include "platform/files.h"
#include "support/glyph_review_fixture.h"
#include "support/render_support.h"
#include "support/stream_builder.h"

namespace vantrel {
namespace {

using Session = testing::RenderSession;

void readTexts(Session& s, const std::vector<std::string>& labels, const std::vector<std::string>& texts) {
    testing::fillGlyphReview(s.prog, labels, texts);
}

std::vector<std::string> textsOf(const Session& s) {
    std::vector<std::string> out;
    for (const TSUP& sub : s.prog.Subs) out.push_back(sub.text);
    return out;
}

const std::string U(kUnknownMark);

TEST(GlyphRelabel, EveryUseChangesLockedTextsStayAndUndoRestores) {
    Session s;
    readTexts(s, {"a", "", "c"}, {"ab c|b", "ba", "c", "a"});
    ASSERT_EQ(textsOf(s), (std::vector<std::string>{"a" + U + " c|" + U, U + "a", "c", "a"}));
    EXPECT_EQ(s.prog.Subs[0].ocrOK, 0);
    s.prog.Subs[1].locked = 1;

    const RelabelResult r = relabelGlyph(s.ctx, 1, "rn", -1);
    ASSERT_TRUE(r.done);
    EXPECT_EQ(r.changed, std::vector<int32_t>{1});
    EXPECT_EQ(r.locked, 1);
    EXPECT_EQ(textsOf(s), (std::vector<std::string>{"arn c|rn", U + "a", "c", "a"}));
    EXPECT_EQ(s.prog.Subs[0].ocrOK, 1);
    EXPECT_EQ(s.prog.Subs[0].charCount, 7);
    EXPECT_EQ(s.prog.glyphs.review.glyphs[1].naming, GlyphNaming::User);
    EXPECT_TRUE(s.prog.srtDirty);

    EXPECT_EQ(undoRelabel(s.ctx), std::vector<int32_t>{1});
    EXPECT_EQ(textsOf(s), (std::vector<std::string>{"a" + U + " c|" + U, U + "a", "c", "a"}));
    EXPECT_EQ(s.prog.Subs[0].ocrOK, 0);
    EXPECT_FALSE(s.prog.glyphs.review.glyphs[1].known);
    EXPECT_TRUE(undoRelabel(s.ctx).empty());   // nothing left to undo
}

TEST(GlyphRelabel, TwoRelabelsOfOneGlyphUndoOneAtATime) {
    Session s;
    readTexts(s, {"a", "l"}, {"ab", "b"});
    ASSERT_TRUE(relabelGlyph(s.ctx, 1, "I", -1).done);
    ASSERT_TRUE(relabelGlyph(s.ctx, 1, "!", -1).done);
    EXPECT_EQ(textsOf(s), (std::vector<std::string>{"a!", "!"}));
    const GlyphReview& r = s.prog.glyphs.review;
    const LibraryGlyph* lg = findLibraryGlyph(s.prog.glyphs.library, 4, 4, 0, r.glyphs[1].bits);
    ASSERT_NE(lg, nullptr);
    EXPECT_EQ(lg->label, "!");
    undoRelabel(s.ctx);
    EXPECT_EQ(textsOf(s), (std::vector<std::string>{"aI", "I"}));
    EXPECT_EQ(findLibraryGlyph(s.prog.glyphs.library, 4, 4, 0, r.glyphs[1].bits)->label, "I");
    undoRelabel(s.ctx);
    EXPECT_EQ(textsOf(s), (std::vector<std::string>{"al", "l"}));
    EXPECT_EQ(findLibraryGlyph(s.prog.glyphs.library, 4, 4, 0, r.glyphs[1].bits), nullptr);
    EXPECT_EQ(r.glyphs[1].naming, GlyphNaming::Teacher);
}

TEST(GlyphRelabel, ItalicFlagDecidesItsWordsUnlessTheFontModeForces) {
    struct Case {
        FontMode fontMode;
        int8_t italic;
        std::string text;
        uint8_t font;
    };
    const std::vector<Case> cases = {
        {kFontUndecided, 1, "ab <i>cb</i>", 1},
        {kFontUndecided, -1, "ab cb", 0},
        {kFontNormal, 1, "ab cb", 0},
        {kFontItalic, 0, "<i>ab cb</i>", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fontMode) * 10 + c.italic);
        Session s;
        readTexts(s, {"a", "b", "c"}, {});
        s.prog.Subs.resize(1);
        s.prog.Subs[0].font = c.fontMode;
        ReviewText t;
        t.subtitle = 1;
        t.fontMode = c.fontMode;
        t.words = {{true, false, {{0, false, "a"}, {1, false, "b"}}}, {false, false, {{2, false, "c"}, {1, false, "b"}}}};
        s.prog.glyphs.review.texts.push_back(t);
        s.prog.glyphs.review.glyphs[2].places.push_back({1, 0, 2});
        ASSERT_TRUE(relabelGlyph(s.ctx, 2, "c", c.italic).done);
        EXPECT_EQ(s.prog.Subs[0].text, c.text);
        EXPECT_EQ(s.prog.Subs[0].font, c.font);
    }
}

TEST(GlyphRelabel, RefusesWhatCannotBeStored) {
    Session s;
    readTexts(s, {"a"}, {"a"});
    for (const std::string& label : {std::string(), std::string("a|b"), std::string("\t"), std::string(9, 'x')}) {
        SCOPED_TRACE(label);
        EXPECT_FALSE(relabelGlyph(s.ctx, 0, label, -1).done);
    }
    EXPECT_FALSE(relabelGlyph(s.ctx, 1, "x", -1).done);
    EXPECT_FALSE(relabelGlyph(s.ctx, -1, "x", -1).done);
    EXPECT_FALSE(relabelGlyph(s.ctx, 0, "x", 2).done);
    EXPECT_EQ(s.prog.Subs[0].text, "a");
    EXPECT_TRUE(s.prog.glyphs.review.undo.empty());
}

TEST(GlyphReview, DoubtOrderPutsUnknownAndDisputedFirst) {
    Session s;
    readTexts(s, {"a", "b", "c", "d", "", "f"}, {"abcdef", "b"});
    auto& g = s.prog.glyphs.review.glyphs;
    g[0].votes = {{"a", 3.0}};                  // certain
    g[1].votes = {{"b", 0.9}};                  // one weak vote
    g[2].votes = {{"c", 1.0}, {"e", 0.9}};      // disputed
    g[3].votes = {{"d", 3.0}};
    g[3].naming = GlyphNaming::User;
    g[5].votes = {{"f", 3.0}};
    g[5].rejected = 1;                          // its word is no word
    EXPECT_EQ(glyphsByDoubt(s.prog.glyphs.review), (std::vector<int32_t>{4, 2, 5, 1, 0, 3}));
    EXPECT_EQ(subtitlesUsing(s.prog.glyphs.review, 1), (std::vector<int32_t>{1, 2}));
}

// --- The library file ---

LibraryGlyph glyph(int w, int h, uint8_t rise, const std::string& label, int8_t italic = -1, unsigned seed = 1) {
    LibraryGlyph g;
    g.width = w;
    g.height = h;
    g.rise = rise;
    g.label = label;
    g.italic = italic;
    for (int i = 0; i < w * h; ++i) g.bits.push_back(((static_cast<unsigned>(i) * 7 + seed) % 3) == 0 ? 1 : 0);
    return g;
}

std::string tempPath(const std::string& name) {
    return testing::writeTempFile(name, {}) + ".lib";
}

TEST(GlyphLibraryFile, SavedLibraryLoadsBackExactly) {
    Session s;
    GlyphLibrary lib;
    lib.path = tempPath("library round trip");
    putLibraryGlyph(lib, glyph(5, 7, 0, "a"));
    putLibraryGlyph(lib, glyph(5, 7, 2, "’", 1));     // same bits, other rise: another glyph
    putLibraryGlyph(lib, glyph(3, 3, 1, "% é", 0, 2));
    putLibraryGlyph(lib, glyph(5, 7, 0, "o"));            // replaces the first
    ASSERT_EQ(lib.glyphs.size(), 3u);
    ASSERT_TRUE(saveGlyphLibrary(lib, s.msg)) << s.host.logText();
    const std::vector<uint8_t> file = readWholeFile(lib.path);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 31), "VANTREL GLYPH LIBRARY\nversion 1");

    GlyphLibrary back;
    back.path = lib.path;
    loadGlyphLibrary(back);
    ASSERT_EQ(back.glyphs.size(), 3u);
    for (const LibraryGlyph& g : lib.glyphs) {
        SCOPED_TRACE(g.label);
        const LibraryGlyph* found = findLibraryGlyph(back, g.width, g.height, g.rise, g.bits);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->label, g.label);
        EXPECT_EQ(found->italic, g.italic);
    }
    std::vector<uint8_t> other = lib.glyphs[0].bits;
    other[0] ^= 1;
    EXPECT_EQ(findLibraryGlyph(back, 5, 7, 0, other), nullptr);
    // A library an earlier version wrote (labels in UTF-8 with % escapes) reads as it was
    // written, and labels of any script are kept.
    const std::string older = "VANTREL GLYPH LIBRARY\nversion 1\nglyph 2 3 0 -1 A4 %25%20\xC3\xA9\nglyph 2 3 1 1 A4 "
                              "\xC5\x82\nglyph 2 3 2 0 A4 \xD0\xB6\nend 3\n";
    GlyphLibrary old;
    old.path = testing::writeTempFile("older.glyphs", testing::Bytes(older.begin(), older.end()));
    loadGlyphLibrary(old);
    ASSERT_EQ(old.glyphs.size(), 3u);
    EXPECT_EQ(old.glyphs[0].label, "% é");
    EXPECT_EQ(old.glyphs[1].label, "ł");
    EXPECT_EQ(old.glyphs[2].label, "ж");
    EXPECT_TRUE(validGlyphLabel("ł") && validGlyphLabel("Ωμέγα") && !validGlyphLabel("abcdefghi") &&
                !validGlyphLabel("a\xC3") && !validGlyphLabel("\xC2\x85"));
    // A file that is not there is an empty library.
    GlyphLibrary none;
    none.path = lib.path + ".none";
    loadGlyphLibrary(none);
    EXPECT_TRUE(none.glyphs.empty());
}

// A ring of width w (an "o"), its right side `extra` columns thicker; with `bar`, a middle
// bar closing it into an "e"-like shape.
std::vector<uint8_t> ring(int w, int h, int extra, bool bar) {
    std::vector<uint8_t> bits(static_cast<size_t>(w * h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool edge = y < 3 || y >= h - 3 || x < 3 || x >= w - 3 - extra;
            const bool middle = bar && y >= h / 2 - 1 && y <= h / 2 + 1;
            bits[static_cast<size_t>(y * w + x)] = edge || middle ? 1 : 0;
        }
    return bits;
}

// The next episode draws a letter at another fraction of a pixel: the library still names
// it, and another letter of the same size is not taken for it.
TEST(GlyphLibraryFile, VariantsOfALibraryGlyphAreFound) {
    GlyphLibrary lib;
    LibraryGlyph o;
    o.width = 16;
    o.height = 20;
    o.label = "o";
    o.bits = ring(16, 20, 0, false);
    putLibraryGlyph(lib, o);
    EXPECT_EQ(findLibraryShape(lib, 16, 20, 0, o.bits), &lib.glyphs[0]);
    const LibraryGlyph* variant = findLibraryShape(lib, 17, 20, 0, ring(17, 20, 1, false));
    ASSERT_NE(variant, nullptr);
    EXPECT_EQ(variant->label, "o");
    EXPECT_EQ(findLibraryGlyph(lib, 17, 20, 0, ring(17, 20, 1, false)), nullptr);   // not the same bitmap
    EXPECT_EQ(findLibraryShape(lib, 16, 20, 0, ring(16, 20, 0, true)), nullptr);    // a bar apart
    EXPECT_EQ(findLibraryShape(lib, 16, 20, 2, o.bits), nullptr);                   // raised: another glyph
}

TEST(GlyphLibraryFile, DamagedOrForeignFilesAreRefusedAndTheLibraryKept) {
    GlyphLibrary good;
    putLibraryGlyph(good, glyph(2, 3, 0, "x"));
    const std::string text = glyphLibraryText(good);
    struct Case {
        std::string name;
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"foreign", "PNG\nversion 1\nend 0\n", "is no Vantrel glyph library"},
        {"empty", "", "is no Vantrel glyph library"},
        {"newer", "VANTREL GLYPH LIBRARY\nversion 2\nend 0\n", "of version 2; this program reads version 1"},
        {"no version", "VANTREL GLYPH LIBRARY\n", "version line is missing"},
        {"cut", text.substr(0, text.size() - 6), "incomplete"},
        {"cut in a glyph", text.substr(0, text.find(" x\n")), "(line 3): not a glyph line"},
        {"short bitmap", "VANTREL GLYPH LIBRARY\nversion 1\nglyph 2 3 0 -1 A x\nend 1\n", "wrong length"},
        {"bits past the end", "VANTREL GLYPH LIBRARY\nversion 1\nglyph 2 3 0 -1 A5 x\nend 1\n", "past its end"},
        {"huge", "VANTREL GLYPH LIBRARY\nversion 1\nglyph 5000 1 0 -1 0 x\nend 1\n", "size is wrong"},
        {"bad rise", "VANTREL GLYPH LIBRARY\nversion 1\nglyph 2 3 7 -1 A4 x\nend 1\n", "rise"},
        {"bad escape", "VANTREL GLYPH LIBRARY\nversion 1\nglyph 2 3 0 -1 A4 %4\nend 1\n", "% escape"},
        {"tab label", "VANTREL GLYPH LIBRARY\nversion 1\nglyph 2 3 0 -1 A4 %09\nend 1\n", "cannot be used"},
        {"wrong count", "VANTREL GLYPH LIBRARY\nversion 1\nglyph 2 3 0 -1 A4 x\nend 2\n", "end line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = testing::writeTempFile("library " + c.name, testing::Bytes(c.text.begin(), c.text.end()));
        GlyphLibrary lib;
        putLibraryGlyph(lib, glyph(4, 4, 0, "k"));
        lib.path = path;
        try {
            loadGlyphLibrary(lib);
            ADD_FAILURE() << "loaded";
        } catch (const GlyphLibraryError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        try {
            importGlyphLibrary(lib, path);
            ADD_FAILURE() << "imported";
        } catch (const GlyphLibraryError&) {
        }
        ASSERT_EQ(lib.glyphs.size(), 1u);   // the current library is untouched
        EXPECT_EQ(lib.glyphs[0].label, "k");
    }
}

TEST(GlyphLibraryFile, ImportAddsAndExportShares) {
    Session s;
    GlyphLibrary mine;
    putLibraryGlyph(mine, glyph(4, 4, 0, "a"));
    putLibraryGlyph(mine, glyph(6, 4, 0, "b"));
    GlyphLibrary theirs;
    putLibraryGlyph(theirs, glyph(6, 4, 0, "h"));
    putLibraryGlyph(theirs, glyph(3, 5, 0, "c"));
    const std::string shared = tempPath("library shared");
    exportGlyphLibrary(theirs, shared);
    EXPECT_EQ(importGlyphLibrary(mine, shared), 2u);
    ASSERT_EQ(mine.glyphs.size(), 3u);
    EXPECT_EQ(findLibraryGlyph(mine, 6, 4, 0, glyph(6, 4, 0, "").bits)->label, "h");
    EXPECT_EQ(findLibraryGlyph(mine, 4, 4, 0, glyph(4, 4, 0, "").bits)->label, "a");
}

TEST(GlyphLibraryFile, ReadOnlyOrUnwritableLibraryIsReportedOnceAndKeepsWorking) {
    const std::string readOnly = tempPath("library read-only");
    GlyphLibrary first;
    first.path = readOnly;
    Session s0;
    putLibraryGlyph(first, glyph(4, 4, 0, "a"));
    ASSERT_TRUE(saveGlyphLibrary(first, s0.msg));
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    const std::string blocker = testing::writeTempFile("library blocker", {1});
    for (const std::string& path : {readOnly, blocker + "/sub/glyph-library.txt"}) {
        SCOPED_TRACE(path);
        Session s;
        readTexts(s, {"a", "b"}, {"ab"});
        s.prog.glyphs.library.path = path;
        ASSERT_TRUE(relabelGlyph(s.ctx, 1, "h", -1).done);
        ASSERT_TRUE(relabelGlyph(s.ctx, 0, "o", -1).done);
        EXPECT_EQ(s.prog.Subs[0].text, "oh");
        const std::string log = s.host.logText();
        const size_t at = log.find("cannot be saved");
        ASSERT_NE(at, std::string::npos) << log;
        EXPECT_EQ(log.find("cannot be saved", at + 1), std::string::npos) << log;
        EXPECT_NE(findLibraryGlyph(s.prog.glyphs.library, 4, 4, 0, s.prog.glyphs.review.glyphs[0].bits), nullptr);
    }
    GlyphLibrary kept;
    kept.path = readOnly;
    loadGlyphLibrary(kept);
    ASSERT_EQ(kept.glyphs.size(), 1u);
    EXPECT_EQ(kept.glyphs[0].label, "a");
}

}  // namespace
}  // namespace vantrel
