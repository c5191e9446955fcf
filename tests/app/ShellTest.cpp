#include "WindowFixture.h"

#include "app/HelpViewer.h"
#include "app/registryShell.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

namespace marrowgate::test {
namespace {

using ShellTest = WindowTest;

// Help hands the manual to the desktop every time it is pressed. On a
// desktop without a browser the manual opens in a window of its own, over
// the main window, which says why and where the manual is and can copy its
// path; once however often Help is pressed, and again after Escape closed it.
TEST_F(ShellTest, HelpOpensTheManualOrWithoutABrowserItsOwnWindow) {
    Button("CmdHelp")->click();
    Button("CmdHelp")->click();
    ASSERT_EQ(dialogs.opened.size(), 2);
    const QString manual = dialogs.opened.front();
    EXPECT_EQ(dialogs.opened.back(), manual);
    EXPECT_TRUE(manual.endsWith(QDir::toNativeSeparators("help/entourage/index.html")));
    EXPECT_EQ(window.HelpWindow(), nullptr) << "the desktop took it";

    dialogs.shellOpens = false;
    Button("CmdHelp")->click();
    HelpViewer* viewer = window.HelpWindow();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->isWindow());
    EXPECT_EQ(viewer->Browser()->source(), QUrl::fromLocalFile(manual));
    EXPECT_TRUE(viewer->Notice()->isVisible());
    EXPECT_TRUE(viewer->Notice()->text().remove(QChar(0x200B)).endsWith("\n" + manual))
        << viewer->Notice()->text().toStdString();
    viewer->CopyButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), manual);
    EXPECT_TRUE(viewer->geometry().contains(window.geometry().center()));
    EXPECT_TRUE(window.screen()->availableGeometry().contains(viewer->geometry()));

    Button("CmdHelp")->click();
    EXPECT_EQ(window.HelpWindow(), viewer);
    EXPECT_EQ(window.findChildren<HelpViewer*>().size(), 1);

    viewer->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(viewer));
    QTest::keyClick(viewer, Qt::Key_Escape); // closes and deletes itself
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.HelpWindow(), nullptr);
    Button("CmdHelp")->click();
    ASSERT_NE(window.HelpWindow(), nullptr);
    EXPECT_TRUE(window.HelpWindow()->isVisible());
    EXPECT_TRUE(dialogs.messages.empty());
}

// The program sits in prefix/bin; the manual beside it (the build folder),
// under prefix/share (installed), both or neither.
TEST_F(ShellTest, HelpManualIsFoundInTheBuildFolderAndWhereItIsInstalled) {
    const QString beside = "bin/help/entourage/index.html";
    const QString installed = "share/marrowgate/help/entourage/index.html";
    const struct {
        QStringList present;
        QString expected;
    } cases[] = {{{beside}, beside},
                 {{installed}, installed},
                 {{beside, installed}, beside},
                 {{}, installed}};
    for (const auto& c : cases) {
        QTemporaryDir prefix;
        for (const auto& page : c.present) {
            QDir(prefix.path()).mkpath(QFileInfo(prefix.filePath(page)).path());
            QFile(prefix.filePath(page)).open(QIODevice::WriteOnly);
        }
        EXPECT_EQ(HelpViewer::ManualPath(prefix.filePath("bin")),
                  QDir::toNativeSeparators(prefix.filePath(c.expected)))
            << c.present.join(", ").toStdString();
    }
}

// Exit and the close box ask the same question; only Yes closes. A logout or
// SIGTERM closes without asking.
TEST_F(ShellTest, ExitAndTheCloseBoxAskAndOnlyYesCloses) {
    QSignalSpy unloaded(&window, &frmStep1::Unloaded);
    for (bool byExit : {true, false}) {
        SCOPED_TRACE(byExit ? "Exit" : "close box");
        window.show();
        dialogs.messages.clear();
        dialogs.answers = {Answer::No, Answer::Yes};
        const auto closeNow = [&] { byExit ? Button("cmdEnd")->click() : (void)window.close(); };
        closeNow();
        EXPECT_TRUE(window.isVisible());
        const auto before = unloaded.count();
        closeNow();
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(unloaded.count(), before + 1);
        ASSERT_EQ(dialogs.messages.size(), 2u);
        for (const auto& shown : dialogs.messages) {
            EXPECT_EQ(shown.prompt, "Are you sure you want to exit now?");
            EXPECT_EQ(shown.icon, MessageIcon::Question);
        }
    }

    window.show();
    dialogs.messages.clear();
    window.CloseWithoutAsking();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(unloaded.count(), 3);
    EXPECT_TRUE(dialogs.messages.empty());
}

// The output folder may be typed in before it exists: the dialog creates it,
// parents and all. The source folder dialog does not.
TEST_F(ShellTest, TheOutputDialogCreatesAFolderTypedIn) {
    for (bool createMissing : {false, true}) {
        SCOPED_TRACE(createMissing ? "output" : "source");
        const QString wanted = TempPath(createMissing ? "New/Out" : "Missing/Store");
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->selectFile(wanted);
            // A refusal is a message box of its own: answered as it shows.
            QTimer::singleShot(0, [] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    box->close();
                }
            });
            static_cast<QDialog*>(dialog)->accept();
            if (dialog->isVisible()) {
                dialog->reject();
            }
        });
        const QString chosen = BrowseForFolder(&window, "Folder", TempPath(""), createMissing);
        EXPECT_EQ(chosen, createMissing ? wanted : QString());
        EXPECT_EQ(QFileInfo(wanted).isDir(), createMissing);
    }
}

// Receives what the shell would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls.push_back(url); }
};

TEST(RegistryShell, OpensLocalPathsAsFileUrlsAndAddressesAsTheyAre) {
    UrlCatcher catcher;
    for (const char* scheme : {"file", "https"}) {
        QDesktopServices::setUrlHandler(scheme, &catcher, "Open");
    }
    EXPECT_FALSE(OpenWithShell(QString()));
    EXPECT_TRUE(catcher.urls.empty()) << "the empty text opens nothing";
    EXPECT_TRUE(OpenWithShell("/opt/marrowgate/help/entourage/index.html"));
    EXPECT_TRUE(OpenWithShell("https://example.com/entourage/"));
    for (const char* scheme : {"file", "https"}) {
        QDesktopServices::unsetUrlHandler(scheme);
    }
    EXPECT_EQ(catcher.urls,
              (std::vector<QUrl>{QUrl("file:///opt/marrowgate/help/entourage/index.html"),
                                 QUrl("https://example.com/entourage/")}));
}

} // namespace
} // namespace marrowgate::test

#include "ShellTest.moc"
