// Text correction. (The conversions below are placeholders until the tables land.)
#include "ocr/correction.h"

namespace vantrel {

std::vector<std::string> TxtToLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (true) {
        const size_t bar = text.find('|', start);
        lines.emplace_back(text.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    return lines;
}

std::string LinesToTxt(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) text += '|';
        text += lines[i];
    }
    return text;
}

}  // namespace vantrel
