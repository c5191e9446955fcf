#include "WindowFixture.h"

#include <QLabel>
#include <QPushButton>

namespace marrowgate::test {
namespace {

using ListTest = WindowTest;

TEST_F(ListTest, AppendsFromRowZeroAndClearsOnlyAfterAYes) {
    Button("cmdClear1")->click();
    EXPECT_TRUE(dialogs.messages.empty()) << "an empty list is cleared without a question";

    window.AddMessagePath("C:\\Store\\Inbox\\a.eml");
    EXPECT_EQ(Rows(), QStringList{"C:\\Store\\Inbox\\a.eml"});
    EXPECT_EQ(Shown("lblCount1"), "1 files");
    window.AddMessagePath(" /store/b.eml ");
    window.AddMessagePath("C:\\Store\\Inbox\\a.eml");
    const QStringList three{"C:\\Store\\Inbox\\a.eml", " /store/b.eml ", "C:\\Store\\Inbox\\a.eml"};
    EXPECT_EQ(Rows(), three) << "as added, duplicates included";
    EXPECT_EQ(Shown("lblCount1"), "3 files");

    dialogs.answers = {Answer::No, Answer::Yes};
    Button("cmdClear1")->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(LastPrompt(), "Do you want to clear all the files in the list\r\n Proceed?");
    EXPECT_EQ(dialogs.messages.back().icon, MessageIcon::Question);
    EXPECT_EQ(Rows(), three);
    EXPECT_EQ(Shown("lblCount1"), "3 files");

    Button("cmdClear1")->click();
    EXPECT_EQ(Rows(), QStringList{QString()});
    EXPECT_EQ(Shown("lblCount1"), "0 files");
    window.AddMessagePath("/store/Sent/c.eml");
    EXPECT_EQ(Rows(), QStringList{"/store/Sent/c.eml"}) << "after a clear, row 0 is used again";
}

// Rows share their folder's text; each reads back exactly as added, and the
// index of listed paths follows appends and clears.
TEST(MessageListModelTest, RowsReadBackExactlyAndCanBeLookedUp) {
    MessageListModel list;
    EXPECT_FALSE(list.Contains(""));
    const std::vector<std::string> paths = {
        "/s/Inbox/a.eml", "C:\\Store\\Inbox\\a.eml", "/s/Inbox/b.eml", "/s/Sent/a.eml",
        "plain.eml",      "/s/caf\xe9.eml",          "/s/Inbox/a.eml", ""};
    list.AppendFileName(paths[0]);
    EXPECT_TRUE(list.Contains(paths[0])); // the index is built on the first look
    for (std::size_t i = 1; i < paths.size(); ++i) {
        list.AppendFileName(paths[i]);
    }
    ASSERT_EQ(list.RowCount(), 8);
    for (int row = 0; row < 8; ++row) {
        EXPECT_EQ(list.RowText(row), paths[static_cast<std::size_t>(row)]);
        EXPECT_TRUE(list.Contains(paths[static_cast<std::size_t>(row)]));
    }
    EXPECT_EQ(list.Path(5), QString::fromUtf8("/s/caf\xe9.eml")) << "shown as well as it can be";
    for (const char* absent : {"/s/Inbox/c.eml", "/s/Inbox/", "/s/Inbox/a.em", "/t/a.eml",
                               "/s/sent/a.eml", "C:\\Store\\Inbox/a.eml"}) {
        EXPECT_FALSE(list.Contains(absent)) << absent;
    }
    for (int i = 0; i < 1000; ++i) {
        list.Append(QStringLiteral("/s/Many/%1.eml").arg(i));
    }
    EXPECT_TRUE(list.Contains("/s/Many/0.eml") && list.Contains("/s/Many/999.eml"));
    EXPECT_EQ(list.RowText(1007), "/s/Many/999.eml");

    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.RowText(0), "");
    EXPECT_FALSE(list.Contains(paths[0]));
    list.Append(QStringLiteral("/s/x.eml"));
    EXPECT_TRUE(list.Contains("/s/x.eml"));
}

} // namespace
} // namespace marrowgate::test
