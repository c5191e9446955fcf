#include "app/StoreFolders.h"

#include <QDir>

#include <algorithm>

namespace marrowgate {

std::string StoreFolders::Add(const QString& folder) {
    QString withSeparator = folder;
    if (!withSeparator.endsWith(QDir::separator())) {
        withSeparator += QDir::separator();
    }
    std::string store = withSeparator.toStdString();
    if (std::none_of(stores_.begin(), stores_.end(),
                     [&store](const std::string& outer) { return store.starts_with(outer); })) {
        stores_.push_back(store);
    }
    return store;
}

} // namespace marrowgate
