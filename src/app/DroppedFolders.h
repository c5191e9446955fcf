#pragma once

#include <QStringList>

class QMimeData;

namespace marrowgate {

// The local folders among the addresses dropped on the window, as native
// absolute paths; files and remote addresses are passed over.
QStringList DroppedFolders(const QMimeData* data);

} // namespace marrowgate
