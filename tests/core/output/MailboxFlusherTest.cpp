#include "output/MailboxFlusher.h"

#include "output/MailboxFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace marrowgate::test {
namespace {

// Mailboxes come back flushed in the order handed over, still open (and so
// locked) for the caller to note and close; waiting for one waits for those
// before it; what is not taken back is closed when the flusher goes.
TEST(MailboxFlusherTest, HandsBackEachMailboxFlushedInOrderAndStillOpen) {
    TempDir dir;
    std::vector<FileIdentity> identities;
    {
        MailboxFlusher flusher;
        EXPECT_FALSE(flusher.Holds());
        EXPECT_TRUE(flusher.TakeFlushed().empty());
        for (int i = 0; i < 5; ++i) {
            auto mailbox = std::make_unique<MailboxFile>(dir / (std::to_string(i) + ".mbox"));
            const std::string_view record[] = {"From a@x.org Mon Jul 05 14:03:09 2010\r\n\r\n"};
            mailbox->Write(record);
            mailbox->EndRecord();
            identities.push_back(mailbox->Identity());
            flusher.Hand(std::move(mailbox), i % 2 == 0);
        }
        EXPECT_TRUE(flusher.Holds());
        flusher.WaitFor(identities[2]);
        std::vector<MailboxFlusher::Flushed> flushed = flusher.TakeFlushed();
        ASSERT_GE(flushed.size(), 3u);
        for (std::size_t i = 0; i < flushed.size(); ++i) {
            EXPECT_EQ(flushed[i].mailbox->Identity(), identities[i]);
            EXPECT_EQ(flushed[i].note, i % 2 == 0);
            EXPECT_EQ(flushed[i].error, 0);
            EXPECT_TRUE(flushed[i].mailbox->IsOpen());
        }
        flusher.WaitFor(FileIdentity{1, 2}); // none such: at once
        flusher.WaitForAll();
        const std::size_t rest = flusher.TakeFlushed().size();
        EXPECT_EQ(flushed.size() + rest, 5u);
        EXPECT_FALSE(flusher.Holds());
        flusher.Hand(std::make_unique<MailboxFile>(dir / "last.mbox"), true);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "last.mbox")); // made for no record: taken back
    EXPECT_EQ(ReadFile(dir / "4.mbox").size(), 41u);
}

} // namespace
} // namespace marrowgate::test
