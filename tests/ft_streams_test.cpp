// The FreeType stream generator the end-to-end OCR tests stand on: streams load and decode
// to exactly the pictures that were rendered, every corpus character has a glyph in every
// font, texts are deterministic and well formed, and the accuracy score.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "core/encoding.h"
#include "render/composer.h"
#include "stream/load.h"
#include "support/ft_streams.h"

using namespace vantrel;
using namespace vantrel::testing;

namespace {

struct StreamCase {
    const char* name;
    StyleSpec style;
    const char* language;
    bool twoObjects;
};

constexpr Rgb kWhite{235, 235, 235}, kBlack{16, 16, 16};

const StreamCase kStreams[] = {
    {"dejavu 1080p outlined", {FontFamily::DejaVuSans, 60, kWhite, kBlack, 3, 4, 1920, 1080}, "fra", false},
    {"liberation 720p yellow", {FontFamily::LiberationSans, 40, {235, 220, 30}, kBlack, 2, 8, 1280, 720}, "deu", false},
    {"freesans DVD size, no outline, hard edges",
     {FontFamily::FreeSans, 22, {40, 230, 230}, kBlack, 0, 1, 720, 576}, "spa", false},
    {"serif top and bottom objects", {FontFamily::LiberationSerif, 48, kWhite, kBlack, 3, 4, 1920, 1080}, "eng", true},
};

// A stream of the case's texts, with every third subtitle wholly and every fourth partly
// in italics; the two-object case puts the first line at the top.
std::vector<SubtitleText> caseTexts(const StreamCase& c, int count) {
    TextOptions o;
    o.count = count;
    o.italicEvery = 3;
    o.italicWordEvery = 4;
    std::vector<SubtitleText> subs;
    for (const std::string& t : subtitleTexts(c.language, o)) {
        const size_t bar = t.find('|');
        if (c.twoObjects && bar != std::string::npos)
            subs.push_back({t.substr(bar + 1), t.substr(0, bar)});
        else
            subs.push_back({t, {}});
    }
    return subs;
}

}  // namespace

// Each subtitle of a generated stream decodes to the very pictures that were rendered, at
// their places, with the palette's opacities and (within rounding) its colours.
TEST(FtStreams, StreamsDecodeToTheRenderedPictures) {
    for (const StreamCase& c : kStreams) {
        SCOPED_TRACE(c.name);
        const TextRenderer renderer(c.style.style());
        const std::vector<SubtitleText> subs = caseTexts(c, 6);
        RenderSession s;
        s.prog.eSUPfile = writeTempFile("ft-stream.sup", textStream(renderer, subs));
        ASSERT_EQ(Load(s.ctx), LoadResult::Loaded);
        ASSERT_EQ(s.prog.Subs.size(), subs.size());

        for (size_t n = 0; n < subs.size(); ++n) {
            SCOPED_TRACE(subs[n].expected());
            DrawSub(s.ctx, static_cast<int32_t>(n + 1));
            std::vector<RenderedObject> objects;
            if (!subs[n].top.empty()) objects.push_back(renderer.top(subs[n].top));
            objects.push_back(renderer.bottom(subs[n].bottom));
            for (const RenderedObject& o : objects) {
                ASSERT_LE(o.x + o.picture.width, c.style.videoWidth);
                ASSERT_LE(o.y + o.picture.height, c.style.videoHeight);
                int inkPixels = 0, differing = 0;
                for (int y = 0; y < o.picture.height; ++y)
                    for (int x = 0; x < o.picture.width; ++x) {
                        inkPixels += o.picture.at(x, y) != 0;
                        differing += s.prog.pics.IndexImage.at(o.x + x, o.y + y) != o.picture.at(x, y);
                    }
                EXPECT_GT(inkPixels, o.picture.width * o.picture.height / 20);
                EXPECT_EQ(differing, 0);
            }
            for (const PaletteEntry& e : renderer.palette()) {
                EXPECT_EQ(s.prog.pal.Alpha[e.index], e.alpha) << int(e.index);
                if (e.alpha == 0) continue;
                const Color got = s.prog.pal.Palette[e.index];
                EXPECT_NEAR(static_cast<int>(got & 0xFF), e.color.r, 3) << int(e.index);
                EXPECT_NEAR(static_cast<int>((got >> 8) & 0xFF), e.color.g, 3) << int(e.index);
                EXPECT_NEAR(static_cast<int>((got >> 16) & 0xFF), e.color.b, 3) << int(e.index);
            }
        }
    }
}

