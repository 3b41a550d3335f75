// Blu-ray streams of subtitle text rendered with FreeType, for the end-to-end OCR tests and
// benchmarks: real fonts in real sizes, outlines, anti-aliasing, italics and colours, with
// the text every picture shows, so an OCR result can be scored against it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/render_support.h"
#include "support/stream_builder.h"

namespace vantrel::testing {

// The installed font files of one family: an upright and an italic face.
struct FontFiles {
    std::string regular;
    std::string italic;
};

enum class FontFamily {
    DejaVuSans,
    LiberationSans,
    FreeSans,
    LiberationSerif,
    DejaVuSerif,
    NimbusRoman,           // a Times-like serif (fonts-urw-base35)
    NimbusMono,            // a Courier-like monospace (fonts-urw-base35)
    DejaVuSansCondensed,   // condensed (fonts-dejavu-extra)
    UrwGothic,             // a geometric face (fonts-urw-base35)
};

// The files of a family under /usr/share/fonts (fonts-dejavu-core, fonts-dejavu-extra,
// fonts-liberation2, fonts-freefont-ttf, fonts-urw-base35). Throws std::runtime_error naming the package when a file is missing.
FontFiles fontFiles(FontFamily family);
// "DejaVuSans", "LiberationSans", ... for test names and labels.
const char* familyName(FontFamily family);

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

// How the text is drawn and where the pictures go.
struct TextStyle {
    FontFiles font;
    int pixelSize = 48;          // the font's em size in pixels
    Rgb fill{235, 235, 235};
    Rgb outline{16, 16, 16};
    int outlineWidth = 3;        // pixels; 0 draws no outline
    int levels = 4;              // opacity steps of the anti-aliased edges (1..16); 1 = hard edges
    int videoWidth = 1920;
    int videoHeight = 1080;
    // What real discs do and kind test streams do not:
    int subpixel = 1;            // pen positions in steps of 1/subpixel pixel, with kerning (1: whole pixels)
    double lineSpacing = 0;      // line pitch in em (0: the font's own), 0.95 puts two lines within a pixel or two
    bool fillFirst = false;      // the fill takes palette entry 0 and the transparent colour the fill's entry
    int shadow = 0;              // a soft dark drop shadow this many pixels down and right (0: none)
};

// A style in one line of a table of cases: a family and the values that differ.
struct StyleSpec {
    FontFamily family;
    int pixelSize;
    Rgb fill;
    Rgb outline;
    int outlineWidth;
    int levels;
    int videoWidth, videoHeight;
    int subpixel = 1;
    double lineSpacing = 0;
    bool fillFirst = false;
    int shadow = 0;

    TextStyle style() const;
};

// One rendered subtitle object: its palette-index picture, where it goes on the video, and
// the text it shows (UTF-8, lines joined by "|", italics as "<i>..</i>" per line).
struct RenderedObject {
    IndexPicture picture;
    int x = 0;
    int y = 0;
};

// The palette every picture of a style is drawn with: index 0 is transparent.
struct PaletteEntry {
    uint8_t index;
    Rgb color;
    uint8_t alpha;
};

// Renders texts in one style. Glyphs are rendered once and reused, as a disc authoring tool
// does, so identical letters give identical bitmaps throughout a stream.
class TextRenderer {
public:
    explicit TextRenderer(const TextStyle& style);
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    const TextStyle& style() const { return style_; }
    const std::vector<PaletteEntry>& palette() const { return palette_; }

    // True when the font has a glyph for every character of the text (tags aside).
    bool covers(std::string_view text) const;

    // A picture of the text's lines, centred on each other, cut to the ink with a margin
    // of a few pixels. Characters the font has no glyph for are left out.
    IndexPicture picture(std::string_view text) const;

    // The text as one object centred at the bottom of the video, or at the top.
    RenderedObject bottom(std::string_view text) const;
    RenderedObject top(std::string_view text) const;

private:
    struct Faces;
    struct Glyph;
    // The glyph drawn with its pen `fraction` steps of 1/subpixel right of a whole pixel.
    const Glyph& glyph(char32_t ch, bool italic, int fraction = 0) const;
    uint8_t transparentIndex() const;
    uint8_t fillIndex() const;

    TextStyle style_;
    std::vector<PaletteEntry> palette_;
    std::unique_ptr<Faces> faces_;
    mutable std::map<uint64_t, Glyph> glyphs_;
};

// One subtitle of a stream: the bottom text, and optionally a second object at the top.
// Its expected OCR text is the top lines followed by the bottom lines.
struct SubtitleText {
    std::string bottom;
    std::string top;             // empty: a single object
    uint32_t noise = 0;          // not 0: a picture without text (blobs, specks, a logo) from this seed

    std::string expected() const { return noise ? std::string() : top.empty() ? bottom : top + "|" + bottom; }
};

// A picture that holds no text in the renderer's palette: blobs, specks and a framed logo of
// about the size of a subtitle, different for each seed.
RenderedObject noiseObject(const TextRenderer& renderer, uint32_t seed);

// A Blu-ray stream of the subtitles, each shown for two seconds with a gap of one. The
// composition states the style's video size; large objects are split over several
// segments.
Bytes textStream(const TextRenderer& renderer, const std::vector<SubtitleText>& subs);
Bytes textStream(const TextRenderer& renderer, const std::vector<std::string>& texts);

// Ordinary dialogue in one language ("eng", "fra", "deu", "spa", "ita", "nld", "por", "pol",
// "ces", "rus", "ell", "hun", "tur"), one
// sentence per entry, UTF-8. Each corpus uses its language's accented letters and
// the typographic characters ’ “ ” – — … €. Throws std::invalid_argument for other codes.
const std::vector<std::string>& corpus(std::string_view language);
const std::vector<std::string>& corpusLanguages();

struct TextOptions {
    int count = 40;
    int maxLineChars = 40;       // lines are wrapped at word boundaries below this
    int italicEvery = 0;         // every n-th subtitle is in italics (0: none)
    int italicWordEvery = 0;     // every n-th subtitle has one word in italics (0: none)
    uint32_t seed = 1;
};

// `count` subtitle texts of one or two lines made of the corpus's sentences, picked by a
// fixed pseudo-random sequence: the same options give the same texts on every machine.
std::vector<std::string> subtitleTexts(std::string_view language, const TextOptions& options);

// 1 - (edit distance / length of `expected`), at least 0, over the characters of the texts
// as they stand.
double charAccuracy(std::string_view expected, std::string_view actual);
// The same with "<i>" and "</i>" removed from both texts.
double charAccuracyWithoutTags(std::string_view expected, std::string_view actual);
std::string withoutTags(std::string_view text);

}  // namespace vantrel::testing
