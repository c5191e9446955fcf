#include "output/MaildirStore.h"

#include "output/BareMessage.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace marrowgate::test {
namespace {

namespace fs = std::filesystem;

class MaildirStoreTest : public ::testing::Test {
protected:
    std::string Root() const { return dir / "Out/"; }

    static BareMessage Message(const std::string& bytes) {
        BareMessage message;
        message.bytes = bytes;
        message.date = ExampleTime();
        return message;
    }

    // The names in a part (cur, tmp) of the maildir `mailbox`.
    static std::vector<std::string> Names(const std::string& mailbox, const std::string& part) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(mailbox + part)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // A message stored by one run, as the next finds the maildir.
    std::string StoredByARun(const std::string& bytes, std::string& place) {
        MaildirStore store(Root(), false);
        bool created = false;
        const std::string mailbox = store.Mailbox({"Store", "Inbox"}, created);
        EXPECT_TRUE(created);
        store.Enter(mailbox, std::nullopt);
        store.Store(mailbox, Message(bytes), 7);
        const auto confirmed = store.TakeConfirmed();
        EXPECT_EQ(confirmed.size(), 1u);
        place = confirmed.empty() ? "" : confirmed.front().place;
        store.Finish();
        return mailbox;
    }

    TempDir dir;
};

// A message goes in under a name that carries its size, its place is that
// name without flags, and a later run finds it there: by its record's place,
// or, without one, by its size, date and bytes; a copy claimed is no other's.
TEST_F(MaildirStoreTest, StoredMessagesAreHeldAndFoundOnce) {
    std::string place;
    const std::string mailbox = StoredByARun("Subject: a\n\nbody\n", place);
    ASSERT_EQ(Names(mailbox, "cur").size(), 1u);
    EXPECT_TRUE(Names(mailbox, "cur").front().starts_with(place)); // ":2," but on Windows
    EXPECT_NE(place.find(",S=17"), std::string::npos) << place;
    EXPECT_TRUE(Names(mailbox, "tmp").empty());

    MaildirStore next(Root(), false);
    bool created = true;
    EXPECT_EQ(next.Mailbox({"Store", "Inbox"}, created), mailbox);
    EXPECT_FALSE(created);
    next.Enter(mailbox, std::nullopt);
    EXPECT_FALSE(next.Holds("no such name"));
    EXPECT_EQ(next.Find(Message("Subject: a\n\nbody\n"), MessageStore::Search::Earlier), place);
    EXPECT_EQ(next.Find(Message("Subject: a\n\nbody\n"), MessageStore::Search::Earlier),
              std::nullopt)
        << "an identical second message is a message of its own";
    next.Enter(mailbox, std::nullopt);
    EXPECT_TRUE(next.Holds(place));
    EXPECT_EQ(next.Find(Message("Subject: a\n\nbody\n"), MessageStore::Search::Earlier),
              std::nullopt)
        << "a record claims it";
    EXPECT_EQ(next.Find(Message("Subject: a\n\nbodY\n"), MessageStore::Search::Earlier),
              std::nullopt);
}

// What a killed run left half written in tmp/ is ours by its name and goes;
// what any other program has there stays.
TEST_F(MaildirStoreTest, OurUnfinishedFilesAreRemoved) {
    std::string place;
    const std::string mailbox = StoredByARun("Subject: a\n\nbody\n", place);
    WriteFile(mailbox + "tmp/1720000000.M5P6Q7.host,S=9" + std::string(MaildirStore::kUnfinished),
              "Subject: ");
    WriteFile(mailbox + "tmp/1720000000.M5P6.other-writer", "being delivered");
    MaildirStore next(Root(), false);
    bool created = false;
    next.Mailbox({"Store", "Inbox"}, created);
    next.Enter(mailbox, std::nullopt);
    EXPECT_EQ(Names(mailbox, "tmp"), std::vector<std::string>{"1720000000.M5P6.other-writer"});
}

// A check reads what a maildir holds without making anything.
TEST_F(MaildirStoreTest, ACheckReadsWithoutMaking) {
    MaildirStore fresh(Root(), false);
    EXPECT_EQ(fresh.ExistingMailbox({"Store", "Inbox"}), std::nullopt);
    EXPECT_FALSE(fs::exists(Root()));
    std::string place;
    const std::string mailbox = StoredByARun("Subject: a\n\nbody\n", place);
    MaildirStore reader(Root(), false);
    ASSERT_EQ(reader.ExistingMailbox({"Store", "Inbox"}), mailbox);
    const std::vector<MessageStore::Copy> copies = reader.Copies(mailbox);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies.front().size, 17u);
    EXPECT_EQ(copies.front().date, ExampleTime());
    std::string read;
    reader.ReadCopies(mailbox, copies,
                      [&](const std::string&, std::string_view bytes) { read = bytes; });
    EXPECT_EQ(read, "Subject: a\n\nbody\n");
}

} // namespace
} // namespace marrowgate::test
