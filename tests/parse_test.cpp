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

TEST(Parse, SlashSearchIgnoresQuotesAndNeedsACopiedCharacter)
{
    // A string holding " /" is cut there; clean then sees only one quote.
    Split s = split("OBJECT  = 'NGC 1 /2'         / target");
    EXPECT_EQ(s.value, "'NGC 1");
    EXPECT_EQ(s.comment.substr(0, 3), "2' ");
    EXPECT_EQ(cleaned(s.value), "(NGC 1");

    // A blank in column 11 followed by "/" is not the separator: the test
    // looks only behind a character already copied.
    Split odd = split("KEY     =  / comment");
    EXPECT_EQ(odd.value, " / comment" + std::string(60, ' '));
    EXPECT_EQ(odd.comment, "");
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
}
