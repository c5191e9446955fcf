#include "marrowgate/OutputTarget.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

constexpr auto kWindows = PathSyntax::Windows;
constexpr auto kPosix = PathSyntax::Posix;

MailboxPlace Place(std::string_view target, const std::string& source, const std::string& store,
                   PathSyntax syntax = kPosix) {
    const std::string root = syntax == kPosix ? "/out/" : "D:\\Out\\";
    return OutputTarget::Named(target)->PlaceOf(source, store, root, syntax);
}

TEST(OutputTargetTest, NamesAndRules) {
    EXPECT_EQ(OutputTarget().Name(), "entourage");
    EXPECT_EQ(OutputTarget().LineEnd(), LineEnding::CrLf);
    for (const auto name : {"thunderbird", "apple-mail", "mboxrd"}) {
        ASSERT_TRUE(OutputTarget::Named(name)) << name;
        EXPECT_EQ(OutputTarget::Named(name)->Name(), name);
        EXPECT_EQ(OutputTarget::Named(name)->LineEnd(), LineEnding::Lf) << name;
        EXPECT_EQ(OutputTarget::Named(name)->NeedsFieldsAtStart(),
                  std::string_view(name) == "thunderbird");
    }
    EXPECT_FALSE(OutputTarget::Named("Thunderbird"));
    EXPECT_FALSE(OutputTarget::Named(""));
}

// A store with mail in its own folder, in a folder that also has subfolders,
// and two levels down.
TEST(OutputTargetTest, LayoutOfEachTarget) {
    struct Row {
        const char* target;
        const char* source;
        const char* folder;
        const char* mailbox;
    };
    const Row rows[] = {
        {"entourage", "/home/ann/Store/Inbox/a.eml", "/out/home/ann/Store/Inbox/",
         "/out/home/ann/Store/Inbox/Inbox.mbox"},
        {"thunderbird", "/home/ann/Store/a.eml", "/out/", "/out/Store"},
        {"thunderbird", "/home/ann/Store/Inbox/a.eml", "/out/Store.sbd/", "/out/Store.sbd/Inbox"},
        {"thunderbird", "/home/ann/Store/Inbox/Ré 2010/a.eml", "/out/Store.sbd/Inbox.sbd/",
         "/out/Store.sbd/Inbox.sbd/Ré 2010"},
        {"apple-mail", "/home/ann/Store/a.eml", "/out/Store.mbox/", "/out/Store.mbox/mbox"},
        {"apple-mail", "/home/ann/Store/Inbox/Ré 2010/a.eml",
         "/out/Store.mbox/Inbox.mbox/Ré 2010.mbox/",
         "/out/Store.mbox/Inbox.mbox/Ré 2010.mbox/mbox"},
        {"mboxrd", "/home/ann/Store/a.eml", "/out/Store/", "/out/Store/Store.mbox"},
        {"mboxrd", "/home/ann/Store/Inbox/Sub/a.eml", "/out/Store/Inbox/Sub/",
         "/out/Store/Inbox/Sub/Sub.mbox"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.target) + " " + row.source);
        const MailboxPlace place = Place(row.target, row.source, "/home/ann/Store");
        EXPECT_EQ(place.folder, row.folder);
        EXPECT_EQ(place.mailbox, row.mailbox);
    }
    // Thunderbird shows Name.sbd only beside a mailbox file Name.
    EXPECT_EQ(
        Place("thunderbird", "/home/ann/Store/Inbox/Sub/a.eml", "/home/ann/Store/").parentMailboxes,
        (std::vector<std::string>{"/out/Store", "/out/Store.sbd/Inbox"}));
    EXPECT_TRUE(Place("apple-mail", "/home/ann/Store/Inbox/a.eml", "/home/ann/Store")
                    .parentMailboxes.empty());
}

TEST(OutputTargetTest, TreeStartsAtTheStoreWhateverItsPath) {
    // ".." cannot climb above the store; a message outside every store counts
    // from its own folder; a drive root store is named after its letter.
    EXPECT_EQ(Place("mboxrd", "/s/Store/Inbox/../../x/a.eml", "/s/Store").mailbox,
              "/out/Store/x/x.mbox");
    EXPECT_EQ(Place("mboxrd", "/elsewhere/Sent/a.eml", "/s/Store").mailbox, "/out/Sent/Sent.mbox");
    EXPECT_EQ(Place("thunderbird", "/a.eml", "/").mailbox, "/out/Mailbox");
    EXPECT_EQ(Place("thunderbird", R"(C:\Store\Inbox\a.eml)", R"(C:\Store)", kWindows).mailbox,
              R"(D:\Out\Store.sbd\Inbox)");
    EXPECT_EQ(Place("apple-mail", R"(E:\Inbox\a.eml)", R"(E:\)", kWindows).mailbox,
              R"(D:\Out\E.mbox\Inbox.mbox\mbox)");
    // A store that is a prefix of a longer name does not hold it.
    EXPECT_EQ(Place("mboxrd", "/s/Store2/a.eml", "/s/Store").mailbox, "/out/Store2/Store2.mbox");
}

} // namespace
} // namespace marrowgate::test