// A picture over 64 KiB of run-length data is split over several object segments and
// still loads whole.
TEST(FtStreams, LargeObjectsSpanSeveralSegments) {
    TextStyle style;
    style.font = fontFiles(FontFamily::DejaVuSans);
    style.pixelSize = 72;
    style.levels = 16;
    const TextRenderer renderer(style);
    const std::string text = utf8ToCp1252("Wàrm quéstions, “fine” answers — 1234567890…|"
                                          "ÀÉÎÕÜ àéîõü ßœŒ€ ÇÑ çñ ÆØÅ æøå ÿŸ¿¡ «»‘’");
    const Bytes stream = textStream(renderer, std::vector<std::string>{text});
    ASSERT_GT(stream.size(), size_t{70000});
    RenderSession s;
    s.prog.eSUPfile = writeTempFile("ft-large.sup", stream);
    ASSERT_EQ(Load(s.ctx), LoadResult::Loaded);
    ASSERT_EQ(s.prog.Subs.size(), 1u);
    DrawSub(s.ctx, 1);
    const RenderedObject o = renderer.bottom(text);
    ASSERT_LE(o.picture.width, 1920);
    int differing = 0;
    for (int y = 0; y < o.picture.height; ++y)
        for (int x = 0; x < o.picture.width; ++x)
            differing += s.prog.pics.IndexImage.at(o.x + x, o.y + y) != o.picture.at(x, y);
    EXPECT_EQ(differing, 0);
}

// The properties the learning OCR relies on and that a broken renderer would lose: a
// repeated letter repeats its bitmap, italics differ from upright, an outline surrounds
// the fill, and two lines stack.
TEST(FtStreams, RenderedPicturesLookLikeText) {
    TextStyle style;
    style.font = fontFiles(FontFamily::LiberationSans);
    style.pixelSize = 50;
    const TextRenderer renderer(style);
    const int fillFirst = style.levels + 1;

    const IndexPicture twice = renderer.picture("nn");
    // The columns of the left n, shifted by one advance, match the right one.
    const IndexPicture once = renderer.picture("n");
    const int advance = twice.width - once.width;
    ASSERT_GT(advance, 0);
    int differing = 0;
    for (int y = 0; y < once.height; ++y)
        for (int x = 0; x < once.width; ++x)
            differing += twice.at(x + advance, y) != once.at(x, y) && x + advance >= once.width;
    EXPECT_EQ(differing, 0);

    EXPECT_NE(renderer.picture("<i>Mind</i>").pixels, renderer.picture("Mind").pixels);
    EXPECT_EQ(renderer.picture("M<i></i>ind").pixels, renderer.picture("Mind").pixels);

    const IndexPicture one = renderer.picture("Hello"), two = renderer.picture("Hello|Hello");
    EXPECT_EQ(one.width, two.width);
    EXPECT_GT(two.height, 2 * one.height - 10);

    // No fill pixel touches a transparent one.
    int touching = 0;
    for (int y = 1; y + 1 < one.height; ++y)
        for (int x = 1; x + 1 < one.width; ++x)
            if (one.at(x, y) >= fillFirst)
                touching += one.at(x - 1, y) == 0 || one.at(x + 1, y) == 0 || one.at(x, y - 1) == 0 || one.at(x, y + 1) == 0;
    EXPECT_EQ(touching, 0);
}

// Every character of every corpus has a glyph, upright and italic, in every font the
// end-to-end streams use, so the expected texts are what the pictures show.
TEST(FtStreams, FontsCoverEveryCorpusCharacter) {
    for (FontFamily family : {FontFamily::DejaVuSans, FontFamily::LiberationSans, FontFamily::FreeSans,
                              FontFamily::LiberationSerif, FontFamily::DejaVuSerif}) {
        SCOPED_TRACE(familyName(family));
        TextStyle style;
        style.font = fontFiles(family);
        const TextRenderer renderer(style);
        for (const std::string& language : corpusLanguages())
            for (const std::string& sentence : corpus(language)) {
                EXPECT_TRUE(renderer.covers(sentence)) << sentence;
                EXPECT_TRUE(renderer.covers("<i>" + sentence + "</i>")) << sentence;
            }
    }
}

