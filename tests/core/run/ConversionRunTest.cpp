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

// A mailbox is flushed while the next is written, and its "closed" line
// follows only once it is on disk: a folder met again later in the list
// waits for its mailbox's flush before it appends, and the ledger closes
// every mailbox, each after its records, in the same order on every run.
TEST_F(ConversionRunTest, MailboxesAreFlushedWhileTheNextIsWritten) {
    std::vector<std::string> paths;
    for (int i = 0; i < 12; ++i) {
        const char* const folders[] = {"Store/A/", "Store/B/", "Store/A/", "Store/C/"};
        paths.push_back(Message(folders[i % 4] + std::to_string(i) + ".eml", std::to_string(i)));
    }
    const RunResult result = RunConversion(VectorRows(paths), dir / "Out");
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.messagesConverted, 12);
    EXPECT_EQ(result.mailboxesCreated, 3);
    const std::string box = ReadFile(Out("Store/A/A.mbox"));
    std::size_t records = 0;
    for (std::size_t at = 0; (at = box.find("From ", at)) != std::string::npos; at += 5) {
        records += at == 0 || box.compare(at - 4, 4, "\r\n\r\n") == 0 ? 1 : 0;
    }
    EXPECT_EQ(records, 6u);

    const std::string ledger = ReadFile(dir / "Out/.marrowgate-ledger");
    const std::string a = Out("Store/A/A.mbox").substr((dir / "Out/").size());
    std::size_t opens = 0;
    std::size_t closes = 0;
    for (std::size_t at = 0; (at = ledger.find("\t" + a + "\t", at)) != std::string::npos; ++at) {
        const std::size_t line = ledger.rfind('\n', at) + 1;
        opens += ledger.compare(line, 5, "open\t") == 0 ? 1 : 0;
        closes += ledger.compare(line, 7, "closed\t") == 0 ? 1 : 0;
    }
    EXPECT_EQ(opens, 6u); // each time its folder comes again
    EXPECT_EQ(closes, 6u);
    const std::string c = Out("Store/C/C.mbox").substr((dir / "Out/").size());
    EXPECT_EQ(ledger.compare(ledger.rfind("closed\t") + 7, c.size(), c), 0) << "the last closed";

    const auto withoutRuns = [](const std::string& text) {
        std::string kept;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find('\n', at) + 1;
            if (text.compare(at, 4, "run\t") != 0 && text.compare(at, 4, "end\t") != 0) {
                kept += text.substr(at, end - at);
            }
            at = end;
        }
        return kept;
    };
    EXPECT_TRUE(RunConversion(VectorRows(paths), dir / "Again").Succeeded());
    EXPECT_EQ(withoutRuns(ReadFile(dir / "Again/.marrowgate-ledger")), withoutRuns(ledger));
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
    EXPECT_EQ(stopped.notReached, 1) << "the row after the failed one";
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
    EXPECT_EQ(all.notReached, 0);
}

// A stop asked for between rows leaves the rest of the list not reached; the
// figures then add up to the rows of the list.
TEST_F(ConversionRunTest, AStopLeavesTheRestOfTheListNotReached) {
    const VectorRows rows({Message("M/a.eml", "a"), Message("M/b.eml", "b"),
                           Message("M/c.eml", "c"), Message("M/d.eml", "d")});
    RunHooks hooks;
    int asked = 0;
    hooks.stopRequested = [&] { return ++asked > 2; };
    const RunResult result = RunConversion(rows, dir / "Out", hooks);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.messagesConverted + result.notReached, 4);
    EXPECT_GE(result.notReached, 2);

    RunResult added = result;
    RunResult later;
    later.notReached = 3;
    later.stopped = true;
    added.Add(later, 4);
    EXPECT_EQ(added.notReached, result.notReached + 3);
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
