// FreeType-drawn glyphs for characters outside the atlas. FreeType is opened on first use,
// so programs that never meet such a character do not load it.
#include "text/fallback_glyphs.h"

#include <dlfcn.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace vantrel {
namespace {

// The atlas's face and size (63 px per em, a one-pixel outline), then a face with wider
// coverage for what it lacks.
constexpr int kPixelsPerEm = 63;
constexpr std::array<const char*, 2> kUprightFonts = {
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"};
constexpr std::array<const char*, 2> kItalicFonts = {
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Italic.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Oblique.ttf"};

// Atlas values: 1 is background, the 17 ink levels run from the black outline to the white fill.
constexpr uint8_t kBackground = 1;
constexpr std::array<uint8_t, 17> kLevels = {0, 16, 32, 48, 64, 80, 96, 112, 127, 143, 159, 175, 191, 207, 223, 239, 255};
// The letter spacing the side bearings are split around, as in the atlas.
constexpr int kReferenceSpacing = 4;

struct FreeType {
    void* lib = nullptr;
    FT_Library library = nullptr;
    decltype(&::FT_Init_FreeType) init = nullptr;
    decltype(&::FT_New_Face) newFace = nullptr;
    decltype(&::FT_Set_Pixel_Sizes) setPixelSizes = nullptr;
    decltype(&::FT_Get_Char_Index) charIndex = nullptr;
    decltype(&::FT_Load_Glyph) loadGlyph = nullptr;
    decltype(&::FT_Render_Glyph) render = nullptr;
    std::array<FT_Face, 2> upright{};
    std::array<FT_Face, 2> italic{};
};

template <typename F>
bool resolve(void* lib, const char* name, F& fn) {
    fn = reinterpret_cast<F>(::dlsym(lib, name));
    return fn != nullptr;
}

// Opens FreeType and the fonts once; faces that cannot be opened stay null.
FreeType* freeType() {
    static FreeType* ft = [] {
        auto* f = new FreeType;
        f->lib = ::dlopen("libfreetype.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!f->lib || !resolve(f->lib, "FT_Init_FreeType", f->init) || !resolve(f->lib, "FT_New_Face", f->newFace) ||
            !resolve(f->lib, "FT_Set_Pixel_Sizes", f->setPixelSizes) ||
            !resolve(f->lib, "FT_Get_Char_Index", f->charIndex) || !resolve(f->lib, "FT_Load_Glyph", f->loadGlyph) ||
            !resolve(f->lib, "FT_Render_Glyph", f->render) || f->init(&f->library) != 0)
            return static_cast<FreeType*>(nullptr);
        auto open = [&](const std::array<const char*, 2>& files, std::array<FT_Face, 2>& faces) {
            for (size_t k = 0; k < files.size(); ++k) {
                FT_Face face = nullptr;
                if (f->newFace(f->library, files[k], 0, &face) == 0 && f->setPixelSizes(face, 0, kPixelsPerEm) == 0)
                    faces[k] = face;
            }
        };
        open(kUprightFonts, f->upright);
        open(kItalicFonts, f->italic);
        return f;
    }();
    return ft;
}

// Renders c with the first face that has it, in the atlas's look.
std::unique_ptr<DrawnGlyph> draw(FreeType& ft, char32_t c, bool italic) {
    for (FT_Face face : italic ? ft.italic : ft.upright) {
        if (!face) continue;
        const FT_UInt index = ft.charIndex(face, static_cast<FT_ULong>(c));
        if (index == 0 || ft.loadGlyph(face, index, FT_LOAD_DEFAULT) != 0) continue;
        if (ft.render(face->glyph, FT_RENDER_MODE_NORMAL) != 0) continue;
        const FT_Bitmap& bm = face->glyph->bitmap;
        if (bm.pixel_mode != FT_PIXEL_MODE_GRAY || bm.rows == 0 || bm.width == 0) continue;
        // The coverage on a canvas one pixel wider on every side, for the outline.
        const int w = static_cast<int>(bm.width) + 2, h = static_cast<int>(bm.rows) + 2;
        std::vector<int> fill(static_cast<size_t>(w * h), 0);
        for (int y = 0; y < static_cast<int>(bm.rows); ++y)
            for (int x = 0; x < static_cast<int>(bm.width); ++x)
                fill[static_cast<size_t>((y + 1) * w + x + 1)] =
                    bm.buffer[static_cast<ptrdiff_t>(y) * bm.pitch + x];
        auto at = [&](int x, int y) { return x < 0 || y < 0 || x >= w || y >= h ? 0 : fill[static_cast<size_t>(y * w + x)]; };
        // The outline covers what lies within a pixel of the fill's half-covered edge.
        std::vector<uint8_t> mask(static_cast<size_t>(w * h), 0);
        int left = w, right = -1, top = h, bottom = -1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int outer = std::max({at(x, y), at(x - 1, y), at(x + 1, y), at(x, y - 1), at(x, y + 1)});
                outer = std::max(outer, std::max({at(x - 1, y - 1), at(x + 1, y - 1), at(x - 1, y + 1), at(x + 1, y + 1)}) * 6 / 10);
                if (outer < 128) continue;
                mask[static_cast<size_t>(y * w + x)] = 1;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        if (right < 0) continue;
        auto g = std::make_unique<DrawnGlyph>();
        g->cols = right - left + 1;
        g->rows = bottom - top + 1;
        g->cells.assign(static_cast<size_t>(g->cols * g->rows), kBackground);
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x)
                if (mask[static_cast<size_t>(y * w + x)])
                    g->cells[static_cast<size_t>((y - top) * g->cols + (x - left))] =
                        kLevels[static_cast<size_t>((at(x, y) * 16 + 127) / 255)];
        // Canvas row 1 is the bitmap's first row, bitmap_top rows above the baseline; the
        // baseline row is the last row above it.
        const int baselineRow = 1 + face->glyph->bitmap_top - 1;
        g->above = baselineRow - top;
        const int lsb = face->glyph->bitmap_left - 1 + left;
        const double advance = static_cast<double>(face->glyph->advance.x) / 64.0;
        g->width = g->cols - 1;
        g->kernBefore = kReferenceSpacing / 2 - lsb;
        g->kernAfter = static_cast<int32_t>(std::lround(kReferenceSpacing / 2.0 - (advance - lsb - g->width)));
        return g;
    }
    return nullptr;
}

}  // namespace

const DrawnGlyph* fallbackGlyph(char32_t c, bool italic) {
    static std::mutex mutex;
    static std::map<std::pair<char32_t, bool>, std::unique_ptr<DrawnGlyph>> cache;
    const std::lock_guard<std::mutex> lock(mutex);
    const auto key = std::make_pair(c, italic);
    auto it = cache.find(key);
    if (it == cache.end()) {
        FreeType* ft = freeType();
        it = cache.emplace(key, ft ? draw(*ft, c, italic) : nullptr).first;
    }
    return it->second.get();
}

}  // namespace vantrel
