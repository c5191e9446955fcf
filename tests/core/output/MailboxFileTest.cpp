#include "output/MailboxFile.h"

#include "output/MailboxMerges.h"
#include "platform/FileSystem.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

// A run stopped between opening a new mailbox and writing to it leaves no
// empty mailbox behind; someone else's empty file stays.
TEST(MailboxFileTest, AMailboxMadeForARecordThatNeverBeganIsTakenBack) {
    TempDir dir;
    const std::string created = dir / "new.mbox";
    const std::string existing = dir / "old.mbox";
    WriteFile(existing, "");
    for (const std::string& path : {created, existing}) {
        MailboxFile mailbox(path);
        EXPECT_EQ(mailbox.Created(), path == created);
        mailbox.Close();
    }
    EXPECT_FALSE(std::filesystem::exists(created));
    EXPECT_TRUE(std::filesystem::exists(existing));
}

// Where the file system makes two mailbox paths one file (names that differ
// only in case on a file system that ignores it), the second path is named
// once with the first; files without an identity are never taken for one.
TEST(MailboxFileTest, MailboxesMergedByTheFileSystemAreNamed) {
    MailboxMerges merges;
    EXPECT_FALSE(merges.Opened("/o/S/Inbox/Inbox.mbox", {1, 10}));
    EXPECT_FALSE(merges.Opened("/o/S/Sent/Sent.mbox", {1, 11}));
    EXPECT_FALSE(merges.Opened("/o/S/Inbox/Inbox.mbox", {1, 10})); // the same, opened again
    const auto merged = merges.Opened("/o/S/INBOX/INBOX.mbox", {1, 10});
    ASSERT_TRUE(merged);
    EXPECT_EQ(merged->find("/o/S/INBOX/INBOX.mbox and /o/S/Inbox/Inbox.mbox are one file"), 0u);
    EXPECT_FALSE(merges.Opened("/o/S/INBOX/INBOX.mbox", {1, 10})); // named once
    EXPECT_FALSE(merges.Opened("/o/S/Other/Other.mbox", {2, 10})); // another device
    EXPECT_FALSE(merges.Opened("/o/A.mbox", {0, 0}));
    EXPECT_FALSE(merges.Opened("/o/B.mbox", {0, 0}));

    // Two names of one file, as such a file system gives them.
    TempDir dir;
    WriteFile(dir / "Inbox.mbox", "");
    std::error_code linked;
    std::filesystem::create_hard_link(dir / "Inbox.mbox", dir / "INBOX.mbox", linked);
    if (linked) {
        return; // a file system without them
    }
    platform::FileStatus one;
    platform::FileStatus two;
    ASSERT_EQ(platform::Status(dir / "Inbox.mbox", one), 0);
    ASSERT_EQ(platform::Status(dir / "INBOX.mbox", two), 0);
    MailboxMerges real;
    EXPECT_FALSE(real.Opened(dir / "Inbox.mbox", {one.device, one.inode}));
    EXPECT_TRUE(real.Opened(dir / "INBOX.mbox", {two.device, two.inode}));
}

} // namespace
} // namespace marrowgate::test
