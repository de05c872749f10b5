// Regression cases of faults that fuzzing found, each reduced to the call
// that showed it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "listing.h"

namespace {

// strprintf must write exactly what the C library writes. A '0' flag was
// once read as part of the width, padding with blanks instead of zeros.
TEST(FuzzRegression, ZeroPaddingFlag)
{
    EXPECT_EQ(strprintf("( =%e %064fz", -117.0149, 0.0),
              "( =-1.170149e+02 " + std::string(57, '0') + ".000000z");
    EXPECT_EQ(strprintf("%05d|%08.3f|%010.2e", 42, -3.14159, 12345.678),
              "00042|-003.142|001.23e+04");
}

}  // namespace
