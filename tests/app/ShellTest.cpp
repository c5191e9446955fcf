#include "WindowFixture.h"

#include "shell/registryShell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

namespace marrowgate::testing {
namespace {

using ShellTest = WindowTest;

TEST_F(ShellTest, HelpOpensTheManualEveryTime) {
    window.CmdHelp->click();
    window.CmdHelp->click();
    const QString manual = frmStep1::HelpManualPath(QCoreApplication::applicationDirPath());
    EXPECT_EQ(dialogs.opened, (QStringList{manual, manual}));
    EXPECT_TRUE(manual.endsWith(QDir::toNativeSeparators("help/entourage/index.html")));
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
        EXPECT_EQ(frmStep1::HelpManualPath(prefix.filePath("bin")),
                  QDir::toNativeSeparators(prefix.filePath(c.expected)))
            << c.present.join(", ").toStdString();
    }
}

TEST_F(ShellTest, ExitAsksAndOnlyYesClosesWhileTheCloseBoxAsksNothing) {
    QSignalSpy unloaded(&window, &frmStep1::Unloaded);
    dialogs.answers = {MsgAnswer::No, MsgAnswer::Yes};
    window.cmdEnd->click();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(unloaded.count(), 0);
    window.cmdEnd->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(unloaded.count(), 1);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    for (const auto& shown : dialogs.messages) {
        EXPECT_EQ(shown.prompt, "Are you sure you want to exit now?");
        EXPECT_EQ(shown.style, MsgStyle::YesNoQuestion);
    }

    window.show();
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(unloaded.count(), 2);
    EXPECT_EQ(dialogs.messages.size(), 2u);
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
    OpenWithShell(QString());
    EXPECT_TRUE(catcher.urls.empty()) << "the empty text opens nothing";
    OpenWithShell("/opt/marrowgate/help/entourage/index.html");
    OpenWithShell("https://example.com/entourage/");
    for (const char* scheme : {"file", "https"}) {
        QDesktopServices::unsetUrlHandler(scheme);
    }
    EXPECT_EQ(catcher.urls,
              (std::vector<QUrl>{QUrl("file:///opt/marrowgate/help/entourage/index.html"),
                                 QUrl("https://example.com/entourage/")}));
}

} // namespace
} // namespace marrowgate::testing

#include "ShellTest.moc"
