// Card splitting and string-value cleaning.
#include <gtest/gtest.h>

#include <string>

#include "parse.h"

namespace {

struct Split {
    std::string keyword, value, comment;
};

Split split(const std::string &text)
{
    std::string card = text;
    card.resize(80, ' ');
    char keyword[9], value[71], comment[71];
    parse(card.c_str(), keyword, value, comment);
    return {keyword, value, comment};
}

std::string cleaned(std::string text)
{
    text.push_back('\0');
    clean(text.data());
    return text.c_str();
}

}  // namespace

TEST(Parse, NumericCardWithComment)
{
    Split s = split("NAXIS2  =                   12 / number of rows");
    EXPECT_EQ(s.keyword, "NAXIS2  ");
    EXPECT_EQ(s.value, std::string(18, ' ') + "12");
    EXPECT_EQ(s.comment, " number of rows" + std::string(33, ' '));
    EXPECT_EQ(s.comment.size(), 48u);
}

TEST(Parse, EndCommentaryAndCommentlessCards)
{
    Split end = split("END");
    EXPECT_EQ(end.keyword, "END     ");
    EXPECT_EQ(end.value, std::string(70, ' '));
    EXPECT_EQ(end.comment, "");

    Split comment = split("COMMENT   the pointing was corrected / twice");
    EXPECT_EQ(comment.keyword, "COMMENT ");
    EXPECT_EQ(comment.value, "the pointing was corrected");
    EXPECT_EQ(comment.comment, " twice" + std::string(36, ' '));

    Split history = split("HISTORY   reprocessed");
    EXPECT_EQ(history.keyword, "HISTORY ");
    EXPECT_EQ(history.value, "reprocessed" + std::string(59, ' '));
    EXPECT_EQ(history.comment, "");
}

TEST(Parse, StringValuesFollowFitsRules)
{
    // The " /" of the comment is looked for only behind the closing quote
    // of a string value; '' stands for one quote; a string without its
    // closing quote runs to the end of the card. Commentary cards and
    // cards without "= " are split as plain text.
    struct Case {
        const char *card;
        std::string value, comment, cleaned;
    };
    const Case cases[] = {
        {"OBSERVER= 'O''BRIEN '         / Proposal observer", "'O''BRIEN '        ",
         " Proposal observer" + std::string(31, ' '), "(O'BRIEN )"},
        {"OBJECT  = 'NGC 1068 / M77'     / Target name", "'NGC 1068 / M77'    ",
         " Target name" + std::string(36, ' '), "(NGC 1068 / M77)"},
        {"OBJECT  = 'a'/ tight", "'a'/ tight" + std::string(60, ' '), "", "(a)"},
        {"OBJECT  =   'x / y' / late", "  'x / y'", " late" + std::string(54, ' '), "  (x / y)"},
        {"ORIGIN  = 'open / to the end", "'open / to the end" + std::string(52, ' '), "",
         "(open / to the end" + std::string(52, ' ')},
        {"HISTORY   'quoted / text'", "'quoted", " text'" + std::string(55, ' '), "(quoted"},
        {"NOVALUE   'x / y'", "'x", " y'" + std::string(63, ' '), "(x"},
        // Not a string: the search starts at the value, as for numbers. A
        // blank in column 11 followed by "/" is not the separator: the test
        // looks only behind a character already copied.
        {"KEY     =  / comment", " / comment" + std::string(60, ' '), "",
         " / comment" + std::string(60, ' ')},
    };
    for (const Case &c : cases) {
        Split s = split(c.card);
        EXPECT_EQ(s.value, c.value) << c.card;
        EXPECT_EQ(s.comment, c.comment) << c.card;
        EXPECT_EQ(cleaned(s.value), c.cleaned) << c.card;
    }
}

TEST(Parse, ShortTextsStayInside)
{
    char keyword[9], value[71], comment[71];
    parse("DATE", keyword, value, comment);
    EXPECT_STREQ(keyword, "DATE");
    EXPECT_STREQ(value, "");
    EXPECT_STREQ(comment, "");
    parse("", keyword, value, comment);
    EXPECT_STREQ(keyword, "");
}

TEST(Clean, QuotedValues)
{
    EXPECT_EQ(cleaned("'1996-10-31'         "), "(1996-10-31)");
    EXPECT_EQ(cleaned("'PHT22   '"), "(PHT22   )");
    EXPECT_EQ(cleaned("                  12"), "                  12");
    EXPECT_EQ(cleaned("'open only"), "(open only");
    EXPECT_EQ(cleaned(""), "");
    EXPECT_EQ(cleaned("''"), "()");
    EXPECT_EQ(cleaned("''''   "), "(')");
    EXPECT_EQ(cleaned("'it''s' trailing"), "(it's)");
    EXPECT_EQ(cleaned("'open ''"), "(open '");
}
