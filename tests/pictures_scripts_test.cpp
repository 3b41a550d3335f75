// Authoring scripts: timecodes at the six frame rates, the script lines, XML attribute text.
#include <cmath>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "pictures/scripts.h"

using namespace vantrel;

namespace {

// A strict check of the XML the BDN file uses: the declaration, nested elements with quoted
// attributes, text, the five named entities and character references, one root element,
// valid UTF-8. Returns the first fault, empty when the document is well-formed.
std::string xmlFault(const std::string& doc) {
    // UTF-8: lead bytes, continuation bytes, no overlong two-byte forms.
    for (size_t i = 0; i < doc.size();) {
        const auto c = static_cast<unsigned char>(doc[i]);
        const size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 && c >= 0xC2 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (n == 0 || i + n > doc.size()) return "bad UTF-8 at " + std::to_string(i);
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(doc[i + k]) & 0xC0) != 0x80) return "bad UTF-8 at " + std::to_string(i);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return "control character at " + std::to_string(i);
        i += n;
    }
    size_t p = 0;
    auto isNameChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':' || c == '-' || c == '.'; };
    auto name = [&]() {
        const size_t start = p;
        while (p < doc.size() && isNameChar(doc[p])) ++p;
        return doc.substr(start, p - start);
    };
    auto space = [&]() {
        while (p < doc.size() && std::isspace(static_cast<unsigned char>(doc[p]))) ++p;
    };
    // Character data up to `stop`: "&" must start a known reference, "<" is not allowed.
    auto chars = [&](char stop) -> std::string {
        while (p < doc.size() && doc[p] != stop) {
            if (doc[p] == '<' && stop != '<') return "'<' in a value at " + std::to_string(p);
            if (doc[p] == '&') {
                const size_t end = doc.find(';', p);
                if (end == std::string::npos) return "unterminated reference at " + std::to_string(p);
                const std::string ref = doc.substr(p + 1, end - p - 1);
                static const std::set<std::string> named{"amp", "lt", "gt", "quot", "apos"};
                const bool numeric = ref.size() > 1 && ref[0] == '#' &&
                                     ref.find_first_not_of("0123456789", 1) == std::string::npos;
                if (!named.count(ref) && !numeric) return "unknown reference &" + ref + "; at " + std::to_string(p);
                p = end + 1;
            } else {
                ++p;
            }
        }
        return {};
    };
    const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    if (doc.compare(0, decl.size(), decl) != 0) return "no XML declaration";
    p = decl.size();
    std::vector<std::string> open;
    bool rootDone = false;
    while (true) {
        if (open.empty()) space();
        if (p >= doc.size()) break;
        if (doc[p] != '<') {
            if (open.empty()) return "text outside the root at " + std::to_string(p);
            if (auto fault = chars('<'); !fault.empty()) return fault;
            continue;
        }
        ++p;
        if (p < doc.size() && doc[p] == '/') {
            ++p;
            const std::string n = name();
            space();
            if (open.empty() || open.back() != n || p >= doc.size() || doc[p] != '>')
                return "unexpected end tag </" + n + "> at " + std::to_string(p);
            open.pop_back();
            ++p;
            if (open.empty()) rootDone = true;
            continue;
        }
        if (rootDone) return "second root element at " + std::to_string(p);
        const std::string n = name();
        if (n.empty()) return "no element name at " + std::to_string(p);
        std::set<std::string> attributes;
        while (true) {
            const size_t before = p;
            space();
            if (p >= doc.size()) return "unterminated tag <" + n + ">";
            if (doc[p] == '>' || doc.compare(p, 2, "/>") == 0) break;
            if (p == before) return "no space before an attribute at " + std::to_string(p);
            const std::string a = name();
            if (a.empty() || !attributes.insert(a).second) return "bad or repeated attribute at " + std::to_string(p);
            space();
            if (p >= doc.size() || doc[p] != '=') return "no '=' after " + a;
            ++p;
            space();
            if (p >= doc.size() || (doc[p] != '"' && doc[p] != '\'')) return "unquoted value of " + a;
            const char quote = doc[p++];
            if (auto fault = chars(quote); !fault.empty()) return fault;
            if (p >= doc.size()) return "unterminated value of " + a;
            ++p;
        }
        if (doc[p] == '/') {
            p += 2;
            if (open.empty()) rootDone = true;
        } else {
            ++p;
            open.push_back(n);
        }
    }
    if (!open.empty()) return "unclosed element <" + open.back() + ">";
    if (!rootDone) return "no root element";
    return {};
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

}  // namespace

