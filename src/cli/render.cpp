// "render": composes one subtitle of a stream and writes it as a PNG picture.
#include <algorithm>
#include <charconv>
#include <iostream>
#include <vector>

#include "cli/cli.h"
#include "platform/files.h"
#include "platform/image_io.h"
#include "render/composer.h"

namespace vantrel::cli {
namespace {

// The ink plane over the rectangle of the slot it was decoded from, ink white on black.
void writeInk(const std::string& name, const Program& p, const TSUP& s) {
    const size_t slot = s.obj[0].partLen[0] == 0 ? 1 : 0;
    const TSUPObject& o = s.obj[slot];
    // Blu-ray edges are exclusive, subpicture edges inclusive.
    const int inclusive = p.SubKind == kBluRayKind ? 0 : 1;
    const int width = std::clamp(o.x2 - o.x1 + inclusive, 1, kScreenWidth);
    const int height = std::clamp(o.y2 - o.y1 + inclusive, 1, kScreenHeight);
    std::vector<uint8_t> grey(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            grey[static_cast<size_t>(y * width + x)] =
                p.pics.inkPlane[static_cast<size_t>(y * kScreenWidth + x)] ? 255 : 0;
    writeGreyPng(name, width, height, grey.data(), static_cast<size_t>(width));
}

int runRender(const Args& args) {
    if (args.positional.size() != 2) {
        std::cerr << "vantrel-cli render: FILE and N are needed\n";
        return kUsage;
    }
    const auto out = args.value("-o") ? args.value("-o") : args.value("--out");
    if (!out || out->empty()) {
        std::cerr << "vantrel-cli render: -o OUT.png is needed\n";
        return kUsage;
    }
    const bool index = args.has("--index");
    const bool ink = args.has("--ink");
    if (index && ink) {
        std::cerr << "vantrel-cli render: --index and --ink exclude each other\n";
        return kUsage;
    }
    Session s;
    if (!applySets(args, s.opt) || !applyTrack(args, s)) return kUsage;

    const std::string& text = args.positional[1];
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size()) {
        std::cerr << "Invalid subtitle number \"" << text << "\"\n";
        return kFailed;
    }
    const int status = loadInput(s, args.positional[0]);
    if (status != kOk) return status;
    const size_t count = s.prog.Subs.size();
    if (n < 1 || static_cast<size_t>(n) > count) {
        std::cerr << "Subtitle " << n << " does not exist: the stream has " << count << " subtitle"
                  << (count == 1 ? "" : "s") << ".\n";
        return kFailed;
    }

    try {
        // Text subtitles reach the paletted picture only where it is coded: draw them the way
        // the stream export does, so that the index picture holds the text.
        const bool textIndex = index && s.prog.SubKind == kSrtKind;
        s.prog.ExportingBD = textIndex;
        DrawSub(s.ctx, n);
        s.prog.ExportingBD = false;
        const Pictures& pics = s.prog.pics;
        if (index) {
            writeIndexedPng(*out, pics.IndexImage.width, pics.IndexImage.height, pics.IndexImage.pixels.data(),
                            static_cast<size_t>(pics.IndexImage.width), s.prog.pal.Palette, s.prog.pal.Alpha);
        } else if (ink) {
            writeInk(*out, s.prog, s.prog.Subs[static_cast<size_t>(n - 1)]);
        } else {
            writeRgbPng(*out, pics.display.width, pics.display.height, pics.display.pixels.data(),
                        static_cast<size_t>(pics.display.width));
        }
    } catch (const PlatformError& e) {
        s.host.flush();
        std::cerr << e.what() << '\n';
        return kFailed;
    }
    return kOk;
}

const bool registered = registerSubcommand({
    "render",
    "render FILE N -o OUT.png [--index] [--ink] [--track N | --lang CODE]",
    "Loads FILE, composes subtitle N (1-based) as the viewer shows it and writes it as a\n"
    "1920x1080 RGB PNG. The log goes to stderr.\n"
    "  -o, --out OUT.png the picture to write\n"
    "  --index           write the paletted picture (IndexImage) with its palette and opacities\n"
    "  --ink             write the ink plane the OCR reads, ink white on black, in the size\n"
    "                    of the subtitle's rectangle\n"
    + std::string(kTrackHelp),
    {"--index", "--ink"},
    {"-o", "--out", "--track", "--lang"},
    runRender,
});

}  // namespace
}  // namespace vantrel::cli
