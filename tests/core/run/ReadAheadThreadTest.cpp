#include "run/ReadAheadThread.h"

#include "marrowgate/ConversionError.h"
#include "marrowgate/ConversionRun.h"
#include "platform/FileSystem.h"
#include "run/ReadAheadMessage.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace marrowgate::test {
namespace {

namespace fs = std::filesystem;

// Every byte of `message`, as the writer takes them.
std::string AllOf(ReadAheadMessage& message) {
    std::string bytes(message.Start());
    for (std::string_view more; !(more = message.Next()).empty();) {
        bytes += more;
    }
    return bytes;
}

std::string Lines(const std::string& prefix, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += prefix + std::to_string(i) + "\r\n";
    }
    return text;
}

class ReadAheadThreadTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(ReadAheadThreadTest, WhatIsSkippedOrNotAskedForIsNotHandedOver) {
    for (const char* name : {"a.eml", "b.eml", "c.eml", "d.eml", "e.eml"}) {
        WriteFile(dir / name, std::string("Subject: ") + name + "\r\n\r\n" + Lines(name, 5000));
    }
    ReadAheadThread ahead(4096, 2);
    ahead.Request(0, dir / "a.eml");
    ahead.Request(1, dir / "b.eml");
    ahead.Request(3, dir / "d.eml");
    ahead.Request(4, dir / "e.eml");

    // Row 0 is given up half read; row 1 was asked for under another name.
    {
        auto a = ahead.Take(0, dir / "a.eml");
        ASSERT_TRUE(a);
        a->Start();
    }
    EXPECT_EQ(ahead.Take(1, dir / "other.eml"), nullptr);
    EXPECT_EQ(ahead.Take(2, dir / "c.eml"), nullptr) << "never asked for";
    ahead.DropThrough(3);
    EXPECT_EQ(ahead.Take(3, dir / "d.eml"), nullptr) << "dropped";
    auto e = ahead.Take(4, dir / "e.eml");
    ASSERT_TRUE(e);
    EXPECT_EQ(AllOf(*e), ReadFile(dir / "e.eml"));

    // What cannot be opened is handed over unopened, for the run to open itself.
    ahead.Request(5, dir / "missing.eml");
    e.reset();
    auto missing = ahead.Take(5, dir / "missing.eml");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->Opened());
}

// The run takes a message read ahead only when the reader's open file and
// the ledger's look at its path agree; were they to differ on some system,
// every message there would be read twice.
TEST_F(ReadAheadThreadTest, TheReaderSeesAFileAsTheLedgerDoes) {
    WriteFile(dir / "a.eml", "From: a@x.org\r\n\r\nbody\r\n", ExampleTime());
    ReadAheadThread ahead;
    ahead.Request(0, dir / "a.eml");
    const auto message = ahead.Take(0, dir / "a.eml");
    ASSERT_TRUE(message && message->Opened());
    platform::FileStatus info;
    ASSERT_EQ(platform::LinkStatus(dir / "a.eml", info), 0);
    EXPECT_EQ(message->Size(), info.size);
    EXPECT_EQ(message->ModificationTime(), info.modified);
    EXPECT_EQ(message->ModificationNanoseconds(), info.modifiedNanoseconds);
    EXPECT_EQ(message->Identity(), (FileIdentity{info.device, info.inode}));
    EXPECT_NE(info.inode, 0u);
}

// The mailboxes below `root`, without the ledger.
std::map<std::string, std::string> Mailboxes(const std::string& root) {
    auto files = Tree(root);
    files.erase(".marrowgate-ledger");
    return files;
}

class ReadAheadRunTest : public ::testing::Test {
protected:
    std::string Message(const std::string& relative, const std::string& bytes) {
        const std::string path = dir / ("Store/" + relative);
        WriteFile(path, bytes, ExampleTime());
        return path;
    }

