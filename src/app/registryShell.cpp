#include "app/registryShell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
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

// Qt's own chooser opens at a size of its own, which at a large scale factor
// can be taller than a small screen.
void FitOnScreen(QFileDialog& dialog) {
    const QWidget* owner = dialog.parentWidget();
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QSize room = screen->availableGeometry().size() - QSize(16, 48);
        dialog.resize(dialog.sizeHint().expandedTo(dialog.size()).boundedTo(room));
    }
}

// A folder chooser that, when asked to, accepts a folder typed in that does
// not exist yet by creating it; the stock chooser refuses such a name.
class OutputFolderDialog : public QFileDialog {
public:
    OutputFolderDialog(QWidget* owner, const QString& title, const QString& startFolder,
                       bool createMissing)
        : QFileDialog(owner, title, startFolder), createMissing_(createMissing) {
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly);
        setOption(QFileDialog::DontResolveSymlinks);
#ifndef Q_OS_WIN
        // Only Qt's own chooser lets accept() see a name before it is refused;
        // the Windows chooser has its own "New folder" button.
        setOption(QFileDialog::DontUseNativeDialog, createMissing);
#endif
    }

    void accept() override {
        if (createMissing_) {
            const QStringList typed = selectedFiles();
            if (!typed.isEmpty() && !QFileInfo::exists(typed.constFirst())) {
                QDir().mkpath(typed.constFirst());
            }
        }
        QFileDialog::accept();
    }

private:
    bool createMissing_;
};

} // namespace

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder,
                        bool createMissing) {
    try {
        OutputFolderDialog dialog(owner, title, startFolder, createMissing);
        FitOnScreen(dialog);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return {};
        }
        return FolderPathText(dialog.selectedFiles().constFirst());
    } catch (const std::exception&) {
        return {};
    }
}

QString BrowseForSaveFile(QWidget* owner, const QString& title, const QString& suggested) {
    QFileDialog dialog(owner, title, suggested, QStringLiteral("Text files (*.txt)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.selectFile(suggested);
    FitOnScreen(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

bool OpenWithShell(const QString& target) {
    if (target.isEmpty()) {
        return false;
    }
    return QDesktopServices::openUrl(TargetUrl(target));
}

} // namespace marrowgate