TEST(PtsToTC, ExamplesAtTheSixRates) {
    struct Case {
        uint32_t ticks;
        int rate;   // rgFrame item
        const char* tc;
    };
    const Case cases[] = {
        {90000, 2, "00:00:01:00"},
        {90000, 0, "00:00:01:00"},      // frame 23.976 rounds to 24
        {135000, 2, "00:00:01:12"},     // frame 37.5: the earlier one
        {495000, 5, "00:00:05:30"},     // frame 329.67 rounds to 330
        {900000, 1, "00:00:10:00"},
        {1125000, 1, "00:00:12:12"},
        {405000, 2, "00:00:04:12"},
        {45045, 0, "00:00:00:12"},      // frame 12 of 23.976
        {7500, 1, "00:00:00:02"},       // frame 2 of 24
        {3003, 3, "00:00:00:01"},       // frame 1 of 29.97
        {1501, 5, "00:00:00:01"},       // frame 1 of 59.94 (1501.5 ticks), rounded down
        {1502, 5, "00:00:00:01"},       // and rounded up
        {1800, 4, "00:00:00:01"},
        {0, 3, "00:00:00:00"},
        {324000000, 2, "01:00:00:00"},
        {4294967295u, 2, "13:15:21:21"},            // the largest time: 47721.86 s
        {135000, 7, "00:00:01:12"},                 // an unknown item counts as 23.976
    };
    for (const auto& c : cases) EXPECT_EQ(ptsToTC(c.ticks, c.rate), c.tc) << c.ticks << " at item " << c.rate;
}

TEST(PtsToTC, FrameAlignedTimesGiveTheirOwnFrame) {
    // Frame k starts at k x 90000 x divisor / (fps x 1000) ticks; streams store that rounded
    // down or up to a whole tick. Every such time must name frame k, at every rate.
    struct Rate {
        int item;
        int fps;
        int divisor;
    };
    const Rate rates[] = {{0, 24, 1001}, {1, 24, 1000}, {2, 25, 1000}, {3, 30, 1001}, {4, 50, 1000}, {5, 60, 1001}};
    for (const auto& r : rates) {
        SCOPED_TRACE("item " + std::to_string(r.item));
        int faults = 0;
        for (int64_t k = 0; k < 3 * 3600 * r.fps && faults < 3; k += (k < 400 ? 1 : 997)) {
            const double start = static_cast<double>(k) * 90000.0 * r.divisor / (r.fps * 1000.0);
            char expected[32];
            const int64_t s = k / r.fps;
            std::snprintf(expected, sizeof expected, "%02d:%02d:%02d:%02d", static_cast<int>(s / 3600),
                          static_cast<int>(s / 60 % 60), static_cast<int>(s % 60), static_cast<int>(k % r.fps));
            for (const double t : {std::floor(start), std::ceil(start)}) {
                const std::string got = ptsToTC(static_cast<uint32_t>(t), r.item);
                if (got != expected) {
                    ADD_FAILURE() << "frame " << k << " at " << t << " ticks: " << got << " instead of " << expected;
                    ++faults;
                }
            }
        }
    }
}

TEST(PtsToTC, SrtMillisecondsNameTheFrameTheyCameFrom) {
    // An SRT time is the frame start in whole milliseconds, rounded or cut; read back as
    // ticks (ms x 90) it must name the same frame at every rate.
    struct Rate {
        int item;
        int fps;
        int divisor;
    };
    const Rate rates[] = {{0, 24, 1001}, {1, 24, 1000}, {2, 25, 1000}, {3, 30, 1001}, {4, 50, 1000}, {5, 60, 1001}};
    for (const auto& r : rates) {
        SCOPED_TRACE("item " + std::to_string(r.item));
        int faults = 0;
        for (int64_t k = 0; k < 2 * 3600 * r.fps && faults < 3; k += (k < 300 ? 1 : 991)) {
            const double ms = static_cast<double>(k) * 1000.0 * r.divisor / (r.fps * 1000.0);
            const int64_t s = k / r.fps;
            char expected[32];
            std::snprintf(expected, sizeof expected, "%02d:%02d:%02d:%02d", static_cast<int>(s / 3600),
                          static_cast<int>(s / 60 % 60), static_cast<int>(s % 60), static_cast<int>(k % r.fps));
            for (const double m : {std::floor(ms), std::round(ms)}) {
                const std::string got = ptsToTC(static_cast<uint32_t>(m) * 90, r.item);
                if (got != expected) {
                    ADD_FAILURE() << "frame " << k << " at " << m << " ms: " << got << " instead of " << expected;
                    ++faults;
                }
            }
        }
    }
}

