// Round trip: text set with the built-in glyph atlas, recognised again by the OCR.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "ocr/ocr.h"
#include "render/composer.h"
#include "support/render_support.h"
#include "text/atlas.h"

using namespace vantrel;
using vantrel::testing::RenderSession;

namespace {

size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diag = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

// Sets `text` as a two-line text subtitle the way an export draws it, turns the drawn
// palette indexes into an ink plane as the decoder would, and recognises it.
std::string roundTrip(RenderSession& s, const std::string& text, bool tags) {
    s.prog.Subs.clear();
    TSUP sub;
    sub.text = text;
    sub.lineCount = static_cast<int32_t>(std::count(text.begin(), text.end(), '|') + 1);
    sub.font = kFontUndecided;
    sub.obj[0].x1 = 100;
    sub.obj[0].x2 = 1820;
    s.prog.Subs.push_back(sub);
    s.opt.cbTags = tags;

    DrawSub(s.ctx, 1);   // places the lines: slot 0's rows
    s.prog.ExportingBD = true;
    DrawSub(s.ctx, 1);   // the glyphs into IndexImage
    s.prog.ExportingBD = false;

    TSUP& r = s.prog.Subs[0];
    const TSUPObject o = r.obj[0];
    const PaletteState& pal = s.prog.pal;
    std::vector<uint8_t>& plane = s.prog.pics.inkPlane;
    std::fill(plane.begin(), plane.end(), uint8_t{0});
    for (int y = o.y1; y <= o.y2; ++y)
        for (int x = o.x1; x < o.x2; ++x)
            if (pal.Palette[s.prog.pics.IndexImage.at(x, y)] >= pal.cutThreshold)
                plane[static_cast<size_t>(y - o.y1) * kScreenWidth + static_cast<size_t>(x - o.x1)] = 1;
    r.text.clear();
    ocr(s.ctx, 1);
    return r.text;
}

}  // namespace

TEST(OcrRoundTrip, AtlasTextReadsBack) {
    struct Case {
        const char* text;
        bool tags;
    };
    const Case cases[] = {
        {"Where are you going?|I don't know yet.", false},
        {"The quick brown fox jumps|over the lazy dog.", false},
        {"HELLO WORLD, 2024!|Meet me at 10:30, okay?", false},
        {"It's not what I said.|We should leave now.", false},
        {"<i>Somewhere far away</i>|<i>a bell was ringing.</i>", true},
    };
    RenderSession s;
    s.prog.SubKind = kSrtKind;
    fillLineY(s.prog, s.opt);
    size_t chars = 0, errors = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string got = roundTrip(s, c.text, c.tags);
        EXPECT_EQ(s.prog.Subs[0].lineCount, 2);
        EXPECT_EQ(std::count(got.begin(), got.end(), '|'), 1) << got;
        chars += std::string(c.text).size();
        errors += editDistance(c.text, got);
        std::cout << "  \"" << c.text << "\" -> \"" << got << "\"\n";
    }
    const double accuracy = 100.0 * (1.0 - static_cast<double>(errors) / static_cast<double>(chars));
    std::cout << "  character accuracy against the atlas font: " << accuracy << "% (" << errors << " edits in "
              << chars << " characters)\n";
    RecordProperty("accuracy", std::to_string(accuracy));
    // The rules are fixed; this floor only catches a segmentation or classifier that broke.
    EXPECT_GE(accuracy, 85.0);
}
