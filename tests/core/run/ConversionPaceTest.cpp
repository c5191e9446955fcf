#include "marrowgate/ConversionPace.h"
#include "marrowgate/RowSizes.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace marrowgate {
namespace {

using std::chrono::seconds;

TEST(ConversionPaceTest, TellsTheShareTheSpeedAndTheTimeLeft) {
    const ConversionPace::Clock::time_point start{};
    ConversionPace pace(start);
    EXPECT_LT(pace.SecondsLeft(), 0) << "nothing to tell before any time passed";

    // 40 of 100 messages in 20 s, 10 MB converted: by messages 30 s are left.
    pace.Update({40, 100, 10'000'000, 0, 0}, start + seconds(20));
    EXPECT_EQ(pace.Percent(), 40);
    EXPECT_DOUBLE_EQ(pace.ElapsedSeconds(), 20);
    EXPECT_DOUBLE_EQ(pace.MessagesPerSecond(), 2);
    EXPECT_DOUBLE_EQ(pace.MegabytesPerSecond(), 0.5);
    EXPECT_DOUBLE_EQ(pace.SecondsLeft(), 30);

    // With the sizes known, by the bytes still to convert: the 40 messages
    // passed hold 30 MB, 20 of them already converted before (no time), so
    // 10 MB took 20 s and the 60 MB left take 120 s.
    pace.Update({40, 100, 10'000'000, 30'000'000, 90'000'000}, start + seconds(20));
    EXPECT_DOUBLE_EQ(pace.SecondsLeft(), 120);

    // Only messages converted before so far: no speed to tell yet.
    pace.Update({50, 100, 0, 30'000'000, 90'000'000}, start + seconds(5));
    EXPECT_LT(pace.SecondsLeft(), 0);

    pace.Update({100, 100, 10'000'000, 90'000'000, 90'000'000}, start + seconds(60));
    EXPECT_EQ(pace.Percent(), 100);
    EXPECT_EQ(pace.SecondsLeft(), 0);
    pace.Update({0, 0, 0, 0, 0}, start + seconds(1));
    EXPECT_EQ(pace.Percent(), 0) << "an empty list";
}

TEST(ConversionPaceTest, DurationsReadAsOnAClock) {
    EXPECT_EQ(ConversionPace::Duration(-3), "0:00");
    EXPECT_EQ(ConversionPace::Duration(0.4), "0:00");
    EXPECT_EQ(ConversionPace::Duration(59.6), "1:00");
    EXPECT_EQ(ConversionPace::Duration(599), "9:59");
    EXPECT_EQ(ConversionPace::Duration(3599.4), "59:59");
    EXPECT_EQ(ConversionPace::Duration(3600), "1:00:00");
    EXPECT_EQ(ConversionPace::Duration(100 * 3600 + 61), "100:01:01");
}

// Each entry adds the row's file; an empty row, a missing file and a folder
// add nothing.
TEST(RowSizesTest, AddsUpTheFilesRowByRow) {
    test::TempDir temp;
    test::WriteFile(temp / "a.eml", "abc");
    test::WriteFile(temp / "b.eml", "hello");
    test::WriteFile(temp / "Folder.eml/x", "x");
    int yields = 0;
    const std::vector<std::uint64_t> sums = RowSizesAddedUp(
        VectorRows({temp / "a.eml", "", temp / "missing.eml", temp / "b.eml", temp / "Folder.eml"}),
        [&] { ++yields; });
    EXPECT_EQ(sums, (std::vector<std::uint64_t>{0, 3, 3, 3, 8, 8}));
    EXPECT_EQ(yields, 5);
    EXPECT_EQ(RowSizesAddedUp(VectorRows({})), std::vector<std::uint64_t>{0});
}

} // namespace
} // namespace marrowgate
