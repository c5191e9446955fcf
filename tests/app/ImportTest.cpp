#include "WindowFixture.h"

#include "app/WindowTexts.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace marrowgate::test {
namespace {

class ImportTest : public WindowTest {
protected:
    // 12 message files among others, three levels deep.
    QString MakeStoreWithTwelveMessages() {
        for (const char* name :
             {"Store/top1.eml", "Store/TOP2.EML", "Store/Inbox/a.eml", "Store/Inbox/b.eml",
              "Store/Inbox/c.Eml", "Store/Inbox/d.eml ", "Store/Sent/e.eml", "Store/Sent/f.eml",
              "Store/Inbox/Old/g.eml", "Store/Inbox/Old/h.eml", "Store/Inbox/Old/i.eml",
              "Store/Deleted Items/j.eml"}) {
            WriteMessage(name, name);
        }
        for (const char* other : {"Store/Inbox/a.emlx", "Store/notes.txt", "Store/Sent/eml",
                                  "Store/Inbox/Old/k.eml.bak", "Store/Empty/readme"}) {
            WriteFile(other, "not a message");
        }
        return TempPath("Store");
    }

    void Import(const QString& folder) {
        dialogs.folders.push_back(folder);
        Button("CmdAddFolder")->click();
    }
};

TEST_F(ImportTest, AddsTheMessageFilesOfTheWholeTreeBreadthFirst) {
    const QString store = MakeStoreWithTwelveMessages();
    Import(store);

    EXPECT_EQ(dialogs.browseTitles, QStringList{"Choose Source Folder..."});
    const QStringList rows = Rows();
    // Breadth first, each folder's files and subfolders by name, case aside:
    // the same order on every system.
    QStringList expected;
    for (const char* name :
         {"top1.eml", "TOP2.EML", "Deleted Items/j.eml", "Inbox/a.eml", "Inbox/b.eml",
          "Inbox/c.Eml", "Inbox/d.eml ", "Sent/e.eml", "Sent/f.eml", "Inbox/Old/g.eml",
          "Inbox/Old/h.eml", "Inbox/Old/i.eml"}) {
        expected << QDir::toNativeSeparators(store + "/" + name);
    }
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(Shown("lblCount1"), "12 files");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(LastPrompt(), "12 Files Added to List.");
    EXPECT_EQ(dialogs.messages.back().icon, MessageIcon::None);
    EXPECT_TRUE(Button("CmdConvert2PDF")->isEnabled());
    EXPECT_TRUE(Button("CmdAddFolder")->isEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// A folder added again adds only the files that are new since, and says how
// many; a folder can also be dropped onto the window. The dialog starts in the
// folder chosen last.
TEST_F(ImportTest, AFolderAddedAgainAddsOnlyItsNewFiles) {
    const QString store = MakeStoreWithTwelveMessages();
    Import(store);
    const QStringList rows = Rows();
    ASSERT_EQ(rows.size(), 12);

    Import(store + QDir::separator()); // a folder given with its separator gets no second one
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(LastPrompt(), "0 Files Added to List.");
    EXPECT_TRUE(Button("CmdConvert2PDF")->isEnabled()) << "the list still holds files to convert";

    const QString added = WriteMessage("Store/Sent/new.eml", "new");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(store), QUrl::fromLocalFile(added)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    EXPECT_EQ(Rows(), rows + QStringList{added}) << "the file dropped beside it is not a folder";
    EXPECT_EQ(LastPrompt(), "1 Files Added to List.");
    EXPECT_EQ(Shown("lblCount1"), "13 files");

    EXPECT_EQ(dialogs.browseStarts.mid(0, 2), (QStringList{QString(), store}));
    Button("CmdAddFolder")->click(); // cancelled
    EXPECT_EQ(dialogs.browseStarts.back(), store) << "a dropped folder is remembered too";
}

// Windows holds names as UTF-16 text, never as bytes that are not UTF-8.
#ifndef _WIN32
// Two names that are not UTF-8 may show as the same text: each is listed,
// once, however often its folder is added.
TEST_F(ImportTest, NamesThatShowAlikeAreStillListedOnceEach) {
    WriteMessage("Odd/x", "x");
    WriteMessage("Odd/y", "y");
    const QByteArray folder = QFile::encodeName(TempPath("Odd/"));
    ASSERT_EQ(::rename(folder + "x", folder + "caf\xe9.eml"), 0);
    ASSERT_EQ(::rename(folder + "y", folder + "caf\xe8.eml"), 0);
    Import(TempPath("Odd"));
    Import(TempPath("Odd"));
    ASSERT_EQ(Rows().size(), 2);
    EXPECT_EQ(Rows().front(), Rows().back()) << "shown alike";
    EXPECT_NE(window.MessageList().RowText(0), window.MessageList().RowText(1));
    EXPECT_EQ(LastPrompt(), "0 Files Added to List.");
}
#endif

// Counts are written with the locale's thousands separators.
TEST_F(ImportTest, TheAddedCountHasThousandsSeparators) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(FilesAddedText(20000), "20,000 Files Added to List.");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FilesAddedText(1234567), "1.234.567 Files Added to List.");
    QLocale::setDefault(before);
}

TEST_F(ImportTest, ATreeWithoutMessagesAddsNothingAndKeepsTheList) {
    WriteFile("Other/notes.txt", "x");
    WriteFile("Other/Deep/a.emlx", "x");
    Import(TempPath("Other"));
    EXPECT_EQ(LastPrompt(), "0 Files Added to List.");
    EXPECT_FALSE(Button("CmdConvert2PDF")->isEnabled()) << "nothing to convert";

    Import(MakeStoreWithTwelveMessages());
    Import(TempPath("Other"));
    EXPECT_EQ(LastPrompt(), "0 Files Added to List.");
    EXPECT_TRUE(Button("CmdConvert2PDF")->isEnabled()) << "the list's files can still be converted";
    EXPECT_EQ(Rows().size(), 12);

    const auto shown = dialogs.messages.size();
    Button("CmdAddFolder")->click(); // the dialog cancelled
    EXPECT_EQ(dialogs.messages.size(), shown);
    EXPECT_EQ(Rows().size(), 12);
}

TEST_F(ImportTest, AClearDuringTheImportEmptiesTheListAndTheRestIsAppended) {
    const QString store = MakeStoreWithTwelveMessages();
    window.AddMessagePath("/earlier/x.eml");
    window.AddMessagePath("/earlier/y.eml");
    bool cleared = false;
    QObject::connect(&window.MessageList(), &QAbstractItemModel::rowsInserted, &window, [&] {
        if (cleared || window.MessageList().RowCount() != 5) {
            return;
        }
        cleared = true;
        // Handled at the import's next yield, as a click would be.
        QTimer::singleShot(0, &window, [&] {
            EXPECT_FALSE(Button("CmdAddFolder")->isEnabled());
            EXPECT_FALSE(Button("CmdConvert2PDF")->isEnabled());
            EXPECT_TRUE(Button("cmdClear1")->isEnabled());
            window.CmdAddFolder_Click();   // a second import cannot start
            window.CmdConvert2PDF_Click(); // nor a conversion
            Button("cmdClear1")->click();
        });
    });
    dialogs.answers = {Answer::Yes};
    Import(store);

    EXPECT_TRUE(cleared);
    EXPECT_EQ(dialogs.browseTitles.size(), 1u);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages.front().prompt,
              "Do you want to clear all the files in the list\r\n Proceed?");
    EXPECT_EQ(LastPrompt(), "12 Files Added to List.");
    const QStringList rows = Rows();
    EXPECT_EQ(rows.size(), 9);
    EXPECT_TRUE(rows.filter("/earlier/").isEmpty());
    EXPECT_EQ(Shown("lblCount1"), "9 files");
    EXPECT_TRUE(Button("CmdAddFolder")->isEnabled());
    EXPECT_TRUE(Button("CmdConvert2PDF")->isEnabled());
}

