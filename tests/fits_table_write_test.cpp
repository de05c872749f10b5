// Table library, writing side: text output units, QELT ASCII table writing
// and FITS row copying through a linked output unit.
#include <gtest/gtest.h>

#include <string>

#include "fits_table.h"
#include "fits_table_fits_builder.h"
#include "test_util.h"

using namespace fitsb;

namespace {

constexpr int kOut = 11;
constexpr int kIn = 9;

struct OutputTest : ::testing::Test {
    ScratchDir dir;
    std::string path = dir / "out.txt";
    void TearDown() override
    {
        tcls(kOut);
        tcls(kIn);
    }
};

}  // namespace

TEST_F(OutputTest, TextUnitWritesExactlyTheTextsGiven)
{
    write_file(path, "old contents that must go\n");
    topenw(kOut, path.c_str());
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(tgettyp(kOut), 0);
    tblwrit_raw(kOut, "banner\n");
    tblwrit_raw(kOut, "");
    EXPECT_EQ(itstat(), 0);
    tblwrit_raw(kOut, "x = 1");
    tcls(kOut);
    EXPECT_EQ(itstat(), 0);
    EXPECT_EQ(read_file(path), "banner\nx = 1");  // no padding, nothing added
}

TEST_F(OutputTest, SecondOpenOfAnOpenUnitIsRefused)
{
    topenw(kOut, path.c_str());
    testing::internal::CaptureStdout();
    topenw(kOut, (dir / "other.txt").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: unit 11 is already open\n");
    EXPECT_EQ(itstat(), -1);
    tblwrit_raw(kOut, "still the first");
    tcls(kOut);
    EXPECT_EQ(read_file(path), "still the first");
    EXPECT_FALSE(std::filesystem::exists(dir / "other.txt"));
}

TEST_F(OutputTest, UnwritablePathLeavesUnitClosed)
{
    topenw(kOut, (dir / "no/such/dir/out.txt").c_str());
    EXPECT_EQ(itstat(), -1);
    EXPECT_STREQ(t_error(), "No such file or directory");
    tblwrit_raw(kOut, "lost");
    EXPECT_EQ(itstat(), 1);
    EXPECT_STREQ(t_error(), "error in tblwrit_raw:  unit not open");
    tcls(kOut);
    EXPECT_STREQ(t_error(), "error in tcls:  unit not open");
}
