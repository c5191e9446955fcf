#include "marrowgate/OutputVerifier.h"
#include "marrowgate/ConversionRun.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace marrowgate::test {
namespace {

// The check of a window's rows tells how far it has come after each message,
// of all it has to check: a file listed twice is checked once.
TEST(OutputVerifierTest, TheCheckOfRowsTellsItsProgress) {
    TempDir dir;
    std::vector<std::string> paths;
    for (const char* name : {"a", "b", "c"}) {
        paths.push_back(dir / ("Store/Inbox/" + std::string(name) + ".eml"));
        WriteFile(paths.back(), "From: " + std::string(name) + "@x.org\r\n\r\nbody\r\n",
                  ExampleTime());
    }
    paths.push_back(paths.front());
    const VectorRows rows(paths);
    RunOptions options;
    options.stores = {dir / "Store"};
    ASSERT_TRUE(RunConversion(rows, dir / "Out/", {}, options).Succeeded());

    std::vector<std::pair<int, int>> told;
    const VerifyReport report =
        VerifyRows(rows, options.stores, dir / "Out/", options.target, {}, {},
                   [&](int checked, int count) { told.emplace_back(checked, count); });
    EXPECT_TRUE(report.Passed());
    EXPECT_EQ(told, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
}

} // namespace
} // namespace marrowgate::test