    // The store's messages: many small ones, so that the reader runs ahead,
    // and the kinds of file whose start or end is read differently.
    std::vector<std::string> MakeStore() {
        std::vector<std::string> rows;
        for (int i = 0; i < 60; ++i) {
            const std::string n = std::to_string(i);
            rows.push_back(Message("Inbox/" + n + ".eml", "From: " + n + "@x.org\r\nSubject: " + n +
                                                              "\r\n\r\nFrom here\r\n" + n +
                                                              "\r\n"));
        }
        rows.push_back(Message("Inbox/big.eml",
                               "From: big@x.org\r\n\r\n" + Lines("From the middle ", 400000)));
        rows.push_back(Message("Inbox/header.eml", Lines("X-Long: ", 40000) + "\r\nbody\r\n"));
        rows.push_back(Message("Inbox/no-header.eml", Lines("no blank line ", 300000)));
        rows.push_back(Message("Inbox/blank.eml", " \r\n\t\r\n"));
        rows.push_back(Message("Inbox/empty.eml", ""));
        rows.push_back(Message("Inbox/lf.eml", "From: lf@x.org\nSubject: lf\n\nbody\nFrom x\n"));
        rows.push_back(dir / "Store/Inbox/missing.eml");
        rows.push_back(rows[3]); // listed twice
        for (int i = 0; i < 20; ++i) {
            const std::string n = std::to_string(i);
            rows.push_back(Message("Sent/" + n + ".eml", "From: s" + n + "@x.org\r\n\r\nsent\r\n"));
        }
#ifndef _WIN32
        const std::string fifo = dir / "Store/Sent/fifo.eml";
        EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        rows.push_back(fifo);
#endif
        return rows;
    }

    RunResult Convert(const std::vector<std::string>& rows, const std::string& out, bool readAhead,
                      const RunHooks& hooks = {}) {
        RunOptions options;
        options.keepGoing = true;
        options.readAhead = readAhead;
        return RunConversion(VectorRows(rows), dir / out, hooks, options);
    }

    TempDir dir;
};

TEST_F(ReadAheadRunTest, TheMailboxesAreTheSameBytesEitherWay) {
    const std::vector<std::string> rows = MakeStore();
    const RunResult one = Convert(rows, "OneThread", false);
    const RunResult two = Convert(rows, "ReadAhead", true);
    // Compared whole, not with EXPECT_EQ: megabytes of mailbox are no use printed.
    EXPECT_TRUE(Tree(dir / "OneThread") == Tree(dir / "ReadAhead"));
    EXPECT_EQ(two.messagesConverted, one.messagesConverted);
    EXPECT_EQ(two.alreadyConverted, 1);
    EXPECT_EQ(two.emptyMessages, one.emptyMessages);
    ASSERT_EQ(two.failures.size(), one.failures.size());
    for (std::size_t i = 0; i < one.failures.size(); ++i) {
        EXPECT_EQ(two.failures[i].reason, one.failures[i].reason);
    }

    // Stopped part way and run again, it comes to the same mailboxes (the
    // ledger tells of two runs).
    int started = 0;
    RunHooks hooks;
    hooks.rowStarting = [&](int) { ++started; };
    hooks.stopRequested = [&] { return started == 30; };
    EXPECT_TRUE(Convert(rows, "Resumed", true, hooks).stopped);
    const RunResult rest = Convert(rows, "Resumed", true);
    EXPECT_EQ(rest.alreadyConverted, 30 + 1); // and the row listed twice
    EXPECT_TRUE(Mailboxes(dir / "OneThread") == Mailboxes(dir / "Resumed"));
}

// The ledger records the file as the run found it at its row: a file that
// changed after it was read ahead is read again, as it is now.
TEST_F(ReadAheadRunTest, AFileChangedAfterItWasReadAheadIsConvertedAsItIsNow) {
    std::vector<std::string> rows;
    for (int i = 0; i < 10; ++i) {
        rows.push_back(Message("Inbox/" + std::to_string(i) + ".eml",
                               "From: old@x.org\r\n\r\nold " + std::to_string(i) + "\r\n"));
    }
    RunHooks hooks;
    hooks.rowStarting = [&](int row) {
        if (row == 2) {
            // Another size; then the same size, another time.
            WriteFile(rows[5], "From: new@x.org\r\n\r\nnew and longer\r\n", ExampleTime());
            WriteFile(rows[6], "From: new@x.org\r\n\r\nnew 6\r\n",
                      ExampleTime() + std::chrono::seconds(1));
        }
    };
    const RunResult result = Convert(rows, "Out", true, hooks);
    EXPECT_EQ(result.messagesConverted, 10);
    const std::string mailbox = ReadFile(dir / ("Out" + (dir / "Store/Inbox/Inbox.mbox")));
    EXPECT_NE(mailbox.find("new and longer"), std::string::npos);
    EXPECT_NE(mailbox.find("new 6"), std::string::npos);
    EXPECT_EQ(mailbox.find("old 5"), std::string::npos);
    EXPECT_EQ(mailbox.find("old 6"), std::string::npos);
    EXPECT_EQ(Convert(rows, "Out", true).alreadyConverted, 10);
}

} // namespace
} // namespace marrowgate::test
