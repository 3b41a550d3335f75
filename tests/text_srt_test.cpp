// The SRT writer.
#include <sstream>

#include <gtest/gtest.h>

#include "core/context.h"
#include "platform/files.h"
#include "render/composer.h"
#include "text/atlas.h"
#include "support/stream_builder.h"
#include "text/srt_reader.h"
#include "text/srt_writer.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;

namespace {
TSUP sub(int num, uint32_t start, uint32_t end, const std::string& text) {
    TSUP s;
    s.num = num;
    s.startPTS = start;
    s.endPTS = end;
    s.startTime = ticksToSrtTime(start);
    s.endTime = end ? ticksToSrtTime(end) : "";
    s.text = text;
    return s;
}
}  // namespace

TEST(SrtWriter, WritesCuesWithEffectiveEnds) {
    vantrel::testing::TestSession session;
    auto& [host, msg, prog, opt, ctx] = session;
    prog.Subs = {sub(1, 0, 90, "One|Two"), sub(2, 90000, 0, ""), sub(3, 180000, 0, "caf\xE9")};
    prog.srtDirty = true;
    SUP2Srt(ctx);
    const std::vector<std::string> expected = {
        "1", "00:00:00,000 --> 00:00:00,001", "One", "Two", "",
        // No end: the next start; the last one gets two seconds.
        "2", "00:00:01,000 --> 00:00:02,000", "", "",
        "3", "00:00:02,000 --> 00:00:04,000", "caf\xE9", "",
    };
    EXPECT_EQ(prog.mSRT, expected);
    EXPECT_FALSE(prog.srtDirty);
    EXPECT_NE(host.logText().find("Subtitle 2 has no end time: 00:00:02,000 used.\n"), std::string::npos);
    EXPECT_NE(host.logText().find("Subtitle 3 has no end time: 00:00:04,000 used.\n"), std::string::npos);

    const std::string path = vantrel::testing::writeTempFile("out.srt", {});
    saveSrt(ctx, path);
    const auto bytes = readWholeFile(path);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.substr(0, 44), "1\r\n00:00:00,000 --> 00:00:00,001\r\nOne\r\nTwo\r\n");
    EXPECT_NE(text.find("caf\xC3\xA9\r\n\r\n"), std::string::npos);   // UTF-8 unless told otherwise
    EXPECT_EQ(host.lines.back().text, path + " subtitle saved.");
}

TEST(SrtWriter, BytesInEitherEncoding) {
    const std::vector<std::string> lines = {"1", "00:00:00,000 --> 00:00:01,000", "é ü ß œ ’", ""};
    struct Case {
        const char* name;
        int setting;
        std::string bytes;
    };
    const std::string head = "1\r\n00:00:00,000 --> 00:00:01,000\r\n";
    const Case cases[] = {
        {"UTF-8, no byte-order mark", 0, head + "\xC3\xA9 \xC3\xBC \xC3\x9F \xC5\x93 \xE2\x80\x99\r\n\r\n"},
        {"Windows-1252", 1, head + "\xE9 \xFC \xDF \x9C \x92\r\n\r\n"},
        {"an unknown setting value writes UTF-8", 7, head + "\xC3\xA9 \xC3\xBC \xC3\x9F \xC5\x93 \xE2\x80\x99\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(srtFileText(lines, static_cast<TextEncoding>(c.setting)), c.bytes);
        vantrel::testing::TestSession session;
        auto& [host, msg, prog, opt, ctx] = session;
        opt.coSrtEncoding = c.setting;
        prog.mSRT = lines;
        const std::string path = vantrel::testing::writeTempFile("encoded.srt", {});
        saveSrt(ctx, path);
        const auto bytes = readWholeFile(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes);
        // What was written reads back as the same text.
        EXPECT_EQ(srtLines(bytes), lines);
    }
}

TEST(SrtWriter, Windows1252CountsWhatItCannotHold) {
    vantrel::testing::TestSession session;
    auto& [host, msg, prog, opt, ctx] = session;
    opt.coSrtEncoding = 1;
    prog.mSRT = {"1", "00:00:00,000 --> 00:00:01,000", "Zażółć gęślą jaźń – ó", ""};
    const std::string path = vantrel::testing::writeTempFile("polish.srt", {});
    saveSrt(ctx, path);
    const auto bytes = readWholeFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "1\r\n00:00:00,000 --> 00:00:01,000\r\nZa?\xF3?? g??l? ja?? \x96 \xF3\r\n\r\n");
    EXPECT_NE(host.logText().find("8 characters without a Windows-1252 code were written as \"?\""), std::string::npos)
        << host.logText();
    // The same text as UTF-8 keeps every character and says nothing of the kind.
    opt.coSrtEncoding = 0;
    host.lines.clear();
    saveSrt(ctx, path);
    EXPECT_EQ(srtLines(readWholeFile(path)), prog.mSRT);
    EXPECT_EQ(host.logText().find("without a Windows-1252 code"), std::string::npos);
}

