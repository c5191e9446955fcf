#include "WindowFixture.h"

#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>

#include <cstdio>
#include <deque>

namespace marrowgate::test {
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
        QObject::connect(Grid()->selectionModel(), &QItemSelectionModel::currentChanged, &window,
                         [this](const QModelIndex& current) {
                             snapshots.push_back(
                                 {current.row(), Bar()->value(), Label("LblProgessCurrent")->text(),
                                  !Button("CmdAddFolder")->isEnabled() &&
                                      !Button("cmdClear1")->isEnabled() &&
                                      !Button("CmdConvert2PDF")->isEnabled(),
                                  Button("CmdHelp")->isEnabled() && Button("cmdEnd")->isEnabled()});
                         });
    }

    void List(const QStringList& paths) {
        for (const QString& path : paths) {
            window.AddMessagePath(path);
        }
        Button("CmdConvert2PDF")->setEnabled(true);
    }

    void Convert(const QString& outputRoot) {
        dialogs.folders.push_back(outputRoot);
        Button("CmdConvert2PDF")->click();
    }

    QString Out() const { return TempPath("Out"); }
    // Where the mailboxes of the messages under Store go.
    QString Mailboxes() const { return MirroredFolder(Out(), TempPath("Store")); }

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
    EXPECT_EQ(Bar()->value(), 100);
    EXPECT_EQ(Label("LblProgessCurrent")->text(), "Message 4 (of 4)");
    EXPECT_EQ(Label("Label4")->text(), "No conversion running.");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages.back().kind, ScriptedDialogs::Kind::Summary);
    EXPECT_EQ(LastPrompt(), kCompletion) << "the written words, and nothing else";
    EXPECT_EQ(dialogs.messages.back().icon, MessageIcon::Information);
    EXPECT_TRUE(Button("CmdAddFolder")->isEnabled());
    EXPECT_TRUE(Button("cmdClear1")->isEnabled());
    EXPECT_TRUE(Button("CmdConvert2PDF")->isEnabled());

    const QStringList inbox = FindFiles(Out(), "Inbox.mbox");
    const QStringList sent = FindFiles(Out(), "Sent.mbox");
    ASSERT_EQ(inbox.size(), 1);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_TRUE(inbox.front().endsWith("/Store/Inbox/Inbox.mbox"));
    EXPECT_EQ(ReadMailbox(inbox.front()).subjects, (QStringList{"a", "b", "c"}));
    EXPECT_EQ(ReadMailbox(sent.front()).subjects, QStringList{"d"});
}

// The details of the box that ends a run give its figures, the output folder
// and the folder in it that holds the mailboxes (deep below, as the store
// lies deep below its root), and its button opens that folder.
TEST_F(ConversionTest, TheSummaryCountsMessagesAndMailboxesAndOpensTheOutputFolder) {
    List({WriteMessage("Store/Inbox/a.eml", "a"), WriteMessage("Store/Inbox/b.eml", "b"),
          WriteMessage("Store/Sent/c.eml", "c")});
    Convert(Out());
    EXPECT_EQ(LastDetails(), "Messages converted: 3\r\n"
                             "Messages already converted: 0\r\n"
                             "Empty files, nothing to convert: 0\r\n"
                             "Messages not reached (stopped): 0\r\n"
                             "Messages failed: 0\r\n"
                             "Mailboxes created: 2\r\n"
                             "Mailboxes appended to: 0\r\n"
                             "Output folder: " +
                                 Out() + "\r\nThe mailboxes are in: " + Mailboxes() +
                                 "\r\n\r\nAll 3 messages verified.");
    EXPECT_TRUE(dialogs.opened.isEmpty()) << "OK opens nothing";

    // New messages of the same folders grow the mailboxes already written.
    window.ClearMessageList();
    List({WriteMessage("Store/Inbox/d.eml", "d"), WriteMessage("Store/Sent/e.eml", "e")});
    dialogs.openFolder = true;
    Convert(Out());
    EXPECT_TRUE(LastDetails().contains("Messages converted: 2\r\n")) << LastDetails().toStdString();
    EXPECT_TRUE(LastDetails().contains("Mailboxes created: 0\r\nMailboxes appended to: 2\r\n"))
        << LastDetails().toStdString();
    EXPECT_EQ(dialogs.opened, QStringList{Mailboxes()}) << "where the mailboxes are";

    // Two stores: the folder that holds both.
    window.ClearMessageList();
    List({WriteMessage("Store/Inbox/f.eml", "f"), WriteMessage("Other/Sent/g.eml", "g")});
    Convert(Out());
    EXPECT_EQ(dialogs.opened.back(), MirroredFolder(Out(), TempPath("")));
    EXPECT_EQ(
        dialogs.browseStarts.mid(0, 2),
        (QStringList{QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), Out()}))
        << "the output dialog starts among the documents, then where the last run wrote";
}

