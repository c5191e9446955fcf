#pragma once

#include <QString>

#include <string>
#include <vector>

namespace marrowgate {

// The store folders of every import since the list was last cleared: where
// the targets start their trees. A folder inside a store listed before stays
// part of that store's tree, so that its messages keep the mailboxes they had.
class StoreFolders {
public:
    // `folder` with a final separator, as the walk takes it; noted as a store
    // unless a store noted before holds it.
    std::string Add(const QString& folder);
    void Clear() { stores_.clear(); }
    const std::vector<std::string>& All() const { return stores_; }

private:
    std::vector<std::string> stores_;
};

} // namespace marrowgate