namespace {

// UTF-16 with its byte-order mark.
std::string utf16(std::u16string_view text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : text) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

struct Importer : vantrel::testing::TestSession {
    int import(const std::string& content) {
        const std::string path =
            vantrel::testing::writeTempFile("subs.srt", std::vector<uint8_t>(content.begin(), content.end()));
        prog.BaseName = path;
        return importSrt(ctx, path);
    }
};

}  // namespace

TEST(SrtReader, NumbersAndTimes) {
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case numbers[] = {{"12", 12}, {"  7abc", 7}, {"-5", -5}, {"-5x", 5}, {"$1F", 31}, {"0x10", 16}, {"x", 0}, {"", 0}};
    for (const auto& c : numbers) EXPECT_EQ(leadingNumber(c.text), c.value) << c.text;
    EXPECT_EQ(txt2ptm("00:01:02,500"), 5625000u);
    EXPECT_EQ(txt2ptm("00:01:04,000"), 5760000u);
    EXPECT_EQ(txt2ptm("01:00:00"), 324000000u);   // missing milliseconds count as 0
    EXPECT_EQ(txt2ptm(""), 0u);
}

TEST(SrtReader, ImportsCuesWithRectangles) {
    Importer im;
    const int n = im.import(
        "\xEF\xBB\xBF"
        "1\r\n00:01:02,500 --> 00:01:04,000\r\nOne line\r\n\r\n\r\n"
        "2\r\n00:01:05,000 --> 00:01:06,000\r\n<i>Two</i>\r\nlines\r\n\r\n"
        "3\r\n00:01:07,000 --> 00:01:08,000\r\na\r\nb\r\nc\r\n\r\n"
        "4\r\n00:01:09,000 --> 00:01:10,000\r\na\r\nb\r\nc\r\nd\r\n\r\n"
        "5\r\n00:01:11,000 --> 00:01:12,000\r\na\r\nb\r\nc\r\nd\r\ne\r\n");
    ASSERT_EQ(n, 5);
    const auto& subs = im.prog.Subs;
    EXPECT_EQ(im.prog.SubKind, 3);
    EXPECT_EQ(subs[0].num, 1);
    EXPECT_EQ(subs[0].startPTS, 5625000u);
    EXPECT_EQ(subs[0].endPTS, 5760000u);
    EXPECT_EQ(subs[0].startTime, "00:01:02,500");
    EXPECT_EQ(subs[0].endTime, "00:01:04,000");
    EXPECT_EQ(subs[0].text, "One line");
    EXPECT_EQ(subs[1].text, "<i>Two</i>|lines");
    EXPECT_EQ(subs[0].palCount, 256);
    EXPECT_EQ(subs[0].ocrOK, 1);
    const int expectedTop[] = {1010 - 57, 1010 - 90 - 57, 1010 - 180 - 57, 1010 - 270 - 58, 1010 - 360 - 58};
    for (size_t k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(subs[k].lineCount, static_cast<int>(k) + 1);
        EXPECT_EQ(subs[k].obj[0].y1, expectedTop[k]);
        EXPECT_EQ(subs[k].obj[0].y2, 1025);
        // Centred: as much room on the left as on the right.
        const TSUPObject& o = subs[k].obj[0];
        EXPECT_GT(o.x2, o.x1);
        EXPECT_LE(std::abs((1920 - o.x2) - o.x1), 1);
    }
    // The mark is gone from the number line; the last text line without a blank after it
    // leaves the preview.
    EXPECT_EQ(im.prog.mSRT.front(), "1");
    EXPECT_EQ(im.prog.mSRT.back(), "d");
    EXPECT_TRUE(im.prog.controls.bExport);
    EXPECT_FALSE(im.prog.controls.bOCRall);
    EXPECT_FALSE(im.prog.Busy);
    EXPECT_EQ(im.host.lines.at(im.host.lines.size() - 3).text, "5 subtitles loaded.");
}

