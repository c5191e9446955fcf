#include "WindowFixture.h"

#include <QLabel>
#include <QPushButton>

namespace marrowgate::testing {
namespace {

using ListTest = WindowTest;

TEST_F(ListTest, AppendsFromRowZeroAndClearsOnlyAfterAYes) {
    window.cmdClear1->click();
    EXPECT_TRUE(dialogs.messages.empty()) << "an empty list is cleared without a question";

    window.AddMessagePath("C:\\Store\\Inbox\\a.eml");
    EXPECT_EQ(Rows(), QStringList{"C:\\Store\\Inbox\\a.eml"});
    EXPECT_EQ(window.lblCount1->text(), "1 files");
    window.AddMessagePath(" /store/b.eml ");
    window.AddMessagePath("C:\\Store\\Inbox\\a.eml");
    const QStringList three{"C:\\Store\\Inbox\\a.eml", " /store/b.eml ", "C:\\Store\\Inbox\\a.eml"};
    EXPECT_EQ(Rows(), three) << "as added, duplicates included";
    EXPECT_EQ(window.lblCount1->text(), "3 files");

    dialogs.answers = {MsgAnswer::No, MsgAnswer::Yes};
    window.cmdClear1->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(LastPrompt(), "Do you want to clear all the files in the list\r\n Proceed?");
    EXPECT_EQ(dialogs.messages.back().style, MsgStyle::YesNoQuestion);
    EXPECT_EQ(Rows(), three);
    EXPECT_EQ(window.lblCount1->text(), "3 files");

    window.cmdClear1->click();
    EXPECT_EQ(Rows(), QStringList{QString()});
    EXPECT_EQ(window.lblCount1->text(), "0 files");
    window.AddMessagePath("/store/Sent/c.eml");
    EXPECT_EQ(Rows(), QStringList{"/store/Sent/c.eml"}) << "after a clear, row 0 is used again";
}

} // namespace
} // namespace marrowgate::testing
