#!/usr/bin/python3
"""Builds the glyph atlas of the text renderer from Liberation Sans Regular and Italic.

Every printable Windows-1252 character gets a glyph in both styles: 0x20..0x7E, 0xA0..0xFF
and the typographic characters of 0x80..0x9F (quotes, dashes, the ellipsis, the euro, the
Central European letters). Writes data/atlas/abc.png (an 8-bit paletted PNG, 365 rows in
five bands, as wide as the glyphs need: index 1 is background, the
17 ink levels 0, 16, ..., 112, 127, 143, ..., 255 are grey ramps from the black outline to
the white fill, palette entry v is grey v) and src/text/atlas_data.cpp (the upright and
italic metric tables and the PNG bytes, so the program needs neither font nor file).

Run with Debian's python3 and python3-pil, fonts from fonts-liberation2:
    /usr/bin/python3 tools/make_atlas.py
"""

import io
import os
import sys

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FONT_DIR = "/usr/share/fonts/truetype/liberation2"
FONTS = {"upright": "LiberationSans-Regular.ttf", "italic": "LiberationSans-Italic.ttf"}

# 63 px per em puts the fill of a capital at 43 rows; with the one-pixel outline capitals are
# 45 rows tall and accented capitals and descenders stay inside their bands.
FONT_SIZE = 63
OUTLINE = 1

# The five bands keep their rows; the picture is as wide as the fullest band needs.
WIDTH, HEIGHT = 4880, 365
BACKGROUND = 1
LEVELS = [0, 16, 32, 48, 64, 80, 96, 112, 127, 143, 159, 175, 191, 207, 223, 239, 255]

# Bands 1..5: (top, baseline, bottom), rows inclusive.
BANDS = {1: (0, 57, 72), 2: (73, 130, 145), 3: (146, 203, 216), 4: (218, 276, 288), 5: (291, 349, 364)}

# The letter spacing the side bearings are split around: with this spacing the pen
# advances as the font does.
REFERENCE_SPACING = 4
GAP = 3  # background columns between neighbouring boxes where room allows

# The five byte values Windows-1252 leaves undefined have no character to draw.
UNDEFINED = {0x81, 0x8D, 0x8F, 0x90, 0x9D}
CODES = [c for c in list(range(0x20, 0x7F)) + list(range(0x80, 0x100)) if c not in UNDEFINED]
assert len(CODES) == 218

# Glyphs whose place and metrics are fixed: (style, code) -> (row, x, width, kernBefore, kernAfter).
FIXED = {
    ("upright", 32): (1, 1456, 12, 0, 0), ("italic", 32): (1, 1456, 13, 0, 0),
    ("upright", 40): (5, 1500, 19, 0, 3), ("italic", 40): (5, 941, 24, 0, 3),
    ("upright", 65): (3, 10, 46, 1, 0), ("italic", 65): (4, 11, 43, 0, -1),
    ("upright", 97): (1, 10, 33, 1, 0), ("italic", 97): (2, 10, 35, 2, 2),
    ("upright", 102): (1, 249, 24, 2, 2), ("italic", 102): (2, 280, 27, 2, 9),
    ("upright", 106): (1, 368, 16, 4, 1), ("italic", 106): (2, 426, 27, 14, 3),
    ("upright", 48): (1, 1115, 33, 0, 0), ("italic", 48): (2, 1288, 35, 0, 0),
}
NBSP = 0xA0         # the no-break space: the metrics and the empty box of the space
SOFT_HYPHEN = 0xAD  # a hyphenation hint, invisible in a subtitle: width 0, nothing drawn
NO_INK = (32, NBSP, SOFT_HYPHEN)


def char(code):
    return bytes([code]).decode("cp1252")


def band_of(style, code):
    c = char(code)
    if code in NO_INK:
        return 1
    if c.isalpha() and c.islower() or c.isdigit():
        return 1 if style == "upright" else 2
    if c.isalpha() and c.isupper():
        return 3 if style == "upright" else 4
    return 5


class Glyph:
    def __init__(self, style, code):
        self.style, self.code = style, code
        self.row = band_of(style, code)
        self.cells = None      # rows of atlas values, ink columns only
        self.lsb = 0           # first ink column relative to the pen origin
        self.above = 0         # ink rows above the baseline row
        self.advance = 0.0
        self.x = self.width = self.kern_before = self.kern_after = 0