TEST(SrtReader, OddCues) {
    struct Case {
        const char* name;
        std::string content;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"number with trailing blanks", "12 \n00:00:01,000 --> 00:00:02,000\nText\n\n", {"Text"}},
        {"no blank line between cues", "1\n00:00:01,000 --> 00:00:02,000\nA\n2\n00:00:03,000 --> 00:00:04,000\nB\n\n",
         {"A|2|00:00:03,000 --> 00:00:04,000|B"}},
        {"cue number on the last line", "1\n00:00:01,000 --> 00:00:02,000\nA\n\n2", {"A"}},
        {"cue without text", "1\n00:00:01,000 --> 00:00:02,000\n\n2\n00:00:03,000 --> 00:00:04,000\nB\n", {"", "B"}},
        {"empty file", "", {}},
        {"junk only", "\xFF\xFE" "a\0b\0", {}},
        {"short file", "1\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Importer im;
        EXPECT_EQ(im.import(c.content), static_cast<int>(c.texts.size()));
        ASSERT_EQ(im.prog.Subs.size(), c.texts.size());
        for (size_t k = 0; k < c.texts.size(); ++k) EXPECT_EQ(im.prog.Subs[k].text, c.texts[k]);
        EXPECT_EQ(im.prog.controls.bExport, !c.texts.empty());
        EXPECT_EQ(im.prog.controls.bSaveBMP, !c.texts.empty());
        for (const auto& s : im.prog.Subs) EXPECT_LE(s.obj[0].y1, s.obj[0].y2);
    }
}

TEST(SrtReader, EncodingsAndWideLines) {
    Importer utf8;
    ASSERT_EQ(utf8.import("1\n00:00:01,000 --> 00:00:02,000\ncaf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD\n"), 1);
    EXPECT_EQ(utf8.prog.Subs[0].text, "café € 中");
    Importer ansi;
    ASSERT_EQ(ansi.import("1\n00:00:01,000 --> 00:00:02,000\ncaf\xE9\n"), 1);
    EXPECT_EQ(ansi.prog.Subs[0].text, "café");
    // A line wider than the picture keeps the rectangle on it.
    Importer wide;
    ASSERT_EQ(wide.import("1\n00:00:01,000 --> 00:00:02,000\n" + std::string(200, 'W') + "\n"), 1);
    EXPECT_EQ(wide.prog.Subs[0].obj[0].x1, 0);
    EXPECT_EQ(wide.prog.Subs[0].obj[0].x2, 1920);
}

TEST(SrtReader, ReadsEveryEncoding) {
    const std::string cue = "1\r\n00:00:01,000 --> 00:00:02,000\r\n";
    const std::u16string cue16 = u"1\r\n00:00:01,000 --> 00:00:02,000\r\n";
    const std::string want = "Été, Straße, œuvre ’";
    const std::string cp1252 = "\xC9t\xE9, Stra\xDF" "e, \x9Cuvre \x92";
    struct Case {
        const char* name;
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"UTF-8", cue + want + "\r\n", want},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + cue + want + "\r\n", want},
        {"UTF-16 LE", utf16(cue16 + u"\u00C9t\u00E9, Stra\u00DFe, \u0153uvre \u2019\r\n", false), want},
        {"UTF-16 BE", utf16(cue16 + u"\u00C9t\u00E9, Stra\u00DFe, \u0153uvre \u2019\r\n", true), want},
        {"Windows-1252", cue + cp1252 + "\r\n", want},
        // Beyond Windows-1252: a pair of surrogates is kept, a lone one is the replacement
        // character, an odd last byte goes.
        {"UTF-16 beyond the code page", utf16(cue16 + u"a\U0001F600b\xD800" u"c", false) + "\x01", "a😀b\uFFFDc"},
        {"UTF-8 beyond the code page", cue + "ő 中 ł Ω ж ?\n", "ő 中 ł Ω ж ?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Importer im;
        ASSERT_EQ(im.import(c.bytes), 1);
        EXPECT_EQ(im.prog.Subs[0].text, c.text);
        EXPECT_EQ(im.prog.Subs[0].endPTS, 180000u);
        EXPECT_EQ(im.host.logText().find("were read as"), std::string::npos) << im.host.logText();
    }
}

