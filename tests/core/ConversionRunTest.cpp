#include "convert/ConversionRun.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

namespace marrowgate::test {
namespace {

class ConversionRunTest : public ::testing::Test {
protected:
    std::string Message(const std::string& relative, const std::string& body) {
        const std::string path = dir / ("C/" + relative);
        WriteFile(path, "From: " + body + "@x.org\r\n\r\n" + body, ExampleTime());
        return path;
    }

    std::string Out(const std::string& relative) const {
        return dir / ("Out" + (dir / ("C/" + relative)));
    }

    TempDir dir;
};

TEST_F(ConversionRunTest, MirrorsFoldersAndKeepsListOrder) {
    const VectorRows rows({Message("Store/Inbox/1.eml", "one"), Message("Store/Inbox/2.eml", "two"),
                           Message("Store/Sent/3.eml", "three"),
                           Message("Store/Inbox/4.eml", "four")});
    std::vector<std::pair<int, int>> progress;
    std::vector<int> started;
    int yields = 0;
    RunHooks hooks;
    hooks.progress = [&](int done, int count) { progress.emplace_back(done, count); };
    hooks.rowStarting = [&](int row) { started.push_back(row); };
    hooks.yield = [&] { ++yields; };

    const RunResult result = RunConversion(rows, dir / "Out", hooks);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.messagesConverted, 4);
    EXPECT_EQ(result.mailboxesCreated, 2);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
    EXPECT_EQ(started, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(yields, 1 + 4 * (2 + 7));

    const std::string inbox = ReadFile(Out("Store/Inbox/Inbox.mbox"));
    const auto one = inbox.find("\r\none\r\n"), two = inbox.find("\r\ntwo\r\n"),
               four = inbox.find("\r\nfour\r\n");
    EXPECT_TRUE(one < two && two < four && four != std::string::npos) << inbox;
    EXPECT_EQ(
        ReadFile(Out("Store/Sent/Sent.mbox")),
        "From three@x.org Mon Jul 05 14:03:09 2010\r\nFrom: three@x.org\r\n\r\nthree\r\n\r\n");

    // A second run into the same root appends.
    const RunResult again = RunConversion(rows, dir / "Out/");
    EXPECT_EQ(again.mailboxesAppended, 2);
    EXPECT_EQ(ReadFile(Out("Store/Sent/Sent.mbox")).size(), 2 * 73u);
}

TEST_F(ConversionRunTest, EmptyRowsAreSkipped) {
    RunHooks hooks;
    int progressCalls = 0;
    hooks.progress = [&](int, int) { ++progressCalls; };
    const RunResult empty = RunConversion(VectorRows({""}), dir / "Out", hooks);
    EXPECT_TRUE(empty.nothingToConvert);
    EXPECT_FALSE(empty.Succeeded());
    EXPECT_FALSE(std::filesystem::exists(dir / "Out"));

    const RunResult some =
        RunConversion(VectorRows({"", Message("M/a.eml", "a"), ""}), dir / "Out", hooks);
    EXPECT_TRUE(some.Succeeded());
    EXPECT_EQ(some.messagesConverted, 1);
    EXPECT_EQ(some.emptyRowsSkipped, 2);
    EXPECT_EQ(progressCalls, 4);
}

TEST_F(ConversionRunTest, AFailedRowStopsTheRunUnlessKeepGoing) {
    const VectorRows rows(
        {Message("M/a.eml", "a"), dir / "C/M/missing.eml", Message("M/b.eml", "b")});
    const RunResult stopped = RunConversion(rows, dir / "Out");
    EXPECT_EQ(stopped.messagesConverted, 1);
    ASSERT_EQ(stopped.failures.size(), 1u);
    const std::string described = stopped.failures[0].Describe();
    EXPECT_NE(described.find(dir / "C/M/missing.eml"), std::string::npos) << described;
    EXPECT_NE(described.find(Out("M/M.mbox")), std::string::npos) << described;
    EXPECT_NE(described.find("No such file"), std::string::npos) << described;
    EXPECT_EQ(ReadFile(Out("M/M.mbox")).find("\r\nb\r\n"), std::string::npos);

    RunOptions keepGoing;
    keepGoing.keepGoing = true;
    const RunResult all = RunConversion(rows, dir / "Out2", {}, keepGoing);
    EXPECT_EQ(all.messagesConverted, 2);
    EXPECT_EQ(all.failures.size(), 1u);
}

TEST_F(ConversionRunTest, AFolderThatCannotBeMadeFailsClearly) {
    WriteFile(Out("M"), "a file where a folder should be");
    const RunResult result = RunConversion(VectorRows({Message("M/a.eml", "a")}), dir / "Out");
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_NE(result.failures[0].Describe().find("mailbox"), std::string::npos);
}

// Rows a test can change between two rows of a run, as the window's list can.
class ChangingRows : public MessageRows {
public:
    int RowCount() const override { return static_cast<int>(rows.size()); }
    std::string RowText(int row) const override { return rows.at(static_cast<std::size_t>(row)); }
    std::vector<std::string> rows;
};

// Reading ahead on a second thread must leave the mailboxes and the result
// exactly as reading each file in turn does: big files it leaves alone,
// unreadable ones, empty rows, and a list that changes under it.
TEST_F(ConversionRunTest, ReadingAheadChangesNothing) {
    std::vector<std::string> paths;
    for (int i = 0; i < 150; ++i) {
        const std::string n = std::to_string(i);
        paths.push_back(Message("R/" + std::to_string(i % 3) + "/" + n + ".eml", "From" + n));
    }
    WriteFile(dir / "C/R/0/big.eml", "A: b\r\n\r\n" + std::string(3 << 20, 'y') + "\n");
    paths.insert(paths.begin() + 10, dir / "C/R/0/big.eml");
    paths.insert(paths.begin() + 20, dir / "C/R/1/missing.eml");
    std::filesystem::create_directories(dir / "C/R/2/folder.eml");
    paths.insert(paths.begin() + 30, dir / "C/R/2/folder.eml");
    paths.insert(paths.begin() + 40, "");

    ChangingRows rows;
    const auto run = [&](const std::string& out, bool readAhead) {
        rows.rows = paths;
        int yields = 0;
        RunHooks hooks;
        // Half-way through, the list is cut short and refilled with other files.
        hooks.rowStarting = [&](int row) {
            if (row == 100) {
                rows.rows.resize(100);
                rows.rows.push_back(paths[5]);
                rows.rows.push_back(paths[120]);
            }
        };
        hooks.yield = [&] { ++yields; };
        RunOptions options;
        options.keepGoing = true;
        options.readAhead = readAhead;
        const RunResult result = RunConversion(rows, dir / out, hooks, options);
        std::string failures;
        for (const RowFailure& failure : result.failures) {
            failures += std::to_string(failure.row) + " " + failure.reason + "\n";
        }
        std::string boxes;
        for (const char* box : {"R/0/0.mbox", "R/1/1.mbox", "R/2/2.mbox"}) {
            boxes += ReadFile(dir / (out + (dir / ("C/" + std::string(box))))) + "|";
        }
        return std::make_tuple(result.messagesConverted, result.emptyRowsSkipped, yields,
                               result.bytesRead, failures, boxes);
    };
    const auto inTurn = run("Out1", false);
    const auto ahead = run("Out2", true);
    // 100 rows less a missing file, a folder and an empty row, then 2 more.
    EXPECT_EQ(std::get<0>(ahead), 97 + 2);
    EXPECT_EQ(std::count(std::get<4>(ahead).begin(), std::get<4>(ahead).end(), '\n'), 2);
    EXPECT_EQ(ahead, inTurn);
}

} // namespace
} // namespace marrowgate::test