TEST(Scripts, LinesOfBothScripts) {
    ScriptInfo info;
    info.subtitleName = "movie.sup";
    info.title = "movie";
    info.rgFrame = 1;
    info.firstIn = 900000;
    info.lastOut = 1125000;
    info.count = 1;
    EXPECT_EQ(scenaristEntry(3, 900000, 1125000, 1, "line0003.png"), "3 00:00:10:00 00:00:12:12 line0003.png");
    EXPECT_EQ(joined(scenaristHead(info)),
              "St_Format 4\r\nDisplay_Area  (0 2 1919 1079)\r\nTV_Type NTSC\r\nSubTitle movie.sup\r\n"
              "##########################\r\nSP_NUMBER START END FILE_NAME\r\n");
    info.subtitleName.clear();   // a table made from SRT text
    EXPECT_EQ(scenaristHead(info)[3], "SubTitle ");

    // 720p: the format line and every picture are 1280x720.
    info.hd720 = true;
    info.rgFrame = 3;
    EXPECT_EQ(bdnHead(info)[5], "    <Format VideoFormat=\"720p\" FrameRate=\"29.97\" DropFrame=\"False\"/>");
    EXPECT_EQ(bdnEntry(900000, 1125000, info, "line0003.png")[1],
              "      <Graphic Width=\"1280\" Height=\"720\" X=\"0\" Y=\"0\">line0003.png</Graphic>");
    info.hd720 = false;
    EXPECT_EQ(bdnEntry(900000, 1125000, info, "line0003.png")[1],
              "      <Graphic Width=\"1920\" Height=\"1080\" X=\"0\" Y=\"0\">line0003.png</Graphic>");
    // A forced subtitle says so in its event.
    info.rgFrame = 1;
    EXPECT_EQ(bdnEntry(900000, 1125000, info, "line0003.png", true)[0],
              "    <Event InTC=\"00:00:10:00\" OutTC=\"00:00:12:12\" Forced=\"True\">");
}

TEST(Scripts, XmlAttributeText) {
    struct Case {
        const char* name;
        std::string in, out;
    };
    const Case cases[] = {
        {"plain", "movie", "movie"},
        {"markup", "Tom & Jerry <\"it's\">", "Tom &amp; Jerry &lt;&quot;it&apos;s&quot;&gt;"},
        {"Windows-1252 letters become UTF-8", "Am\xE9lie \x80", "Am\xC3\xA9lie \xE2\x82\xAC"},
        {"a UTF-8 file name stays", "Am\xC3\xA9lie", "Am\xC3\xA9lie"},
        {"control characters", std::string("a\tb\x01", 4), "a&#9;b?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(xmlAttribute(c.in), c.out);
    }
}

TEST(Scripts, BdnDocumentIsWellFormed) {
    for (const std::string title : {"movie", "Tom & Jerry", "\"quoted\" <x> 'y'", "Am\xE9lie", "a]]>b"}) {
        SCOPED_TRACE(title);
        ScriptInfo info;
        info.title = title;
        info.count = 2;
        std::vector<std::string> lines = bdnHead(info);
        for (const auto& l : bdnEntry(90000, 180000, info, "line0001.png")) lines.push_back(l);
        for (const auto& l : bdnEntry(270000, 405000, info, "line0002.png")) lines.push_back(l);
        for (const auto& l : bdnTail()) lines.push_back(l);
        EXPECT_EQ(xmlFault(joined(lines)), "");
    }
    // The checker itself rejects what an unescaped title would give.
    EXPECT_NE(xmlFault("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a t=\"Tom & Jerry\"/>\r\n"), "");
    EXPECT_NE(xmlFault("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a t=\"say \"hi\"\"/>\r\n"), "");
    EXPECT_NE(xmlFault("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a t=\"Am\xE9lie\"/>\r\n"), "");
    EXPECT_NE(xmlFault("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a><b></a></b>\r\n"), "");
}

TEST(Scripts, FilesReplaceOlderOnesAndEndEveryLineWithCrLf) {
    const std::string folder = std::filesystem::temp_directory_path().string() + "/vantrel-scripts-" +
                               std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "/";
    std::filesystem::create_directories(folder);
    writeWholeFile(folder + kScenaristFile, "old content that is longer than the new one", 44);
    ScriptInfo info;
    info.title = "t";
    AuthoringScripts scripts(folder, info);
    scripts.add(1, 90000, 180000, "line0001.png");
    scripts.close();
    const auto scn = readWholeFile(folder + kScenaristFile);
    const std::string text(scn.begin(), scn.end());
    EXPECT_TRUE(text.starts_with("St_Format 4\r\n"));   // no byte-order mark
    EXPECT_TRUE(text.ends_with("1 00:00:01:00 00:00:02:00 line0001.png\r\n"));   // 23.976: frames 23.98 and 47.95
    EXPECT_EQ(text.find("old content"), std::string::npos);
    size_t lf = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') {
            ++lf;
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << i;
        }
    EXPECT_EQ(lf, 7u);
    std::filesystem::remove_all(folder);
}