TEST(SrtReader, WrapsLinesWiderThanTheScreen) {
    std::string words;   // 150 characters of ten-letter words
    while (words.size() < 150) words += words.empty() ? "Wunderbare" : " Wunderbare";
    words.resize(150);
    const std::string word(150, 'm');
    struct Case {
        const char* name;
        std::string line;
        bool wrapped, tooWide;
        bool even = false;   // two lines about equally long, not a full line over a stub
    };
    const Case cases[] = {
        {"150 characters with spaces", words, true, false},
        {"one word of 150 characters", word, false, true},
        {"a long word among short ones", "Oui " + word + " non", true, true},
        {"italics across the wrap", "<i>" + words + "</i>", true, false},
        {"a line that fits", "Une ligne courte", false, false},
        {"two even lines",
         "Diese Zeile ist viel zu lang für den Bildschirm und muss deshalb auf zwei Zeilen verteilt werden",
         true, false, true},
    };
    constexpr int kSafeWidth = 1920 - 2 * 96;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Importer im;
        ASSERT_EQ(im.import("7\n00:00:01,000 --> 00:00:02,000\n" + c.line + "\n"), 1);
        const TSUP& s = im.prog.Subs[0];
        std::vector<std::string> pieces(1);
        for (char ch : s.text) {
            if (ch == '|') pieces.emplace_back();
            else pieces.back() += ch;
        }
        EXPECT_EQ(s.lineCount, static_cast<int>(pieces.size()));
        EXPECT_EQ(pieces.size() > 1, c.wrapped);
        // Cut at spaces only: nothing lost, nothing added.
        std::string joined;
        for (const auto& piece : pieces) joined += (joined.empty() ? "" : " ") + piece;
        EXPECT_EQ(joined, c.line);
        // Every piece that could be cut fits the safe width, italics carried from piece to piece.
        im.prog.italicOn = false;
        int narrowest = kSafeWidth, widest = 0;
        for (const auto& piece : pieces) {
            const int width = DrawLine(im.ctx, piece, 1, nullptr, false);
            if (piece.find(' ') != std::string::npos) {
                EXPECT_LE(width, kSafeWidth) << piece;
            }
            narrowest = std::min(narrowest, width);
            widest = std::max(widest, width);
        }
        // The two lines differ by one word at most.
        if (c.even) {
            EXPECT_EQ(pieces.size(), 2u);
            const int oneWord = DrawLine(im.ctx, "Wunderbare Wunderbare", 1, nullptr, false) - DrawLine(im.ctx, "Wunderbare", 1, nullptr, false);
            EXPECT_LE(widest - narrowest, oneWord) << s.text;
        }
        if (!c.tooWide) {
            EXPECT_GE(s.obj[0].x1, 96);
        }
        EXPECT_EQ(im.host.logText().find("Lines wider than the screen were wrapped in subtitles 1.") != std::string::npos,
                  c.wrapped);
        EXPECT_EQ(im.host.logText().find("A word wider than the screen stays whole in subtitles 1.") != std::string::npos,
                  c.tooWide);
        EXPECT_EQ(im.prog.srtDirty, c.wrapped);
    }
}

