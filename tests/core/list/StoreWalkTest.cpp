#include "list/StoreWalk.h"

#include "list/WalkedRows.h"
#include "marrowgate/ConversionRun.h"
#include "marrowgate/StoreScan.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace marrowgate::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> RowsOf(const MessageRows& rows) {
    std::vector<std::string> texts;
    for (int row = 0; row < rows.RowCount(); ++row) {
        texts.push_back(rows.RowText(row));
    }
    return texts;
}

class StoreWalkTest : public ::testing::Test {
protected:
    std::string Message(const std::string& relative) {
        const std::string path = dir / relative;
        WriteFile(path, "From: " + relative + "@x.org\r\n\r\nbody of " + relative + "\r\n",
                  ExampleTime());
        return path;
    }

    TempDir dir;
};

// Names are created out of order; both walks list each folder by name, case
// aside (then by bytes), breadth first, and agree file for file.
TEST_F(StoreWalkTest, BothWalksListEachFolderByNameAndAgree) {
    for (const char* name :
         {"S/b.eml", "S/Z.eml", "S/_x.eml", "S/a.eml", "S/B.EML", "S/9.eml", "S/A.eml",
          "S/\xC3\xA9.eml", "S/10.eml", "S/notes.txt", "S/sent/s.eml", "S/Inbox/old/o.eml",
          "S/Inbox/i.eml", "S/archive/x.eml", "S/inbox2/j.eml"}) {
        Message(name);
    }
    const std::string s = dir / "S";
    const std::vector<std::string> expected = {
        s + "/10.eml",       s + "/9.eml",          s + "/A.eml",       s + "/a.eml",
        s + "/B.EML",        s + "/b.eml",          s + "/Z.eml",       s + "/_x.eml",
        s + "/\xC3\xA9.eml", s + "/archive/x.eml",  s + "/Inbox/i.eml", s + "/inbox2/j.eml",
        s + "/sent/s.eml",   s + "/Inbox/old/o.eml"};

    EXPECT_EQ(CollectMessageFiles(s), expected) << "the window's walker";
    const WalkedRows walked({s});
    EXPECT_EQ(walked.RowCount(), 14);
    EXPECT_EQ(RowsOf(walked), expected) << "the command line's walk";

    std::vector<std::string> all;
    StoreWalk walk(s + "/");
    for (std::string path; walk.Next(path);) {
        all.push_back(path);
    }
    EXPECT_EQ(all, CollectFiles(s)) << "every file, not only messages";
    EXPECT_EQ(all.size(), 15u);

    // Listed a few files at a time, a folder's files come in the same order.
    std::vector<std::string> inParts;
    StoreWalk parts(s + "/", 2);
    for (std::string path; parts.Next(path);) {
        inParts.push_back(path);
    }
    EXPECT_EQ(inParts, all);

    EXPECT_EQ(RowsOf(WalkedRows({dir / "missing"})), std::vector<std::string>{});
}

// Output folders inside a store hold the converter's files, and whatever was
// put among them: a folder with a ledger, and the run's own output (by
// identity, before it has one), are passed over by every walk and count;
// a store that is itself an output is walked.
TEST_F(StoreWalkTest, OutputFoldersInsideTheStoreArePassedOver) {
    for (const char* name : {"S/a.eml", "S/Out/planted.eml", "S/Out/Inbox/b.eml", "S/Older/x.eml",
                             "S/Inbox/i.eml", "S/Inbox/Deep/Older2/y.eml"}) {
        Message(name);
    }
    WriteFile(dir / "S/.marrowgate-ledger", "marrowgate-ledger 2\n");
    WriteFile(dir / "S/Older/.marrowgate-ledger", "marrowgate-ledger 2\n");
    WriteFile(dir / "S/Inbox/Deep/Older2/.marrowgate-ledger", "");
    const std::string s = dir / "S";
    const std::vector<std::string> expected = {s + "/a.eml", s + "/Inbox/i.eml"};
    const std::vector<std::string> all = {s + "/a.eml", s + "/Inbox/i.eml", s + "/Out/planted.eml",
                                          s + "/Out/Inbox/b.eml"};

    EXPECT_EQ(CollectMessageFiles(s), all) << "the window knows no output yet";
    const WalkedRows walked({s}, dir / "S/./Out");
    EXPECT_EQ(walked.RowCount(), 2);
    EXPECT_EQ(RowsOf(walked), expected);
    EXPECT_EQ(walked.PassedOver(),
              (std::vector<std::string>{s + "/Older/", s + "/Out/", s + "/Inbox/Deep/Older2/"}));
    std::vector<std::string> passed;
    EXPECT_EQ(StoreWalk::CountMessageFiles(s, dir / "Elsewhere", &passed), 4u);
    EXPECT_EQ(passed.size(), 2u);
    EXPECT_EQ(StoreWalk::CountMessageFiles(dir / "missing", {}), 0u);
    // Once written, the output holds a ledger: passed over without being named.
    WriteFile(dir / "S/Out/.marrowgate-ledger", "");
    EXPECT_EQ(CollectMessageFiles(s), expected);
}

