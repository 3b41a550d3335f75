// Replacement tables, repl, and the conversion between subtitle texts and editor lines.
#include <gtest/gtest.h>

#include "ocr/correction.h"
#include "support/recording_host.h"
#include "support/session.h"

using namespace vantrel;

namespace {

struct AnswerHost : RecordingHost {
    bool answer = true;
    int asked = 0;
    std::string question;
    bool confirm(std::string_view q) override {
        ++asked;
        question = std::string(q);
        return answer;
    }
};

}  // namespace

TEST(Repl, ReplacesRepeatedlyAndTrimsOneSpaceAtEachEnd) {
    struct Case {
        const char* name;
        const char* from;
        const char* to;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"leading-space pattern matches at the start", " l ", " I ", "l am", "I am"},
        {"trailing-space pattern matches at the end", "lt ", "It ", "so lt", "so It"},
        {"overlapping one-letter words are all replaced", " l ", " I ", "l l l", "I I I"},
        {"search restarts from the start", ". .", "..", ". . .", "..."},
        {"existing spaces at both ends are removed", "x", "y", " ax ", "ay"},
        {"only one space is removed at each end", "x", "y", "  x  ", " y "},
        {"empty text stays empty", " l ", " I ", "", ""},
        {"no occurrence leaves inner text alone", "lnter", "Inter", "winter", "winter"},
        {"replacement that contains the pattern ends", "a", "aa", "banana", "baanaanaa"},
        {"replacement may shorten repeatedly", "ab", "b", "aaab", "b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.text;
        repl(c.from, c.to, text);
        EXPECT_EQ(text, c.expected);
    }
}

TEST(Repl, EmptyPatternDoesNothing) {
    std::string text = " keep ";
    repl("", "x", text);
    EXPECT_EQ(text, " keep ");
}

TEST(ReplTables, SlotsHoldThePairsInOrder) {
    const auto& t = replTables();
    struct Case {
        int table;
        int slot;
        const char* from;
        const char* to;
    };
    const Case cases[] = {
        {0, 1, "''", "\""},         {0, 2, ". .", ".."},
        {1, 2, " l ", " I "},       {1, 8, " lf ", " If "},      {1, 13, "|l'm", "|I'm"},
        {1, 22, "-l ", "-I "},      {1, 36, "<i>ls ", "<i>Is "}, {1, 44, ".l'd", ".I'd"},
        {1, 72, "\"l ", "\"I "},    {1, 78, "\"lf ", "\"If "},   {1, 50, "l'll ", "I'll "},
        {1, 55, "the\xC2\xB7ise", "therwise"}, {1, 68, "lnspect", "Inspect"},
        {1, 1, "", ""},             {1, 9, "", ""},              {1, 49, "", ""},   {1, 69, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.table) + "/" + std::to_string(c.slot));
        const ReplPair& p = t[static_cast<size_t>(c.table)][static_cast<size_t>(c.slot - 1)];
        EXPECT_EQ(p.from, c.from);
        EXPECT_EQ(p.to, c.to);
    }
    auto used = [](const ReplTable& table) {
        int n = 0;
        for (const auto& p : table) n += p.from.empty() ? 0 : 1;
        return n;
    };
    EXPECT_EQ(used(t[0]), 2);
    EXPECT_EQ(used(t[1]), 6 * 7 + 19);
    EXPECT_EQ(used(t[2]), 0);
    EXPECT_EQ(used(t[3]), 0);
}

TEST(ApplyReplacements, GeneralTableAlwaysLanguageTableByChoice) {
    struct Case {
        const char* text;
        int coLang;
        const char* expected;
    };
    const Case cases[] = {
        {"''Hi''", 0, "\"Hi\""},
        {"l'm here", 0, "l'm here"},
        {"l'm here", 1, "I'm here"},
        {"lnteresting lnternet", 1, "Interesting Internet"},
        {"Wait.|l'd go", 1, "Wait.|I'd go"},
        {"<i>lt is", 1, "<i>It is"},
        {"\"lf so", 1, "\"If so"},
        {"-l know", 1, "-I know"},
        {"Yes.l'd", 1, "Yes.I'd"},
        {"the\xC2\xB7ise", 1, "therwise"},
        {"so l l go", 1, "so I I go"},
        {"l", 1, "I"},
        {"''l'm'' . .", 1, "\"I'm\" .."},
        {"l'm", 2, "l'm"},
        {"", 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        applyReplacements(text, c.coLang);
        EXPECT_EQ(text, c.expected);
    }
}

TEST(CoLangChange, AppliesOnlyTheLanguageTableAfterYes) {
    vantrel::testing::BasicTestSession<AnswerHost> session;
    auto& [host, msg, prog, opt, ctx] = session;
    prog.Subs.resize(3);
    prog.Subs[0].text = "l'm ''here''";
    prog.Subs[1].text = "";
    prog.Subs[2].text = "lt works";
    prog.Subs[2].locked = 1;

    host.answer = false;
    EXPECT_FALSE(coLangChange(ctx, 1));
    EXPECT_EQ(host.question, "Do you want to apply the dictionary now?");
    EXPECT_EQ(prog.Subs[0].text, "l'm ''here''");

    EXPECT_FALSE(coLangChange(ctx, 0));
    EXPECT_EQ(host.asked, 1);

    host.answer = true;
    EXPECT_TRUE(coLangChange(ctx, 1));
    EXPECT_EQ(prog.Subs[0].text, "I'm ''here''");   // the general table is not applied here
    EXPECT_EQ(prog.Subs[1].text, "");
    EXPECT_EQ(prog.Subs[2].text, "It works");        // locked texts change too

    prog.Subs.clear();
    EXPECT_FALSE(coLangChange(ctx, 1));
    EXPECT_EQ(host.asked, 2);
}

TEST(EditorLines, SplitAndJoin) {
    struct SplitCase {
        const char* text;
        std::vector<std::string> lines;
    };
    const SplitCase splits[] = {
        {"", {""}},
        {"one", {"one"}},
        {"one|two", {"one", "two"}},
        {"one|two|", {"one", "two", ""}},
        {"|x||y", {"", "x", "", "y"}},
    };
    for (const auto& c : splits) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TxtToLines(c.text), c.lines);
    }
    struct JoinCase {
        std::vector<std::string> lines;
        const char* text;
    };
    const JoinCase joins[] = {
        {{}, ""},
        {{"one", "two"}, "one|two"},
        {{"", "first", "", "second"}, "first||second"},
        {{"", ""}, ""},
        {{"a", ""}, "a|"},
    };
    for (const auto& c : joins) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(LinesToTxt(c.lines), c.text);
    }
}