TEST(SrtReader, CharactersWithoutGlyphAreLoggedOnce) {
    Importer im;
    // Byte 0x81 has no character; a tab inside a line is a control character.
    ASSERT_EQ(im.import("1\n00:00:01,000 --> 00:00:02,000\nFa\xE7" "ade\n\n"
                        "2\n00:00:03,000 --> 00:00:04,000\na\x81" "b\ta\n\n"
                        "3\n00:00:05,000 --> 00:00:06,000\n\x81\x81\n"),
              3);
    const std::string log = im.host.logText();
    const std::string tab = "No glyph for the character U+0009 (first in subtitle 2); it is left out of the picture.\n";
    const std::string undefined = "No glyph for the character U+0081 (first in subtitle 2); it is left out of the picture.\n";
    EXPECT_NE(log.find(tab), std::string::npos) << log;
    EXPECT_NE(log.find(undefined), std::string::npos) << log;
    EXPECT_EQ(log.find(undefined), log.rfind(undefined));
    EXPECT_EQ(log.find("No glyph for the character U+00E7"), std::string::npos);
    // The file is no UTF-8, so it was read as Windows-1252; what has no glyph stays in the text.
    EXPECT_EQ(im.prog.Subs[0].text, "Façade");
    EXPECT_EQ(im.prog.Subs[1].text, "a\u0081b\ta");
}

// Settings files that once aborted "Open SRT": every value is read as the window reads a
// stored setting, then an SRT of one to three lines is imported and drawn.
TEST(SrtReader, ExtremeStoredSettingsImportCleanly) {
    for (const char* file : {"srt-import-huge_values.Quillon.ini", "srt-import-only_lastline_max.Quillon.ini",
                             "srt-import-only_linespc_max.Quillon.ini", "srt-import-only_spacing_min.Quillon.ini"}) {
        SCOPED_TRACE(file);
        Importer im;
        const auto ini = readWholeFile(std::string(VANTREL_SOURCE_DIR) + "/tests/data/crashers/" + file);
        std::istringstream lines(std::string(ini.begin(), ini.end()));
        for (std::string line; std::getline(lines, line);) {
            const size_t eq = line.find('=');
            if (eq != std::string::npos) setSetting(im.opt, line.substr(0, eq), line.substr(eq + 1));
        }
        fillLineY(im.prog, im.opt);
        ASSERT_EQ(im.import("1\n00:00:01,000 --> 00:00:02,000\nHello\nworld\nthree\n\n"
                            "2\n00:00:03,000 --> 00:00:04,000\nOne line\n"),
                  2);
        for (int n = 1; n <= 2; ++n) DrawSub(im.ctx, n);
        for (const TSUP& s : im.prog.Subs) {
            EXPECT_LE(s.obj[0].x1, s.obj[0].x2);
            EXPECT_LE(s.obj[0].y1, s.obj[0].y2);
            EXPECT_LT(s.obj[0].y2, 1080);
        }
    }

    // The window may hand over what its fields hold without the clamp: the arithmetic holds.
    Importer raw;
    raw.opt.ieLastLine = 2147483647;
    raw.opt.ieLineSpc = 2147483647;
    raw.opt.ieSpacing = -2147483647 - 1;
    fillLineY(raw.prog, raw.opt);
    ASSERT_EQ(raw.import("1\n00:00:01,000 --> 00:00:02,000\nHello\nworld\n"), 1);
    DrawSub(raw.ctx, 1);
}

TEST(SrtReader, EditingLocksAndRecentres) {
    Importer im;
    ASSERT_EQ(im.import("1\n00:00:01,000 --> 00:00:02,000\nShort\n"), 1);
    im.prog.CurSub = 0;
    const uint16_t before = im.prog.Subs[0].obj[0].x1;
    mSubtextChange(im.ctx, {"", "A much longer line of text"});
    // A leading empty editor line does not reach the text, nor the line count.
    EXPECT_EQ(im.prog.Subs[0].text, "A much longer line of text");
    EXPECT_EQ(im.prog.Subs[0].lineCount, 1);
    EXPECT_EQ(im.prog.Subs[0].locked, 1);
    EXPECT_TRUE(im.prog.panel.cbLock);
    EXPECT_TRUE(im.prog.srtDirty);
    mSubtextExit(im.ctx, {"", "A much longer line of text"});
    EXPECT_LT(im.prog.Subs[0].obj[0].x1, before);
    cbLockClick(im.ctx, false);
    EXPECT_EQ(im.prog.Subs[0].locked, 0);
    // Nothing happens without a current subtitle.
    im.prog.CurSub = 5;
    mSubtextChange(im.ctx, {"x"});
    cbLockClick(im.ctx, true);
    EXPECT_EQ(im.prog.Subs[0].text, "A much longer line of text");
    EXPECT_EQ(im.prog.Subs[0].locked, 0);
}
