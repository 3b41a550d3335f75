// The SRT writer.
#include <gtest/gtest.h>

#include "core/context.h"
#include "platform/files.h"
#include "support/stream_builder.h"
#include "text/srt_writer.h"

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
    RecordingHost host;
    MessageLog msg(host);
    Program prog;
    Options opt;
    Context ctx{prog, opt, msg};
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
    EXPECT_NE(text.find("caf\xE9\r\n\r\n"), std::string::npos);   // single-byte, no conversion
    EXPECT_EQ(host.lines.back().text, path + " subtitle saved.");
}