// Beside "Message i (of m)" the window shows the megabytes done of all, the
// speed, the time taken and left, and the share done in its title; the check
// after the run shows its own share; at the end the title is the program's
// name again and the figures sum the run up.
TEST_F(ConversionTest, ProgressShowsMegabytesTimeAndTheCheckAfterTheRun) {
    QStringList paths;
    qint64 bytes = 0;
    std::vector<qint64> passed{0};
    for (int i = 0; i < 4; ++i) {
        paths << WriteMessage(QString("Store/Inbox/m%1.eml").arg(i), QString("m%1").arg(i),
                              QByteArray(300'000 * (i + 1), 'x'));
        bytes += QFileInfo(paths.back()).size();
        passed.push_back(bytes);
    }
    List(paths);
    struct Seen {
        QString state;
        QString figures;
        QString title;
        int bar;
    };
    std::vector<Seen> seen;
    const auto note = [&] {
        seen.push_back({Label("Label4")->text(), Label("lblProgressFigures")->text(),
                        window.windowTitle(), Bar()->value()});
    };
    QObject::connect(Bar(), &QProgressBar::valueChanged, &window, note);
    Convert(Out());

    const auto megabytes = [](qint64 n) {
        return QString::number(static_cast<double>(n) / 1e6, 'f', 1);
    };
    const QRegularExpression figures(
        R"(^(\d+\.\d) of (\d+\.\d) MB, \d+\.\d MB/s, \d+:\d\d elapsed(, \d+:\d\d left)?$)");
    int converting = 0;
    int checking = 0;
    for (const Seen& s : seen) {
        if (s.state == "Converting Messages..." && s.bar < 100) {
            const QRegularExpressionMatch match = figures.match(s.figures);
            ASSERT_TRUE(match.hasMatch()) << s.figures.toStdString();
            EXPECT_EQ(match.captured(1), megabytes(passed[static_cast<std::size_t>(s.bar / 25)]));
            EXPECT_EQ(match.captured(2), megabytes(bytes));
            EXPECT_EQ(s.title, QString("%1% - Marrowgate").arg(s.bar));
            ++converting;
        } else if (s.state == "Verifying Messages...") {
            EXPECT_TRUE(s.figures.startsWith(QString("Checked %1 of 4 messages, ").arg(s.bar / 25)))
                << s.figures.toStdString();
            EXPECT_EQ(s.title, QString("%1% - Marrowgate").arg(s.bar));
            ++checking;
        }
    }
    EXPECT_EQ(converting, 3) << "25, 50 and 75 %";
    EXPECT_GE(checking, 4) << "the check starts again from 0";
    EXPECT_EQ(window.windowTitle(), "Marrowgate");
    EXPECT_TRUE(QRegularExpression(R"(^\d+\.\d MB in \d+:\d\d, \d+\.\d MB/s$)")
                    .match(Label("lblProgressFigures")->text())
                    .hasMatch())
        << Label("lblProgressFigures")->text().toStdString();
    EXPECT_TRUE(Label("lblProgressFigures")->text().startsWith(megabytes(bytes) + " MB in "));
}

TEST_F(ConversionTest, CancellingTheFolderDialogDoesNothing) {
    List({WriteMessage("Store/Inbox/a.eml", "a")});
    Button("CmdConvert2PDF")->click();
    EXPECT_EQ(dialogs.browseTitles.size(), 1u);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(snapshots.empty());
    EXPECT_EQ(Label("LblProgessCurrent")->text(), "Message 0 (of 0)");
    EXPECT_TRUE(Button("CmdConvert2PDF")->isEnabled());
}

TEST_F(ConversionTest, AnEmptyListHasNothingToConvert) {
    List({WriteMessage("Store/Inbox/a.eml", "a")});
    dialogs.answers = {Answer::Yes};
    Button("cmdClear1")->click();
    ASSERT_TRUE(Button("CmdConvert2PDF")->isEnabled()) << "a clear leaves the button as it was";

    dialogs.folders.push_back(Out());
    Button("CmdConvert2PDF")->click();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(LastPrompt().contains("no files in the list to convert"));
    EXPECT_TRUE(dialogs.browseTitles.empty()) << "no folder is asked for";
    EXPECT_TRUE(snapshots.empty());
    EXPECT_FALSE(QDir(Out()).exists());
}

// After a message that cannot be read the user skips it, skips every later
// failure too, or stops; the summary then lists what failed.
TEST_F(ConversionTest, AFailedMessageCanBeSkippedOrStopTheRun) {
    using Choices = std::deque<FailureChoice>;
    const struct {
        const char* name;
        Choices choices;
        int asked;
        QStringList converted;
        int failed;
    } cases[] = {
        {"SkipEach", {FailureChoice::SkipThis, FailureChoice::SkipThis}, 2, {"a", "c", "e"}, 2},
        {"SkipAll", {FailureChoice::SkipAll}, 1, {"a", "c", "e"}, 2},
        {"Stop", {FailureChoice::Stop}, 1, {"a"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString store = QString("%1/Inbox/").arg(c.name);
        const QString missing1 = TempPath(store + "missing1.eml");
        const QString missing2 = TempPath(store + "missing2.eml");
        window.ClearMessageList();
        dialogs.messages.clear();
        List({WriteMessage(store + "a.eml", "a"), missing1, WriteMessage(store + "c.eml", "c"),
              missing2, WriteMessage(store + "e.eml", "e")});
        dialogs.failureChoices = c.choices;
        std::vector<int> shownRows; // the list's current row as each question shows
        dialogs.onMessage = [&](const ScriptedDialogs::Shown&) {
            shownRows.push_back(Grid()->currentIndex().row());
        };
        Convert(Out());
        dialogs.onMessage = nullptr;
        EXPECT_EQ(shownRows.front(), 1) << "the failed row";

        ASSERT_EQ(dialogs.messages.size(), static_cast<std::size_t>(c.asked) + 1);
        const auto& first = dialogs.messages.front();
        EXPECT_EQ(first.kind, ScriptedDialogs::Kind::Failure);
        EXPECT_TRUE(first.prompt.startsWith("Message 2 (of 5) could not be converted:\r\n"))
            << first.prompt.toStdString();
        EXPECT_TRUE(first.prompt.contains("\r\n" + missing1 +
                                          ": Cannot open message file: No such file or "
                                          "directory\r\n"))
            << first.prompt.toStdString();
        if (c.asked == 2) {
            EXPECT_TRUE(dialogs.messages[1].prompt.startsWith("Message 4 (of 5)"));
        }

        // The figures split the rows by what became of them; each failure is
        // one line, the file and why. The closing words fit the outcome.
        const auto& summary = dialogs.messages.back();
        EXPECT_EQ(summary.kind, ScriptedDialogs::Kind::Summary);
        EXPECT_EQ(summary.icon, MessageIcon::Warning);
        const bool stopped = c.failed == 1;
        EXPECT_TRUE(summary.details.startsWith(
            QString("Messages converted: %1\r\n").arg(c.converted.size()) +
            QString("Messages already converted: 0\r\n"
                    "Empty files, nothing to convert: 0\r\n") +
            QString("Messages not reached (stopped): %1\r\n").arg(stopped ? 3 : 0) +
            QString("Messages failed: %1\r\n").arg(c.failed)))
            << summary.details.toStdString();
        EXPECT_TRUE(summary.details.contains(
            "\r\nFailed messages (file: reason):\r\n" + missing1 +
            ": Cannot open message file: No such file or directory" +
            (c.failed == 2 ? "\r\n" + missing2 +
                                 ": Cannot open message file: No such file or "
                                 "directory"
                           : QString())))
            << summary.details.toStdString();
        EXPECT_FALSE(summary.prompt.contains("And it all done")) << "some messages are missing";
        EXPECT_FALSE(summary.prompt.contains("successfully"));
        if (stopped) {
            const QString where =
                QString("1 of 5 converted; convert again into %1 to finish.").arg(Out());
            EXPECT_EQ(summary.prompt, "The conversion was stopped before the end of the list.\r\n" +
                                          where +
                                          "\r\nImport the mailboxes once every message is "
                                          "converted.");
            EXPECT_EQ(Label("Label4")->toolTip(), where) << "the window says it too";
            EXPECT_FALSE(Label("lblProgressFigures")->text().contains("left"))
                << Label("lblProgressFigures")->text().toStdString();
        } else {
            EXPECT_TRUE(summary.prompt.startsWith(
                "Your data has been exported to .mbox format (Compatible for Entourage), except "
                "for 2 message(s) that could not be converted: the details name each message "
                "file and the reason.\r\nMove converted folders"))
                << summary.prompt.toStdString();
            EXPECT_TRUE(summary.prompt.endsWith("\r\nFollow the instructions on the screen."));
            EXPECT_EQ(Label("Label4")->text(), "No conversion running.");
        }

        EXPECT_EQ(Label("LblProgessCurrent")->text(),
                  c.failed == 2 ? "Message 5 (of 5)" : "Message 1 (of 5)");
        const QStringList inbox = FindFiles(TempPath("Out/"), "Inbox.mbox").filter(c.name);
        ASSERT_EQ(inbox.size(), 1);
        EXPECT_EQ(ReadMailbox(inbox.front()).subjects, c.converted);
        EXPECT_TRUE(Button("CmdConvert2PDF")->isEnabled());
    }
}

// Windows has no file size limit to stand in for a full disk.
#ifndef _WIN32
// A full disk stops the run like an unreadable message: a message names the
// file and the reason, the mailbox keeps whole records only, and the window
// stays usable: with room again, the next run converts the rest.
TEST_F(ConversionTest, AFullDiskStopsTheRunAndTheWindowStaysUsable) {
    const QString big = WriteMessage("Store/Inbox/big.eml", "big", QByteArray(200 * 1024, 'y'));
    List({WriteMessage("Store/Inbox/a.eml", "a"), big, WriteMessage("Store/Inbox/c.eml", "c")});

    test::WithFileSizeLimit(100 * 1024, [&] { Convert(Out()); });

    ASSERT_EQ(dialogs.messages.size(), 2u) << "the failure, then the summary";
    const QString failure = dialogs.messages.front().prompt;
    EXPECT_EQ(dialogs.messages.front().kind, ScriptedDialogs::Kind::Failure);
    EXPECT_TRUE(failure.contains(big)) << failure.toStdString();
    EXPECT_TRUE(failure.contains("File too large")) << failure.toStdString();
    const QStringList inbox = FindFiles(Out(), "Inbox.mbox");
    ASSERT_EQ(inbox.size(), 1);
    EXPECT_TRUE(ReadMailbox(inbox.front()).wholeRecords);
    EXPECT_EQ(ReadMailbox(inbox.front()).subjects, QStringList{"a"});

    Convert(Out());
    EXPECT_EQ(LastPrompt(), kCompletion);
    EXPECT_TRUE(
        LastDetails().startsWith("Messages converted: 2\r\nMessages already converted: 1\r\n"))
        << LastDetails().toStdString();
    EXPECT_EQ(ReadMailbox(inbox.front()).subjects, (QStringList{"a", "big", "c"}));
}

// A name the file system holds as bytes that are not UTF-8 is listed and
// converted all the same. (Windows holds names as UTF-16 text.)
TEST_F(ConversionTest, NamesThatAreNotUtf8AreConverted) {
    WriteMessage("Store/Odd/x", "odd");
    const QByteArray folder = QFile::encodeName(TempPath("Store/Odd/"));
    ASSERT_EQ(::rename(folder + "x", folder + "caf\xe9 \xff.eml"), 0);
    dialogs.folders.push_back(TempPath("Store"));
    Button("CmdAddFolder")->click();
    ASSERT_EQ(Rows().size(), 1);

    Convert(Out());
    EXPECT_EQ(LastPrompt(), kCompletion);
    const QStringList odd = FindFiles(Out(), "Odd.mbox");
    ASSERT_EQ(odd.size(), 1);
    EXPECT_EQ(ReadMailbox(odd.front()).subjects, QStringList{"odd"});
}
#endif

// Closing the window or Exit while messages are being converted asks whether
// to stop. Yes ends the run after a whole record, says how far it came and
// where to convert again, and closes without a summary; the same conversion
// run again finishes it. No lets the run finish.
TEST_F(ConversionTest, ClosingDuringTheRunAsksAndLeavesWholeRecordsOnly) {
    const struct {
        const char* name;
        bool byExit;
        Answer answer;
    } cases[] = {{"CloseYes", false, Answer::Yes},
                 {"CloseNo", false, Answer::No},
                 {"ExitYes", true, Answer::Yes},
                 {"ExitNo", true, Answer::No}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window.show();
        dialogs.messages.clear();
        const QByteArray body(256 * 1024, 'x');
        QStringList paths;
        for (int i = 0; i < 6; ++i) {
            paths << WriteMessage(QString("%1/Inbox/m%2.eml").arg(c.name).arg(i),
                                  QString("m%1").arg(i), body);
        }
        window.ClearMessageList();
        List(paths);
        int closedAfter = -1;
        auto connection =
            QObject::connect(Bar(), &QProgressBar::valueChanged, &window, [&](int value) {
                if (closedAfter < 0 && value >= 33) {
                    closedAfter = value;
                    QTimer::singleShot(0, &window, [&] {
                        dialogs.answers = {c.answer};
                        if (c.byExit) {
                            Button("cmdEnd")->click();
                        } else {
                            window.close();
                        }
                    });
                }
            });
        Convert(Out());
        QObject::disconnect(connection);

        const bool stopped = c.answer == Answer::Yes;
        EXPECT_EQ(window.isVisible(), !stopped);
        ASSERT_EQ(dialogs.messages.size(), 2u)
            << "the question, then where it stopped or the summary";
        EXPECT_EQ(dialogs.messages.front().prompt,
                  "A conversion is running. Stop after the current message?");
        EXPECT_EQ(dialogs.messages.front().icon, MessageIcon::Question);
        const QStringList inbox = FindFiles(Out() + "/", "Inbox.mbox").filter(c.name);
        ASSERT_EQ(inbox.size(), 1);
        const Mailbox mailbox = ReadMailbox(inbox.front());
        EXPECT_TRUE(mailbox.wholeRecords);
        const int done = Label("LblProgessCurrent")->text().section(' ', 1, 1).toInt();
        EXPECT_EQ(mailbox.subjects.size(), done);
        if (stopped) {
            EXPECT_GE(done, 2);
            EXPECT_LT(done, 6) << "the rows after the close are not converted";
            EXPECT_EQ(dialogs.messages.back().kind, ScriptedDialogs::Kind::Message);
            EXPECT_EQ(LastPrompt(), QString("%1 of 6 converted; convert again into %2 to finish.")
                                        .arg(done)
                                        .arg(Out()));
            // Opened again, the same conversion finishes the job: each message once.
            window.show();
            Convert(Out());
            EXPECT_TRUE(LastDetails().startsWith(QString("Messages converted: %1\r\n"
                                                         "Messages already converted: %2\r\n")
                                                     .arg(6 - done)
                                                     .arg(done)))
                << LastDetails().toStdString();
            EXPECT_EQ(ReadMailbox(inbox.front()).subjects,
                      (QStringList{"m0", "m1", "m2", "m3", "m4", "m5"}));
        } else {
            EXPECT_EQ(done, 6);
            EXPECT_EQ(dialogs.messages.back().kind, ScriptedDialogs::Kind::Summary);
        }
    }
}

} // namespace
} // namespace marrowgate::test
