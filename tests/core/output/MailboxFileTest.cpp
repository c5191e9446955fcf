#include "output/MailboxFile.h"

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

} // namespace
} // namespace marrowgate::test
