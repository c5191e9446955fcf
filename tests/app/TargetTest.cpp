#include "WindowFixture.h"

#include "app/BannerLabel.h"
#include "app/WindowSettings.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>

namespace marrowgate::test {
namespace {

class TargetTest : public WindowTest {
protected:
    // Lists the messages below the store folder `relative`, as the user does.
    void Import(const QString& relative) {
        dialogs.folders.push_back(TempPath(relative));
        Button("CmdAddFolder")->click();
    }

    void Convert() {
        dialogs.folders.push_back(Out());
        Button("CmdConvert2PDF")->click();
    }

    QString Out() const { return TempPath("Out"); }
};

// Converted for Thunderbird, the tree starts at the store in Local Folders'
// layout with LF line ends, a message without two header fields at its top
// gets them, and the summary says how to import and that all is verified.
// The choice is kept for the next window.
TEST_F(TargetTest, ThunderbirdGetsItsLayoutImportStepsAndTheChoiceIsKept) {
    WriteMessage("Store/Inbox/a.eml", "a");
    WriteMessage("Store/Inbox/Sub/b.eml", "b");
    WriteFile("Store/Inbox/odd.eml", "HELO example.com\r\n\r\nno header fields\r\n");
    Import("Store");
    Import("Store/Inbox"); // adds nothing: its messages stay in the store's tree
    ASSERT_EQ(TargetBox()->itemText(0), "Entourage") << "the default comes first";
    TargetBox()->setCurrentIndex(TargetBox()->findData("thunderbird"));
    Convert();

    QFile inbox(Out() + "/Store.sbd/Inbox");
    ASSERT_TRUE(inbox.open(QIODevice::ReadOnly));
    const QByteArray bytes = inbox.readAll();
    EXPECT_FALSE(bytes.contains('\r'));
    EXPECT_EQ(bytes.count("\nX-Marrowgate-"), 2) << bytes.toStdString();
    EXPECT_TRUE(QFile::exists(Out() + "/Store.sbd/Inbox.sbd/Sub"));

    const QString summary = LastPrompt();
    EXPECT_TRUE(summary.startsWith("Your data has been successfully exported to .mbox format "
                                   "(Compatible for Thunderbird).\r\nTo import the mailboxes into "
                                   "Thunderbird:\r\n1. Quit Thunderbird"))
        << summary.toStdString();
    EXPECT_TRUE(LastDetails().startsWith("Messages converted: 3\r\n"))
        << LastDetails().toStdString();
    EXPECT_TRUE(LastDetails().contains("\r\n\r\nAll 3 messages verified.\r\n\r\n1 message(s) did "
                                       "not start with two header fields"))
        << LastDetails().toStdString();
    EXPECT_FALSE(summary.contains("Entourage"));
    EXPECT_FALSE(LastDetails().contains("Entourage"));
    EXPECT_EQ(WindowSettings::Target(), "thunderbird");
    frmStep1 reopened(dialogs);
    EXPECT_EQ(Control<QComboBox>(reopened, "cboTarget")->currentText(), "Thunderbird");
}

// The summary reports the check of the output: all verified after a run, and
// after one byte of a record changed, the message whose record it is.
TEST_F(TargetTest, TheSummaryReportsTheVerificationOfTheOutput) {
    const QString a = WriteMessage("Store/Inbox/a.eml", "a");
    WriteMessage("Store/Inbox/b.eml", "b");
    Import("Store");
    Convert();
    EXPECT_TRUE(LastDetails().endsWith("\r\n\r\nAll 2 messages verified."))
        << LastDetails().toStdString();
    EXPECT_TRUE(LastPrompt().startsWith("Your data has been successfully exported"));

    const QStringList mailboxes = FindFiles(Out(), "Inbox.mbox");
    ASSERT_EQ(mailboxes.size(), 1);
    QFile mailbox(mailboxes.front());
    ASSERT_TRUE(mailbox.open(QIODevice::ReadWrite));
    QByteArray bytes = mailbox.readAll();
    const qsizetype at = bytes.indexOf("Subject: a");
    ASSERT_GE(at, 0);
    bytes[at + 9] = 'z';
    mailbox.seek(0);
    mailbox.write(bytes);
    mailbox.close();

    Convert(); // nothing new to convert; the changed record is found
    EXPECT_TRUE(LastDetails().contains("Messages already converted: 2\r\n"));
    EXPECT_TRUE(LastDetails().contains(
        "\r\n\r\nVerification found 1 problem(s) in 2 messages:\r\n" + a + ": its record differs"))
        << LastDetails().toStdString();
    EXPECT_TRUE(LastPrompt().startsWith(
        "Your data has been exported to .mbox format (Compatible for Entourage), but the check of "
        "the output found 1 problem(s): the details name the message files.\r\n"))
        << LastPrompt().toStdString();
    EXPECT_FALSE(LastPrompt().contains("And it all done"));
    EXPECT_EQ(dialogs.messages.back().icon, MessageIcon::Warning);
}

// The button, the banner and the summary name the mail program chosen; with
// Entourage every text reads as written.
TEST_F(TargetTest, TheWordsFollowTheMailProgramChosen) {
    const auto banner = [this] { return Control<BannerLabel>(window, "Image2")->Tagline(); };
    EXPECT_EQ(Shown("CmdConvert2PDF"), "Convert to Entourage");
    EXPECT_EQ(banner(), "Moves Windows Live Mail messages to mbox, ready for Entourage");
    const struct {
        const char* name;
        const char* reader;
    } cases[] = {{"thunderbird", "Thunderbird"},
                 {"apple-mail", "Apple Mail"},
                 {"mboxrd", "any mbox reader"}};
    WriteMessage("Store/Inbox/a.eml", "a");
    Import("Store");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TargetBox()->setCurrentIndex(TargetBox()->findData(c.name));
        EXPECT_EQ(Shown("CmdConvert2PDF"), QString("Convert for ") + c.reader);
        EXPECT_EQ(banner(),
                  QString("Moves Windows Live Mail messages to mbox, ready for ") + c.reader);
        dialogs.folders.push_back(TempPath(QString("Out-") + c.name));
        Button("CmdConvert2PDF")->click();
        EXPECT_TRUE(LastPrompt().startsWith(
            QString("Your data has been successfully exported to .mbox format (Compatible for "
                    "%1).\r\nTo import the mailboxes into %1:\r\n1. ")
                .arg(c.reader)))
            << LastPrompt().toStdString();
        EXPECT_FALSE(LastPrompt().contains("Entourage"));
    }
    TargetBox()->setCurrentIndex(0);
    EXPECT_EQ(Shown("CmdConvert2PDF"), "Convert to Entourage");
    EXPECT_EQ(banner(), "Moves Windows Live Mail messages to mbox, ready for Entourage");
}

} // namespace
} // namespace marrowgate::test
