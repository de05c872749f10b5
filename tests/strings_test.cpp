// Card texts in the listings of every family (products made by
// tools/fixtures/strings.py): FITS string values with a doubled quote, with
// " /" inside and a comment behind, without their closing quote; a HISTORY
// card holding " /"; an ENDDATE card before the cards that follow it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

std::size_t count(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

struct Expected {
    std::string line;
    std::size_t times;
};

// Lines every verbose listing of these products holds once.
std::vector<Expected> common_lines()
{
    const std::string history = "HISTORY reduced with OLP 7.2 / calibration G";
    return {
        // Banner: '' is one quote; the target keeps its " /".
        {"Observer O'BRIEN   , Proposal PHT_TEST  , Equinox 2000.0 \n", 1},
        {" NGC 1068 / M77 21h07m01.68s ", 1},
        // The comment behind the closing quote is the comment.
        {" Target name" + std::string(35, ' ') + ": 'NGC 1068 / M77' (OBJECT  )\n", 1},
        // A string without its closing quote runs to the end of the card.
        {": 'corrected / see log" + std::string(50, ' ') + " (REMARK  )\n", 1},
        // HISTORY cards are written whole, like COMMENT cards.
        {history + std::string(80 - history.size(), ' ') + "\n", 1},
        // ENDDATE is an ordinary card.
        {" End date" + std::string(38, ' ') + ": '1996-05-03' (ENDDATE )\n", 1},
    };
}

struct Case {
    const char *product;
    std::vector<Expected> after_enddate;  // cards behind ENDDATE still count
};

}  // namespace

TEST(CardStrings, VerboseListingsOfEveryFamily)
{
    const Case cases[] = {
        {"pcap_strings.fits",
         {{"Filter No. 2                                   : 'C200_200'           (FILTER2 )\n", 2},
          {"(PCAPNBCK)", 2}}},
        {"ppap_strings.fits",
         {{" Filter of configuration 2                     : 'P_11_5  '           (FILTER2 )\n", 2},
          {"(PPAPNBCK)", 2}}},
        {"pla_strings.fits",
         {{"Staring              (FPCMODE )\n", 1}, {"\nMeasurement No. 1\n", 1}}},
    };
    for (const Case &c : cases) {
        ScratchDir dir;
        RunResult r = run_qrpht({"-v", "-o", dir / "out.lst", c.product}, fixture("strings"));
        EXPECT_EQ(r.status, 0) << c.product;
        EXPECT_EQ(r.err, "") << c.product;
        const std::string listing = read_file(dir / "out.lst");
        std::vector<Expected> lines = common_lines();
        lines.insert(lines.end(), c.after_enddate.begin(), c.after_enddate.end());
        for (const Expected &e : lines) EXPECT_EQ(count(listing, e.line), e.times) << c.product << ": " << e.line;
    }
}

TEST(CardStrings, ImageCardCopy)
{
    // The measurement image copies the product's cards except those that
    // describe the product's own table or primary array; keywords that only
    // begin like them (ENDDATE, BLANKS, TDIMX) are copied.
    ScratchDir dir;
    RunResult r = run_qrpht({"-o", dir / "out.lst", "-i", dir / "m", "pla_strings.fits"}, fixture("strings"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string image = read_file(dir / "mA.FITS");
    std::vector<std::string> keywords;
    for (std::size_t pos = 0; pos + 80 <= image.size(); pos += 80) {
        keywords.push_back(image.substr(pos, 8));
        if (keywords.back() == "END     ") break;
    }
    auto times = [&keywords](const char *key) { return std::count(keywords.begin(), keywords.end(), key); };
    for (const char *kept : {"ENDDATE ", "BLANKS  ", "TDIMX   ", "HISTORY ", "OBSERVER", "REMARK  "})
        EXPECT_EQ(times(kept), 1) << kept;
    for (const char *gone : {"BSCALE  ", "BZERO   ", "BLANK   ", "TDIM3   ", "TNULL1  ", "TDISP3  ",
                             "TCTYP3  ", "TTYPE3  ", "TFORM3  ", "TUNIT3  ", "XTENSION", "PCOUNT  "})
        EXPECT_EQ(times(gone), 0) << gone;
    EXPECT_EQ(times("END     "), 1);
    EXPECT_EQ(keywords.front(), "SIMPLE  ");
}
