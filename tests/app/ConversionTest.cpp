#include "WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

namespace marrowgate::testing {
namespace {

const char kCompletion[] =
    "Your data has been successfully exported to .mbox format (Compatible for Entourage).\r\n"
    "Move converted folders to Mac machine and import it using below steps.\r\n"
    "***************************************************************************\r\n"
    "Start Entourage.\r\n"
    "On the File menu, click Import.\r\n"
    "Click Contacts or messages from a text file, and then click the right arrow.\r\n"
    "Click Import messages from an MBOX-format text file, and then click the right arrow.\r\n"
    "Follow the instructions on the screen. And it all done !";

class ConversionTest : public WindowTest {
protected:
    // What the progress display and the commands show as each row starts.
    struct Snapshot {
        int row;
        int bar;
        QString label;
        bool commandsBlocked;
        bool helpAndExitLive;
        bool operator==(const Snapshot&) const = default;
    };

    ConversionTest() {
        QObject::connect(
            window.grdFiles1->selectionModel(), &QItemSelectionModel::currentChanged, &window,
            [this](const QModelIndex& current) {
                snapshots.push_back(
                    {current.row(), window.ProgressBar1->value(), window.LblProgessCurrent->text(),
                     !window.CmdAddFolder->isEnabled() && !window.cmdClear1->isEnabled() &&
                         !window.CmdConvert2PDF->isEnabled(),
                     window.CmdHelp->isEnabled() && window.cmdEnd->isEnabled()});
            });
    }

    void List(const QStringList& paths) {
        for (const QString& path : paths) {
            window.AddMessagePath(path);
        }
        window.CmdConvert2PDF->setEnabled(true);
    }

    void Convert(const QString& outputRoot) {
        dialogs.folders.push_back(outputRoot);
        window.CmdConvert2PDF->click();
    }

    QString Out() const { return TempPath("Out"); }

    std::vector<Snapshot> snapshots;
};

TEST_F(ConversionTest, ConvertsEachFolderIntoItsMailboxAndShowsProgressAfterEachRow) {
    List({WriteMessage("Store/Inbox/a.eml", "a"), WriteMessage("Store/Inbox/b.eml", "b"),
          WriteMessage("Store/Inbox/c.eml", "c"), WriteMessage("Store/Sent/d.eml", "d")});
    QDir().mkpath(Out());
    Convert(Out());

    EXPECT_EQ(dialogs.browseTitles, QStringList{"Choose Folder to Save..."});
    const std::vector<Snapshot> expected{{0, 0, "Message 0 (of 0)", true, true},
                                         {1, 25, "Message 1 (of 4)", true, true},
                                         {2, 50, "Message 2 (of 4)", true, true},
                                         {3, 75, "Message 3 (of 4)", true, true}};
    EXPECT_EQ(snapshots, expected);
    EXPECT_EQ(window.ProgressBar1->value(), 100);
    EXPECT_EQ(window.LblProgessCurrent->text(), "Message 4 (of 4)");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(LastPrompt(), kCompletion);
    EXPECT_EQ(dialogs.messages.back().style, MsgStyle::Information);
    EXPECT_TRUE(window.CmdAddFolder->isEnabled());
    EXPECT_TRUE(window.cmdClear1->isEnabled());
    EXPECT_TRUE(window.CmdConvert2PDF->isEnabled());

    const QStringList inbox = FindFiles(Out(), "Inbox.mbox");
    const QStringList sent = FindFiles(Out(), "Sent.mbox");
    ASSERT_EQ(inbox.size(), 1);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_TRUE(inbox.front().endsWith("/Store/Inbox/Inbox.mbox"));
    EXPECT_EQ(ReadMailbox(inbox.front()).subjects, (QStringList{"a", "b", "c"}));
    EXPECT_EQ(ReadMailbox(sent.front()).subjects, QStringList{"d"});
}

TEST_F(ConversionTest, CancellingTheFolderDialogDoesNothing) {
    List({WriteMessage("Store/Inbox/a.eml", "a")});
    window.CmdConvert2PDF->click();
    EXPECT_EQ(dialogs.browseTitles.size(), 1u);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(snapshots.empty());
    EXPECT_EQ(window.LblProgessCurrent->text(), "Message 0 (of 0)");
    EXPECT_TRUE(window.CmdConvert2PDF->isEnabled());
}

TEST_F(ConversionTest, AnEmptyListHasNothingToConvert) {
    List({WriteMessage("Store/Inbox/a.eml", "a")});
    dialogs.answers = {MsgAnswer::Yes};
    window.cmdClear1->click();
    ASSERT_TRUE(window.CmdConvert2PDF->isEnabled()) << "a clear leaves the button as it was";

    dialogs.folders.push_back(Out());
    window.CmdConvert2PDF->click();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(LastPrompt().contains("no files in the list to convert"));
    EXPECT_TRUE(dialogs.browseTitles.empty()) << "no folder is asked for";
    EXPECT_TRUE(snapshots.empty());
    EXPECT_FALSE(QDir(Out()).exists());
}

TEST_F(ConversionTest, AFailingRowStopsTheRunWithAnErrorNamingTheFile) {
    const QString missing = TempPath("Store/Inbox/missing.eml");
    List({WriteMessage("Store/Inbox/a.eml", "a"), missing, WriteMessage("Store/Inbox/c.eml", "c")});
    Convert(Out());

    ASSERT_EQ(dialogs.messages.size(), 1u) << "no completion message";
    EXPECT_EQ(dialogs.messages.back().style, MsgStyle::Critical);
    EXPECT_TRUE(LastPrompt().contains(missing)) << LastPrompt().toStdString();
    EXPECT_TRUE(LastPrompt().contains("No such file or directory")) << LastPrompt().toStdString();
    EXPECT_EQ(window.LblProgessCurrent->text(), "Message 1 (of 3)");
    const QStringList inbox = FindFiles(Out(), "Inbox.mbox");
    ASSERT_EQ(inbox.size(), 1);
    EXPECT_EQ(ReadMailbox(inbox.front()).subjects, QStringList{"a"});
    EXPECT_TRUE(window.cmdClear1->isEnabled());
    EXPECT_TRUE(window.CmdConvert2PDF->isEnabled());
}

// A full disk stops the run like an unreadable message: a message names the
// file and the reason, the mailbox keeps whole records only, and the window
// stays usable: with room again, the next run converts the rest.
TEST_F(ConversionTest, AFullDiskStopsTheRunAndTheWindowStaysUsable) {
    const QString big = WriteMessage("Store/Inbox/big.eml", "big", QByteArray(200 * 1024, 'y'));
    List({WriteMessage("Store/Inbox/a.eml", "a"), big, WriteMessage("Store/Inbox/c.eml", "c")});

    // A file size limit makes the write fail part-way, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 100 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    Convert(Out());
    ::setrlimit(RLIMIT_FSIZE, &old);

    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages.back().style, MsgStyle::Critical);
    EXPECT_TRUE(LastPrompt().contains(big)) << LastPrompt().toStdString();
    EXPECT_TRUE(LastPrompt().contains("File too large")) << LastPrompt().toStdString();
    const QStringList inbox = FindFiles(Out(), "Inbox.mbox");
    ASSERT_EQ(inbox.size(), 1);
    EXPECT_TRUE(ReadMailbox(inbox.front()).wholeRecords);
    EXPECT_EQ(ReadMailbox(inbox.front()).subjects, QStringList{"a"});

