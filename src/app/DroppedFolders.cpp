#include "app/DroppedFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace marrowgate {

QStringList DroppedFolders(const QMimeData* data) {
    QStringList folders;
    if (data == nullptr) {
        return folders;
    }
    for (const QUrl& url : data->urls()) {
        const QFileInfo info(url.toLocalFile());
        if (url.isLocalFile() && info.isDir()) {
            folders << QDir::toNativeSeparators(info.absoluteFilePath());
        }
    }
    return folders;
}

} // namespace marrowgate
