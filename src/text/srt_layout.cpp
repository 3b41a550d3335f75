// Helpers the SRT import and the text editor share.
#include "text/srt_layout.h"

#include <algorithm>

namespace vantrel::srt_layout {

std::string trimmed(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
    while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
    return std::string(s.substr(a, b - a));
}

int32_t linesOf(const std::string& text) {
    return static_cast<int32_t>(std::count(text.begin(), text.end(), '|')) + 1;
}

void centre(TSUPObject& slot, int pictureWidth, int widest) {
    const int x1 = std::max(0, (pictureWidth - widest) / 2);
    slot.x1 = static_cast<uint16_t>(x1);
    slot.x2 = static_cast<uint16_t>(std::min(pictureWidth, x1 + widest));
}

int pictureWidth(const Program& p) { return p.pics.display.width > 0 ? p.pics.display.width : kScreenWidth; }

}  // namespace vantrel::srt_layout