    Convert(Out());
    EXPECT_EQ(LastPrompt(), kCompletion) << LastPrompt().toStdString();
    EXPECT_EQ(ReadMailbox(inbox.front()).subjects, (QStringList{"a", "big", "c"}));
}

// A name the file system holds as bytes that are not UTF-8 is listed and
// converted all the same.
TEST_F(ConversionTest, NamesThatAreNotUtf8AreConverted) {
    WriteMessage("Store/Odd/x", "odd");
    const QByteArray folder = QFile::encodeName(TempPath("Store/Odd/"));
    ASSERT_EQ(::rename(folder + "x", folder + "caf\xe9 \xff.eml"), 0);
    dialogs.folders.push_back(TempPath("Store"));
    window.CmdAddFolder->click();
    ASSERT_EQ(Rows().size(), 1);

    Convert(Out());
    EXPECT_EQ(LastPrompt(), kCompletion) << LastPrompt().toStdString();
    const QStringList odd = FindFiles(Out(), "Odd.mbox");
    ASSERT_EQ(odd.size(), 1);
    EXPECT_EQ(ReadMailbox(odd.front()).subjects, QStringList{"odd"});
}

// Closing the window, or Exit answered Yes, while messages are being
// converted ends the run after a whole record and closes without a message.
TEST_F(ConversionTest, ClosingDuringTheRunLeavesWholeRecordsOnly) {
    for (bool byExit : {false, true}) {
        SCOPED_TRACE(byExit ? "Exit answered Yes" : "close box");
        window.show();
        dialogs.messages.clear();
        const QString store = byExit ? "Exit" : "Close";
        const QByteArray body(256 * 1024, 'x');
        QStringList paths;
        for (int i = 0; i < 6; ++i) {
            paths << WriteMessage(QString("%1/Inbox/m%2.eml").arg(store).arg(i),
                                  QString("m%1").arg(i), body);
        }
        window.ClearMessageList();
        List(paths);
        int closedAfter = -1;
        auto connection = QObject::connect(window.ProgressBar1, &QProgressBar::valueChanged,
                                           &window, [&](int value) {
                                               if (closedAfter < 0 && value >= 33) {
                                                   closedAfter = value;
                                                   QTimer::singleShot(0, &window, [&] {
                                                       if (byExit) {
                                                           dialogs.answers = {MsgAnswer::Yes};
                                                           window.cmdEnd->click();
                                                       } else {
                                                           window.close();
                                                       }
                                                   });
                                               }
                                           });
        Convert(Out());
        QObject::disconnect(connection);

        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(dialogs.messages.size(), byExit ? 1u : 0u) << "no completion message";
        const QStringList inbox = FindFiles(Out() + "/", "Inbox.mbox").filter("/" + store + "/");
        ASSERT_EQ(inbox.size(), 1);
        const Mailbox mailbox = ReadMailbox(inbox.front());
        EXPECT_TRUE(mailbox.wholeRecords);
        const int done = window.LblProgessCurrent->text().section(' ', 1, 1).toInt();
        EXPECT_GE(done, 2);
        EXPECT_LT(done, 6) << "the rows after the close are not converted";
        EXPECT_EQ(mailbox.subjects.size(), done);
    }
}

} // namespace
} // namespace marrowgate::testing