// Each corpus holds a few hundred words with its language's letters and the typographic
// characters; the texts made from it are deterministic, one or two lines, and italic
// tags open and close on the same line.
TEST(FtStreams, CorporaAndSubtitleTexts) {
    const std::string typographic = "’“”–—…€";
    const struct {
        const char* language;
        std::string letters;
    } kLetters[] = {
        {"eng", ""},
        {"fra", "éèàçôœ"},
        {"deu", "äöüßÄÖ"},
        {"spa", "ñáíó¿¡"},
        {"ita", "àèòùÈì"},
        {"nld", "ëéï"},
        {"por", "ãõçêáà"},
        {"pol", "ąćęłńśźżŁŚŻ"},
        {"ces", "áčďéěíňřšťůýžČŘŠ"},
        {"rus", "абвгдеёжзийклмнопрстуфхцчшщъыьэюяЖЩЮЯ"},
        {"ell", "αβγδεζηθικλμνξοπρστυφχψωάέήίόύώΑΘΞΨΆΉΊΏ"},
        {"hun", "áéíóöőúüűÁÉŐÚÜ"},
        {"tur", "çğıöşüÇİÖŞ"},
    };
    ASSERT_EQ(corpusLanguages().size(), std::size(kLetters));
    for (const auto& c : kLetters) {
        SCOPED_TRACE(c.language);
        std::string all;
        size_t words = 0;
        for (const std::string& s : corpus(c.language)) {
            all += s + " ";
            words += static_cast<size_t>(std::count(s.begin(), s.end(), ' ')) + 1;
        }
        EXPECT_GE(words, 250u);
        for (char32_t ch : toChars(typographic + c.letters))
            EXPECT_NE(all.find(toUtf8(ch)), std::string::npos) << toUtf8(ch);

        TextOptions o;
        o.count = 50;
        o.italicEvery = 5;
        o.italicWordEvery = 3;
        o.seed = 7;
        const std::vector<std::string> texts = subtitleTexts(c.language, o);
        EXPECT_EQ(texts, subtitleTexts(c.language, o));
        o.seed = 8;
        EXPECT_NE(texts, subtitleTexts(c.language, o));
        ASSERT_EQ(texts.size(), 50u);
        std::set<std::string> distinct(texts.begin(), texts.end());
        EXPECT_GT(distinct.size(), 20u);
        int italicSubs = 0;
        for (const std::string& t : texts) {
            SCOPED_TRACE(t);
            EXPECT_LE(std::count(t.begin(), t.end(), '|'), 1);
            italicSubs += t.find("<i>") != std::string::npos;
            size_t start = 0;
            for (;;) {
                const size_t bar = t.find('|', start);
                const std::string line = t.substr(start, bar == std::string::npos ? bar : bar - start);
                EXPECT_FALSE(line.empty());
                const size_t open = line.find("<i>"), close = line.find("</i>");
                EXPECT_EQ(open == std::string::npos, close == std::string::npos);
                if (open != std::string::npos) {
                    EXPECT_LT(open, close);
                }
                if (line.find(' ') != std::string::npos) {
                    EXPECT_LE(charCount(withoutTags(line)), size_t(o.maxLineChars));
                }
                if (bar == std::string::npos) break;
                start = bar + 1;
            }
        }
        EXPECT_GE(italicSubs, 20);   // every 5th in italics and every 3rd with an italic word
    }
}

TEST(FtStreams, CharAccuracy) {
    const struct {
        const char* expected;
        const char* actual;
        double withTags, withoutTags;
    } kCases[] = {
        {"Hello", "Hello", 1.0, 1.0},
        {"Hello", "Hallo", 0.8, 0.8},
        {"Hello", "", 0.0, 0.0},
        {"Hi", "Hi there, friend", 0.0, 0.0},   // never below 0
        {"", "", 1.0, 1.0},
        {"", "x", 0.0, 0.0},
        {"ab|cd", "abcd", 0.8, 0.8},
        {"<i>Yes</i>", "Yes", 0.3, 1.0},
        {"No <i>way</i>", "No <i>wax</i>", 12.0 / 13.0, 5.0 / 6.0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.expected) + " / " + c.actual);
        EXPECT_DOUBLE_EQ(charAccuracy(c.expected, c.actual), c.withTags);
        EXPECT_DOUBLE_EQ(charAccuracyWithoutTags(c.expected, c.actual), c.withoutTags);
    }
}
