// Pieces shared by the product listings: line formatting, card matching and
// splitting, numbered keyword texts, counts from cards, the record limit.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "listing.h"

TEST(ListingFormat, LinesAreNeverCut)
{
    const std::string long_value(700, 'x');
    std::string line = text_format("%.47s: %s (%s)\n", std::string(60, 'c').c_str(),
                                 long_value.c_str(), "KEY     ");
    EXPECT_EQ(line, std::string(47, 'c') + ": " + long_value + " (KEY     )\n");
    EXPECT_EQ(text_format("%8.4f|%g", 123.456, 100000.0), "123.4560|100000");
    EXPECT_EQ(text_format("%s", ""), "");
}

TEST(ListingCards, MatchSplitAndStandardLine)
{
    std::string card = "NAXIS2  =                   12 / number of rows";
    card.resize(80, ' ');
    EXPECT_TRUE(card_is(card, "NAXIS2"));
    EXPECT_TRUE(card_is(card, "NAXIS2  "));
    EXPECT_FALSE(card_is(card, "NAXIS1"));
    EXPECT_FALSE(card_is("NAX", "NAXIS2"));
    CardParts p = split_card(card);
    EXPECT_EQ(p.keyword, "NAXIS2  ");
    EXPECT_EQ(value_int(p.value), 12);
    EXPECT_EQ(card_line(card),
              " number of rows" + std::string(32, ' ') + ": " + std::string(18, ' ') +
                  "12 (NAXIS2  )\n");
}

TEST(ListingCards, CountsConvertLikeAtoiButClamp)
{
    EXPECT_EQ(value_int("                  12"), 12);
    EXPECT_EQ(value_int("   -7 rows"), -7);
    EXPECT_EQ(value_int("'abc'"), 0);
    EXPECT_EQ(value_int("         99999999999"), INT_MAX);
    EXPECT_EQ(value_int("        -99999999999"), INT_MIN);
    EXPECT_EQ(value_count("   -7"), 0);
    EXPECT_EQ(value_count("                  12"), 12);
    EXPECT_DOUBLE_EQ(value_double("   83.8221 "), 83.8221);
    EXPECT_DOUBLE_EQ(value_double(" 1.5D+03"), 1.5);
    EXPECT_DOUBLE_EQ(value_double("'x'"), 0.0);
}

TEST(ListingCards, NumberedKeywordTexts)
{
    EXPECT_EQ(numbered_key("FILTER", 3), "FILTER3 ");
    EXPECT_EQ(numbered_key("FILTER", 12), "FILTER12");
    EXPECT_EQ(numbered_key("FLUXUNC", 10), "FLUXUNC10");

    auto card = [](const char *key) {
        std::string c = key;
        c.resize(80, ' ');
        return c;
    };
    // Filter 1 does not pick up the cards of filter 10.
    EXPECT_TRUE(numbered_key_matches(card("FLUX1   = 2.0"), numbered_key("FLUX", 1), 6));
    EXPECT_FALSE(numbered_key_matches(card("FLUX10  = 2.0"), numbered_key("FLUX", 1), 6));
    EXPECT_FALSE(numbered_key_matches(card("FLUXUNC1= 2.0"), numbered_key("FLUX", 1), 6));
    EXPECT_TRUE(numbered_key_matches(card("FLUXUNC1= 2.0"), numbered_key("FLUXUNC", 1), 8));
    EXPECT_TRUE(numbered_key_matches(card("FILTER12= 'C100'"), numbered_key("FILTER", 12), 8));
    // Texts longer than the compared length match nothing, instead of the
    // card of another filter.
    EXPECT_FALSE(numbered_key_matches(card("FLUXUNC1= 2.0"), numbered_key("FLUXUNC", 10), 8));
    EXPECT_FALSE(numbered_key_matches(card("FILTER10= 'C100'"), numbered_key("FILTER", 100), 8));
    EXPECT_FALSE(numbered_key_matches(card("APER10  = 3"), numbered_key("APER", 100), 6));
}

TEST(ListingRecords, LimitOfFiveHundred)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(limit_records(0), 0);
    EXPECT_EQ(limit_records(-4), 0);
    EXPECT_EQ(limit_records(500), 500);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStderr();
    EXPECT_EQ(limit_records(501), 500);
    EXPECT_EQ(limit_records(3LL * INT_MAX), 500);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Too many rows (501); only the first 500 are listed.\n"
              "Too many rows (6442450941); only the first 500 are listed.\n");
}
