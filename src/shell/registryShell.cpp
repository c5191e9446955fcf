#include "shell/registryShell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QUrl>

#include <exception>

namespace marrowgate {

namespace {

// The chooser's answer as a native path whose only final separator is a root's.
QString FolderPathText(const QString& chosen) {
    QString path = QDir::toNativeSeparators(chosen);
    while (path.size() > 1 && path.endsWith(QDir::separator()) && !QDir(path).isRoot()) {
        path.chop(1);
    }
    return path;
}

// A local path becomes a file URL; anything with a scheme of two or more
// letters ("https:", "file:") is taken as an address. A drive letter ("C:")
// is not a scheme.
QUrl TargetUrl(const QString& target) {
    const QUrl url(target, QUrl::StrictMode);
    if (url.isValid() && url.scheme().size() > 1) {
        return url;
    }
    return QUrl::fromLocalFile(target);
}

} // namespace

QString BrowseForFolder(QWidget* owner, const QString& title) {
    try {
        const QString chosen = QFileDialog::getExistingDirectory(
            owner, title, QString(), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
        if (chosen.isEmpty()) {
            return {};
        }
        return FolderPathText(chosen);
    } catch (const std::exception&) {
        return {};
    }
}

void OpenWithShell(const QString& target) {
    if (target.isEmpty()) {
        return;
    }
    QDesktopServices::openUrl(TargetUrl(target));
}

} // namespace marrowgate