TEST_F(StoreWalkTest, ConvertsTheSameMailboxesAsTheCollectedList) {
    for (int n = 0; n < 40; ++n) {
        static const char* const kFolders[] = {"Inbox", "Sent Items", "Inbox/Old", "Work/B",
                                               "Work/a"};
        Message("S1/" + std::string(kFolders[n % 5]) + "/" + std::to_string(97 - n) + ".eml");
    }
    Message("S2/Inbox/z.eml");
    Message("S2/top.EML");
    const std::vector<std::string> stores = {dir / "S1", dir / "S2"};

    std::vector<std::string> collected;
    for (const std::string& store : stores) {
        for (std::string& path : CollectMessageFiles(store)) {
            collected.push_back(std::move(path));
        }
    }
    const RunResult listed = RunConversion(VectorRows(collected), dir / "OutListed");
    const WalkedRows walked(stores);
    const RunResult streamed = RunConversion(walked, dir / "OutWalked");

    EXPECT_TRUE(listed.Succeeded() && streamed.Succeeded());
    EXPECT_EQ(streamed.messagesConverted, 42);
    EXPECT_EQ(streamed.mailboxesCreated, listed.mailboxesCreated);
    const auto mailboxes = Tree(dir / "OutWalked");
    EXPECT_EQ(mailboxes.size(), 8u); // seven mailboxes and the ledger
    EXPECT_EQ(mailboxes, Tree(dir / "OutListed"));
}

TEST_F(StoreWalkTest, AStoreThatChangesAfterTheCountNeitherCrashesNorMisleads) {
    for (const char* name : {"S/a.eml", "S/Gone/b.eml", "S/Gone/c.eml", "S/Kept/d.eml"}) {
        Message(name);
    }
    const std::string s = dir / "S";
    {
        // A folder that goes before the walk lists its parent: its rows read
        // as empty.
        const WalkedRows rows({s});
        fs::remove_all(dir / "S/Gone");
        EXPECT_EQ(RowsOf(rows),
                  (std::vector<std::string>{s + "/a.eml", s + "/Kept/d.eml", "", ""}));
        EXPECT_TRUE(rows.WalkFailure().empty());
        EXPECT_EQ(rows.RowText(1), s + "/Kept/d.eml"); // read again, as a run looking ahead does
    }
    Message("S/Gone/b.eml");
    {
        // One that goes once queued cannot be listed: the walk ends, saying so.
        WalkedRows rows({s});
        EXPECT_EQ(rows.RowText(0), s + "/a.eml");
        fs::remove_all(dir / "S/Gone");
        EXPECT_EQ(RowsOf(rows), (std::vector<std::string>{s + "/a.eml", "", ""}));
        EXPECT_NE(rows.WalkFailure().find(s + "/Gone/"), std::string::npos) << rows.WalkFailure();
        EXPECT_TRUE(rows.TakeRest().empty());
    }
    Message("S/Gone/b.eml");
    {
        // Files that come after the count wait for the caller, in walk order.
        WalkedRows rows({s});
        Message("S/Kept/e.eml");
        Message("S/Later/f.eml");
        fs::remove(dir / "S/Gone/b.eml");
        const RunResult result = RunConversion(rows, dir / "Out");
        EXPECT_EQ(result.messagesConverted, 3);
        EXPECT_EQ(rows.TakeRest(), (std::vector<std::string>{s + "/Later/f.eml"}));
        EXPECT_TRUE(rows.WalkFailure().empty());
    }
}

// A large folder is listed again for each part of its files: what changes
// between two parts is seen as a single listing made then would see it, and
// no file is given twice.
TEST_F(StoreWalkTest, ALargeFolderIsWalkedInPartsAsItIsNow) {
    for (int i = 0; i < 40; ++i) {
        Message("S/" + std::string(i % 2 ? "m" : "M") + std::to_string(100 + i) + ".eml");
    }
    std::vector<std::string> names;
    StoreWalk walk(dir / "S", 6);
    for (std::string path; walk.Next(path);) {
        names.push_back(fs::path(path).filename().string());
        if (names.size() == 8) {
            fs::remove(dir / "S/m139.eml"); // not given yet: never given
            fs::remove(dir / "S/M100.eml"); // given already
            Message("S/a-before.eml");      // sorts before the part: not given
            Message("S/z-after.eml");       // after: given
        }
    }
    ASSERT_EQ(names.size(), 40u);
    EXPECT_EQ(names.front(), "M100.eml");
    EXPECT_EQ(names.back(), "z-after.eml");
    EXPECT_EQ(std::count(names.begin(), names.end(), "m139.eml"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "a-before.eml"), 0);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), NameOrder));
}

TEST_F(StoreWalkTest, RowsAreReadAgainOnlyWithinTheRecall) {
    const int count = WalkedRows::kRecall + 6;
    for (int i = 0; i < count; ++i) {
        Message("S/" + std::to_string(1000 + i) + ".eml");
    }
    const WalkedRows rows({dir / "S"});
    const std::string last = rows.RowText(count - 1);
    const int oldest = count - WalkedRows::kRecall;
    EXPECT_EQ(rows.RowText(count - 1), last);
    EXPECT_NE(rows.RowText(oldest), last);
    EXPECT_FALSE(rows.RowText(oldest).empty());
    EXPECT_THROW(rows.RowText(oldest - 1), std::logic_error);
}

} // namespace
} // namespace marrowgate::test