// Closing asks as Exit does; Yes stops the import there.
TEST_F(ImportTest, ClosingDuringTheImportAsksAndStopsIt) {
    const QString store = MakeStoreWithTwelveMessages();
    dialogs.answers = {Answer::Yes};
    QObject::connect(&window.MessageList(), &QAbstractItemModel::rowsInserted, &window, [&] {
        if (window.MessageList().RowCount() == 3) {
            QTimer::singleShot(0, &window, &QWidget::close);
        }
    });
    Import(store);
    EXPECT_FALSE(window.isVisible());
    ASSERT_EQ(dialogs.messages.size(), 1u) << "no count message";
    EXPECT_EQ(LastPrompt(), "Are you sure you want to exit now?");
    EXPECT_EQ(Rows().size(), 3);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// Windows takes paths of 32,767 characters, and a chain that deep is more
// than a test should make.
#ifndef _WIN32
// A folder chain deeper than the longest path the system accepts: listing
// its bottom fails whoever runs the test.
void MakeTooDeepTree(const QString& top) {
    const std::string name(200, 'd');
    int fd = ::open(top.toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int depth = 0; depth < 24; ++depth) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    ::close(fd);
}

TEST_F(ImportTest, AWalkFailureNamesTheFolderAndLeavesTheListAsItWas) {
    WriteMessage("Deep/top.eml", "top");
    MakeTooDeepTree(TempPath("Deep"));
    window.AddMessagePath("/earlier/x.eml");
    Button("CmdConvert2PDF")->setEnabled(true);

    Import(TempPath("Deep"));

    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages.back().icon, MessageIcon::Critical);
    EXPECT_TRUE(LastPrompt().contains(TempPath("Deep") + "/" + QString(200, 'd')))
        << LastPrompt().toStdString();
    EXPECT_EQ(Rows(), QStringList{"/earlier/x.eml"});
    EXPECT_TRUE(Button("CmdConvert2PDF")->isEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // Deeper than QTemporaryDir can remove.
    QProcess::execute("rm", {"-rf", TempPath("Deep")});
}
#endif

// The first time, the store dialog starts in the store the user's mail
// program keeps, which Explorer hides, and its title says where that is; a
// folder picked since comes first.
TEST_F(ImportTest, TheStoreDialogStartsInTheStoreFound) {
    const QString store = QDir::toNativeSeparators(TempPath("Local/Microsoft/Windows Live Mail"));
    ASSERT_TRUE(QDir().mkpath(store));
    const QString other = QDir::toNativeSeparators(TempPath("Other"));
    ASSERT_TRUE(QDir().mkpath(other));
    struct LocalAppData { // set for the test, as it was after
        explicit LocalAppData(const QString& folder)
            : wasSet(qEnvironmentVariableIsSet("LOCALAPPDATA")), saved(qgetenv("LOCALAPPDATA")) {
            qputenv("LOCALAPPDATA", QDir::toNativeSeparators(folder).toUtf8());
        }
        ~LocalAppData() { wasSet ? qputenv("LOCALAPPDATA", saved) : qunsetenv("LOCALAPPDATA"); }
        bool wasSet;
        QByteArray saved;
    } localAppData(TempPath("Local"));
    Button("CmdAddFolder")->click(); // cancelled
    Import(other);
    Button("CmdAddFolder")->click();

    EXPECT_EQ(dialogs.browseStarts, (QStringList{store, store, other}));
    EXPECT_EQ(dialogs.browseTitles.front(),
              "Choose Source Folder... (Windows Live Mail store found: " + store + ")");
}

} // namespace
} // namespace marrowgate::test
