#include "app/OutputChoice.h"

#include "app/UserDialogs.h"
#include "app/WindowSettings.h"
#include "marrowgate/ConversionError.h"
#include "marrowgate/ImapAccount.h"
#include "marrowgate/ImapProbe.h"

#include <QStandardPaths>

namespace marrowgate {
namespace {

// A test waits less for a silent server than an upload would.
constexpr int kTestTimeoutSeconds = 20;

ImapLogin LoginOf(const ImapAccountForm& form) {
    ImapLogin login;
    login.password = form.password.toStdString();
    login.caFile = form.caFile.toStdString();
    return login;
}

} // namespace

OutputChoice::OutputChoice(UserDialogs& dialogs)
    : dialogs_(dialogs), account_(WindowSettings::ImapAccount()) {}

std::optional<QString> OutputChoice::Choose(QWidget* owner, const OutputTarget& target) {
    if (target.GetKind() == OutputTarget::Kind::Imap) {
        if (!account_.Complete() && !AskAccount(owner)) {
            return std::nullopt;
        }
        return account_.Url();
    }
    QString start = WindowSettings::OutputFolder();
    if (start.isEmpty()) {
        // A first output starts among the user's documents: the dialog would
        // otherwise open where the store was just chosen, and a user who
        // accepts that writes the mailboxes into the mail store itself.
        start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    }
    const QString folder =
        dialogs_.BrowseForOutputFolder(owner, QStringLiteral("Choose Folder to Save..."), start);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    WindowSettings::SetOutputFolder(folder);
    return folder;
}

bool OutputChoice::AskAccount(QWidget* owner) {
    ImapAccountForm form = account_;
    if (!dialogs_.AskImapAccount(owner, form, &OutputChoice::TestConnection)) {
        return false;
    }
    account_ = form;
    WindowSettings::SetImapAccount(account_);
    return true;
}

void OutputChoice::Apply(RunOptions& options) const {
    options.imap.login = LoginOf(account_);
    options.imap.specialFolders = account_.specialFolders;
}

QString OutputChoice::TestConnection(const ImapAccountForm& form) {
    ImapLogin login = LoginOf(form);
    login.timeoutSeconds = kTestTimeoutSeconds;
    try {
        return QString::fromStdString(
            ProbeImapAccount(ImapAccount::Parse(form.Url().toStdString()), login).text);
    } catch (const ConversionError& error) {
        return QString::fromStdString(error.what());
    }
}

} // namespace marrowgate
