#include "marrowgate/ConversionRun.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

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

    // A second run into the same root finds every message there already;
    // converting again on purpose appends.
    const RunResult again = RunConversion(rows, dir / "Out/");
    EXPECT_EQ(again.alreadyConverted, 4);
    EXPECT_EQ(again.messagesConverted, 0);
    EXPECT_EQ(ReadFile(Out("Store/Sent/Sent.mbox")).size(), 73u);
    RunOptions convertAgain;
    convertAgain.convertAgain = true;
    const RunResult forced = RunConversion(rows, dir / "Out/", {}, convertAgain);
    EXPECT_EQ(forced.mailboxesAppended, 2);
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
    EXPECT_NE(result.failures[0].Describe().find("Cannot create folder " + Out("M") +
                                                 ": Not a directory"),
              std::string::npos)
        << result.failures[0].Describe();
}

} // namespace
} // namespace marrowgate::test