def render(font, glyph):
    """Renders one glyph: white fill, black outline, as atlas values."""
    c = char(glyph.code)
    glyph.advance = font.getlength(c)
    size = FONT_SIZE * 3
    ox, oy = FONT_SIZE, FONT_SIZE * 2       # pen origin; the baseline is the row above oy
    fill = Image.new("L", (size, size), 0)
    ImageDraw.Draw(fill).text((ox, oy), c, font=font, fill=255, anchor="ls")
    outer = Image.new("L", (size, size), 0)
    ImageDraw.Draw(outer).text((ox, oy), c, font=font, fill=255, anchor="ls",
                               stroke_width=OUTLINE, stroke_fill=255)
    mask = outer.point(lambda v: 255 if v >= 128 else 0)
    box = mask.getbbox()
    if box is None:
        return
    left, top, right, bottom = box
    fp, mp = fill.load(), mask.load()
    cells = []
    for y in range(top, bottom):
        line = []
        for x in range(left, right):
            if mp[x, y]:
                line.append(LEVELS[(fp[x, y] * 16 + 127) // 255])
            else:
                line.append(BACKGROUND)
        cells.append(line)
    glyph.cells = cells
    glyph.lsb = left - ox
    glyph.above = (oy - 1) - top


def overflow(g, band):
    """Rows of a rendered glyph that stick out of a band, above and below together."""
    top, base, bottom = BANDS[band]
    first, last = base - g.above, base - g.above + len(g.cells) - 1
    return max(0, top - first) + max(0, last - bottom)


def choose_bands(glyphs):
    """A glyph too tall or too deep for its band (the italic C cedilla reaches below the
    capitals' band) moves to the signs' band, which has the deepest room below the baseline.
    One row too many is left to paint(), which drops a row of bare outline."""
    for g in glyphs:
        if g.cells is None or (g.style, g.code) in FIXED or overflow(g, g.row) <= 1:
            continue
        if overflow(g, 5) > 0:
            sys.exit(f"{(g.style, g.code)}: fits no band")
        print(f"{(g.style, g.code)}: moved from band {g.row} to band 5")
        g.row = 5


def layout(glyphs):
    """Gives every glyph its box: fixed ones where they must be, the rest packed in order."""
    taken = {band: [] for band in BANDS}
    for g in glyphs:
        key = (g.style, g.code)
        if key in FIXED:
            g.row, g.x, g.width, g.kern_before, g.kern_after = FIXED[key]
            ink = len(g.cells[0]) if g.cells else 0
            if ink > g.width + 1:
                sys.exit(f"{key}: {ink} ink columns do not fit a box of {g.width + 1}")
            g.offset = (g.width + 1 - ink) // 2
            # The two spaces share one empty box.
            if not any(start == g.x for start, _ in taken[g.row]):
                taken[g.row].append((g.x, g.x + g.width))
            else:
                taken[g.row] = [(s, max(e, g.x + g.width) if s == g.x else e) for s, e in taken[g.row]]
    cursor = {band: 1 for band in BANDS}
    for g in sorted(glyphs, key=placement_order):
        key = (g.style, g.code)
        if key in FIXED or g.code in NO_INK:
            continue
        if g.cells is None:
            sys.exit(f"{key}: no ink")
        g.width = len(g.cells[0]) - 1
        g.offset = 0
        g.kern_before = REFERENCE_SPACING // 2 - g.lsb
        g.kern_after = round(REFERENCE_SPACING / 2 - (g.advance - g.lsb - g.width))
        g.x = place(taken[g.row], g.width, cursor[g.row], GAP)
        if g.x is None:
            g.x = place(taken[g.row], g.width, 1, GAP)
        if g.x is None:
            g.x = place(taken[g.row], g.width, 0, 0)
        if g.x is None:
            sys.exit(f"{key}: band {g.row} is full")
        taken[g.row].append((g.x, g.x + g.width))
        cursor[g.row] = g.x + g.width + 1
    for g in glyphs:
        if g.code == NBSP:
            space = next(o for o in glyphs if o.style == g.style and o.code == 32)
            g.row, g.x, g.width, g.kern_before, g.kern_after = (space.row, space.x, space.width,
                                                                space.kern_before, space.kern_after)
        elif g.code == SOFT_HYPHEN:
            space = next(o for o in glyphs if o.style == g.style and o.code == 32)
            g.row, g.x, g.width, g.kern_before, g.kern_after = space.row, space.x, 0, 0, 0


def placement_order(g):
    """Letters a..z, then digits, accented letters and signs; upright before italic."""
    c = char(g.code)
    kind = 0 if c.isascii() and c.isalpha() else 1 if c.isdigit() else 2 if c.isalpha() else 3
    return (kind, 0 if g.style == "upright" else 1, g.code)


def place(taken, width, start, gap):
    """Leftmost x >= start whose box x..x+width keeps `gap` columns from every taken box."""
    x = start
    while x + width < WIDTH:
        clash = [e for s, e in taken if x <= e + gap and s <= x + width + gap]
        if not clash:
            return x
        x = max(clash) + gap + 1
    return None


def paint(glyphs):
    pixels = bytearray([BACKGROUND]) * (WIDTH * HEIGHT)
    for g in glyphs:
        if g.cells is None or g.width < 1 or g.code in NO_INK:
            continue
        top, base, bottom = BANDS[g.row]
        y0 = base - g.above
        # A row of nothing but outline that sticks out of the band (the tail of the
        # italic Q) is dropped; anything more means the font size does not fit.
        while y0 + len(g.cells) - 1 > bottom and max(g.cells[-1]) <= LEVELS[1]:
            g.cells.pop()
            print(f"{(g.style, g.code)}: outline row below band {g.row} dropped")
        while y0 < top and max(g.cells[0]) <= LEVELS[1]:
            g.cells.pop(0)
            g.above -= 1
            y0 += 1
            print(f"{(g.style, g.code)}: outline row above band {g.row} dropped")
        if y0 < top or y0 + len(g.cells) - 1 > bottom:
            sys.exit(f"{(g.style, g.code)}: rows {y0}..{y0 + len(g.cells) - 1} leave band {g.row}")
        for dy, line in enumerate(g.cells):
            row = (y0 + dy) * WIDTH
            for dx, v in enumerate(line):
                x = g.x + g.offset + dx
                if not g.x <= x <= g.x + g.width:
                    sys.exit(f"{(g.style, g.code)}: ink outside its box")
                if v != BACKGROUND:
                    if pixels[row + x] != BACKGROUND:
                        sys.exit(f"{(g.style, g.code)}: ink over another glyph")
                    pixels[row + x] = v
    return pixels


def check(glyphs):
    for style in FONTS:
        boxes = {}
        for g in glyphs:
            if g.style == style:
                boxes[g.code] = g
        assert len(boxes) == len(CODES)
    for band in BANDS:
        spans = sorted({(g.x, g.x + g.width) for g in glyphs
                        if g.row == band and g.width > 0 and g.code not in NO_INK})
        for (s1, e1), (s2, e2) in zip(spans, spans[1:]):
            if s2 <= e1:
                sys.exit(f"band {band}: boxes {s1}..{e1} and {s2}..{e2} overlap")
        space = [g for g in glyphs if g.code == 32]
        for s, e in spans:
            for sp in space:
                if band == sp.row and s <= sp.x + sp.width and sp.x <= e:
                    sys.exit(f"band {band}: a box overlaps the space")
    for (style, code), metrics in FIXED.items():
        g = next(o for o in glyphs if o.style == style and o.code == code)
        assert (g.row, g.x, g.width, g.kern_before, g.kern_after) == metrics


def png_bytes(pixels):
    image = Image.frombytes("P", (WIDTH, HEIGHT), bytes(pixels))
    palette = []
    for v in range(256):
        palette += [v, v, v]
    image.putpalette(palette)
    out = io.BytesIO()
    image.save(out, format="PNG", optimize=False, bits=8)
    return out.getvalue()


def cpp_source(glyphs, png):
    lines = [
        "// Glyph metrics and the PNG of the built-in atlas. Generated by tools/make_atlas.py; do not edit.",
        '#include "text/atlas_data.h"',
        "",
        "namespace vantrel {",
        "",
    ]
    for style, name in (("upright", "kUprightGlyphs"), ("italic", "kItalicGlyphs")):
        by_code = {g.code: g for g in glyphs if g.style == style}
        lines.append(f"// {style.capitalize()} glyphs by byte value: row, x, width, kernBefore, kernAfter.")
        lines.append(f"const GlyphTable {name} = {{{{")
        for code in range(256):
            g = by_code.get(code)
            m = (g.row, g.x, g.width, g.kern_before, g.kern_after) if g else (0, 0, 0, 0, 0)
            lines.append(f"    {{{m[0]}, {m[1]}, {m[2]}, {m[3]}, {m[4]}}},  // {code}")
        lines.append("}};")
        lines.append("")
    lines.append(f"const size_t kAtlasPngSize = {len(png)};")
    lines.append("const uint8_t kAtlasPng[] = {")
    for i in range(0, len(png), 20):
        lines.append("    " + ", ".join(f"0x{b:02X}" for b in png[i:i + 20]) + ",")
    lines.append("};")
    lines.append("")
    lines.append("}  // namespace vantrel")
    return "\n".join(lines) + "\n"


def main():
    glyphs = []
    for style, file_name in FONTS.items():
        font = ImageFont.truetype(os.path.join(FONT_DIR, file_name), FONT_SIZE)
        for code in CODES:
            g = Glyph(style, code)
            if code not in NO_INK:
                render(font, g)
            glyphs.append(g)
    choose_bands(glyphs)
    layout(glyphs)
    pixels = paint(glyphs)
    check(glyphs)
    png = png_bytes(pixels)
    os.makedirs(os.path.join(ROOT, "data", "atlas"), exist_ok=True)
    with open(os.path.join(ROOT, "data", "atlas", "abc.png"), "wb") as f:
        f.write(png)
    with open(os.path.join(ROOT, "src", "text", "atlas_data.cpp"), "w", newline="\n") as f:
        f.write(cpp_source(glyphs, png))
    used = {band: max((g.x + g.width for g in glyphs if g.row == band and g.width > 0), default=0)
            for band in BANDS}
    print(f"atlas {WIDTH}x{HEIGHT}, {len(png)} bytes; last column used per band: {used}")


if __name__ == "__main__":
    main()
