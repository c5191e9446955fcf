#include "record/FromLine.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

// Fixed width, English names, whatever the date.
TEST(FromLineTest, DatesHaveOneShape) {
    using namespace std::chrono;
    const auto at = [](year_month_day day, seconds time) { return sys_days{day} + time; };
    EXPECT_EQ(FormatFromLineDate(sys_seconds{}), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(FormatFromLineDate(ExampleTime()), "Mon Jul 05 14:03:09 2010");
    EXPECT_EQ(FormatFromLineDate(at(2100y / 12 / 31, 86399s)), "Fri Dec 31 23:59:59 2100");
    EXPECT_EQ(FormatFromLineDate(at(999y / 3 / 9, 3661s)), "Sat Mar 09 01:01:01 0999");
    EXPECT_EQ(FormatFromLineDate(at(1901y / 2 / 3, 0s)), "Sun Feb 03 00:00:00 1901");
    EXPECT_EQ(FormatFromLine("anna", ExampleTime()), "From anna Mon Jul 05 14:03:09 2010");
}

} // namespace
} // namespace marrowgate::test
