#include "WindowFixture.h"

#include "app/ReportDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>

namespace marrowgate::test {
namespace {

class ReportTest : public WindowTest {
protected:
    // Lists two messages and two files that are not there, and converts
    // them, skipping every failure.
    void ConvertWithTwoFailures() {
        for (const QString& path :
             {WriteMessage("Store/Inbox/a.eml", "a"), TempPath("Store/Inbox/gone1.eml"),
              WriteMessage("Store/Inbox/c.eml", "c"), TempPath("Store/Inbox/gone2.eml")}) {
            window.AddMessagePath(path);
        }
        dialogs.failureChoices = {FailureChoice::SkipAll};
        dialogs.folders.push_back(TempPath("Out"));
        Button("CmdConvert2PDF")->setEnabled(true);
        Button("CmdConvert2PDF")->click();
    }

    static QString ReadText(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

// "Save Report..." writes the words and the details as a text file where the
// user chose, proposed among their documents rather than in the output; the
// box stays up. A cancelled dialog writes nothing; a file that cannot be
// written is reported, naming it.
TEST_F(ReportTest, SaveReportWritesTheWordsAndEveryFailureAsText) {
    const QString report = TempPath("Reports/report.txt");
    QDir().mkpath(TempPath("Reports"));
    dialogs.pressSaveReport = true;
    dialogs.saveFiles = {report};
    ConvertWithTwoFailures();

    const auto& summary = dialogs.messages.back();
    ASSERT_EQ(summary.kind, ScriptedDialogs::Kind::Summary);
    ASSERT_EQ(dialogs.saveSuggestions.size(), 1);
    EXPECT_TRUE(dialogs.saveSuggestions.front().endsWith(".txt"));
    EXPECT_FALSE(dialogs.saveSuggestions.front().startsWith(TempPath("Out")));
    QString expected = summary.prompt + "\r\n\r\n" + summary.details + "\r\n";
#ifndef _WIN32
    expected.replace("\r\n", "\n");
#endif
    EXPECT_EQ(ReadText(report), expected);
    EXPECT_EQ(ReadText(report).count("Cannot open message file"), 2) << "one line per failure";
    EXPECT_EQ(ReadText(report).count(TempPath("Store/Inbox/gone1.eml")), 1);

    // Cancelled: nothing written, nothing said.
    QFile::remove(report);
    dialogs.messages.clear();
    window.ClearMessageList();
    ConvertWithTwoFailures();
    EXPECT_FALSE(QFile::exists(report));
    EXPECT_EQ(dialogs.messages.back().kind, ScriptedDialogs::Kind::Summary);

    const QString nowhere = TempPath("No such folder/report.txt");
    dialogs.messages.clear();
    dialogs.saveFiles = {nowhere};
    window.ClearMessageList();
    ConvertWithTwoFailures();
    ASSERT_GE(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages.back().icon, MessageIcon::Critical);
    EXPECT_TRUE(LastPrompt().startsWith("The report could not be saved:\r\n" + nowhere + "\r\n"))
        << LastPrompt().toStdString();
}

// Where the desktop cannot open the mailbox folder the user is told, with
// the path, and may have it copied.
TEST_F(ReportTest, AMailboxFolderTheDesktopCannotOpenIsNamedAndCanBeCopied) {
    dialogs.shellOpens = false;
    dialogs.openFolder = true;
    for (Answer answer : {Answer::No, Answer::Yes}) {
        QGuiApplication::clipboard()->setText("before");
        dialogs.answers = {answer};
        window.ClearMessageList();
        ConvertWithTwoFailures();
        ASSERT_EQ(dialogs.opened.size(), answer == Answer::No ? 1 : 2);
        const QString folder = dialogs.opened.back();
        EXPECT_EQ(dialogs.messages.back().icon, MessageIcon::Question);
        EXPECT_EQ(LastPrompt(), "The mailbox folder could not be opened: the desktop has no "
                                "program that opens it.\r\n" +
                                    folder + "\r\n\r\nCopy its path to the clipboard?");
        EXPECT_EQ(QGuiApplication::clipboard()->text(), answer == Answer::Yes ? folder : "before");
    }
}

// The box itself: the words above, the details in a read-only area that
// keeps one entry a line and can be selected and copied, the warning icon,
// and "Save Report..." that leaves it open.
TEST_F(ReportTest, TheReportBoxKeepsItsDetailsApartSelectableAndCopyable) {
    QStringList lines;
    for (int i = 0; i < 200; ++i) {
        lines << QString("/home/ann/Store/Inbox/message %1.eml: Cannot open message file: "
                         "Permission denied")
                     .arg(i);
    }
    int saves = 0;
    ReportDialog box(
        {"The words.", lines.join("\r\n"), true},
        [&](QWidget* over) {
            ++saves;
            EXPECT_NE(over, nullptr);
        },
        &window);
    box.show();
    QApplication::processEvents();
    EXPECT_EQ(box.windowTitle(), "Marrowgate");
    EXPECT_EQ(box.Text()->toPlainText(), "The words.");
    EXPECT_TRUE(box.Details()->isReadOnly());
    EXPECT_EQ(box.Details()->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(box.Details()->document()->blockCount(), 200);
    EXPECT_TRUE(box.Details()->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    box.Details()->selectAll();
    box.Details()->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), lines.join("\n"));

    Control<QPushButton>(box, "cmdSaveReport")->click();
    EXPECT_EQ(saves, 1);
    EXPECT_TRUE(box.isVisible()) << "saving leaves the box open";
    Control<QPushButton>(box, "cmdOpenFolder")->click();
    EXPECT_FALSE(box.isVisible());
    EXPECT_TRUE(box.OpenFolderChosen());
}

} // namespace
} // namespace marrowgate::test
