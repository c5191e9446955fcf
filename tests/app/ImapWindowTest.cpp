#include "WindowFixture.h"

#include "app/WindowSettings.h"

#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>

#include <memory>

namespace marrowgate::test {
namespace {

// The private Dovecot of the IMAP suite (tests/imap/serve.py), one for all
// the tests here: up until its standard input closes.
class Server {
public:
    Server() {
        process_.start(QStringLiteral(MARROWGATE_PYTHON), {QStringLiteral(MARROWGATE_SERVE_PY)});
        if (!process_.waitForStarted(30000) || !process_.waitForReadyRead(60000)) {
            return;
        }
        info_ = QJsonDocument::fromJson(process_.readLine()).object();
    }
    ~Server() {
        process_.closeWriteChannel();
        process_.waitForFinished(30000);
    }
    bool Up() const { return !info_.isEmpty(); }
    QString Address() const {
        return QStringLiteral("localhost:%1").arg(info_["imaps_port"].toInt());
    }
    QString Cert() const { return info_["cert"].toString(); }
    QString User() const { return info_["user"].toString(); }
    QString Password() const { return info_["password"].toString(); }

private:
    QProcess process_;
    QJsonObject info_;
};

class ImapWindowTest : public WindowTest {
protected:
    static void SetUpTestSuite() { server = std::make_unique<Server>(); }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        if (!server->Up()) {
            GTEST_SKIP() << "Dovecot's IMAP server is not installed";
        }
        // The account's ledger under the test's folder.
        qputenv("XDG_STATE_HOME", TempPath("state").toUtf8());
    }

    // The server's certificate is its own, as a company's would be: the
    // user names its file.
    ImapAccountForm Account(const QString& password, bool withCertificate = true) const {
        return {server->Address(), false, server->User(),
                password,          false, withCertificate ? server->Cert() : QString()};
    }

    // The mail program chosen from the box, as the user does.
    void Choose(const QString& name) {
        const int index = TargetBox()->findData(name);
        TargetBox()->setCurrentIndex(index);
        emit TargetBox()->activated(index);
    }

    static std::unique_ptr<Server> server;
};

std::unique_ptr<Server> ImapWindowTest::server;

// "IMAP account..." asks for the account there and then; cancelled, the
// mail program chosen before stays. "Test Connection" says plainly whether
// the login went through.
TEST_F(ImapWindowTest, TheAccountIsAskedForAndTested) {
    Choose("thunderbird");
    Choose("imap");
    ASSERT_EQ(dialogs.accountForms.size(), 1u);
    EXPECT_EQ(TargetBox()->currentData().toString(), "thunderbird");

    dialogs.pressTestConnection = true;
    dialogs.accounts.push_back(Account(server->Password(), false));
    dialogs.accounts.push_back(Account("wrong"));
    dialogs.accounts.push_back(Account(server->Password()));
    Choose("imap");
    Choose("imap");
    Choose("imap");
    ASSERT_EQ(dialogs.connectionTests.size(), 3u);
    EXPECT_TRUE(dialogs.connectionTests[0].contains("cannot be trusted") &&
                dialogs.connectionTests[0].contains("Certificate file"))
        << dialogs.connectionTests[0].toStdString();
    EXPECT_TRUE(dialogs.connectionTests[1].contains("refused the user name or password"))
        << dialogs.connectionTests[1].toStdString();
    EXPECT_TRUE(dialogs.connectionTests[2].startsWith("Logged in to ann@" + server->Address()))
        << dialogs.connectionTests[2].toStdString();
    EXPECT_EQ(dialogs.accountForms.back().password, "wrong") << "filled in as it was left";
    EXPECT_EQ(TargetBox()->currentData().toString(), "imap");
    EXPECT_TRUE(Shown("CmdConvert2PDF").contains("IMAP account"));
}

// The list goes up into the account with the same progress and report as
// for folders, checked on the server; the next window remembers the
// account but for its password, and a second run finds every message there.
TEST_F(ImapWindowTest, TheListGoesUpAndIsVerified) {
    WriteMessage("Store/Inbox/a.eml", "a");
    WriteMessage("Store/Inbox/Sub/b.eml", "b");
    dialogs.folders.push_back(TempPath("Store"));
    Button("CmdAddFolder")->click();
    dialogs.accounts.push_back(Account(server->Password()));
    Choose("imap");
    Button("CmdConvert2PDF")->click();
    EXPECT_EQ(dialogs.browseTitles.size(), 1) << "no folder to choose for an account";
    ASSERT_EQ(dialogs.messages.back().kind, ScriptedDialogs::Kind::Summary);
    EXPECT_TRUE(LastPrompt().startsWith(
        "Your data has been successfully uploaded into the IMAP account.\r\nTo see them:"))
        << LastPrompt().toStdString();
    EXPECT_TRUE(LastDetails().startsWith("Messages converted: 2\r\n"))
        << LastDetails().toStdString();
    EXPECT_TRUE(LastDetails().contains("Account: imaps://ann@" + server->Address() + "/"));
    EXPECT_TRUE(LastDetails().contains("All 2 messages verified.")) << LastDetails().toStdString();
    EXPECT_FALSE(dialogs.messages.back().inFolder);

    EXPECT_EQ(WindowSettings::ImapAccount().password, "");
    frmStep1 reopened(dialogs);
    reopened.SetYieldInterval(0);
    EXPECT_EQ(Control<QComboBox>(reopened, "cboTarget")->currentData().toString(), "imap");
    dialogs.folders.push_back(TempPath("Store"));
    Control<QPushButton>(reopened, "CmdAddFolder")->click();
    dialogs.accounts.push_back(Account(server->Password()));
    Control<QPushButton>(reopened, "CmdConvert2PDF")->click();
    EXPECT_EQ(dialogs.accountForms.back().server, server->Address());
    EXPECT_EQ(dialogs.accountForms.back().password, "") << "the password is asked for again";
    EXPECT_TRUE(LastDetails().startsWith("Messages converted: 0\r\nMessages already converted: 2"))
        << LastDetails().toStdString();
}

} // namespace
} // namespace marrowgate::test
