#include "app/WindowSettings.h"

#include <QSettings>

namespace marrowgate {

namespace {

const QString kSize = QStringLiteral("window/size");
const QString kSourceFolder = QStringLiteral("folders/source");
const QString kOutputFolder = QStringLiteral("folders/output");
const QString kTarget = QStringLiteral("conversion/target");
const QString kDeclined = QStringLiteral("conversion/declinedToFinish");
const QString kImapServer = QStringLiteral("imap/server");
const QString kImapStartTls = QStringLiteral("imap/startTls");
const QString kImapUser = QStringLiteral("imap/user");
const QString kImapSpecialFolders = QStringLiteral("imap/specialFolders");
const QString kImapCaFile = QStringLiteral("imap/caFile");

} // namespace

QSize WindowSettings::Size() {
    return QSettings().value(kSize).toSize();
}

void WindowSettings::SetSize(const QSize& size) {
    QSettings().setValue(kSize, size);
}

QString WindowSettings::SourceFolder() {
    return QSettings().value(kSourceFolder).toString();
}

void WindowSettings::SetSourceFolder(const QString& folder) {
    QSettings().setValue(kSourceFolder, folder);
}

QString WindowSettings::OutputFolder() {
    return QSettings().value(kOutputFolder).toString();
}

void WindowSettings::SetOutputFolder(const QString& folder) {
    QSettings().setValue(kOutputFolder, folder);
}

QString WindowSettings::Target() {
    return QSettings().value(kTarget).toString();
}

void WindowSettings::SetTarget(const QString& name) {
    QSettings().setValue(kTarget, name);
}

ImapAccountForm WindowSettings::ImapAccount() {
    const QSettings settings;
    return {settings.value(kImapServer).toString(),       settings.value(kImapStartTls).toBool(),
            settings.value(kImapUser).toString(),         QString(),
            settings.value(kImapSpecialFolders).toBool(), settings.value(kImapCaFile).toString()};
}

void WindowSettings::SetImapAccount(const ImapAccountForm& account) {
    QSettings settings;
    settings.setValue(kImapServer, account.server);
    settings.setValue(kImapStartTls, account.startTls);
    settings.setValue(kImapUser, account.user);
    settings.setValue(kImapSpecialFolders, account.specialFolders);
    settings.setValue(kImapCaFile, account.caFile);
}

QString WindowSettings::DeclinedToFinish() {
    return QSettings().value(kDeclined).toString();
}

void WindowSettings::SetDeclinedToFinish(const QString& key) {
    QSettings().setValue(kDeclined, key);
}

} // namespace marrowgate
