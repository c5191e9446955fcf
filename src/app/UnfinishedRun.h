#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace marrowgate {

// A conversion that did not finish (stopped, closed, killed), as the ledger
// of its output folder tells it: what the window needs to offer to finish it.
struct UnfinishedRun {
    QString outputFolder;
    QStringList stores;
    QString target; // as the command line names it; empty when not known
    std::uint64_t converted = 0;
    // Tells this run from a later one into the same folder.
    QString key;
};

// The last run into `outputFolder` when it did not finish and the user has
// not declined to finish it before; nothing otherwise (no folder, no ledger,
// a ledger that cannot be read: the next conversion into it says why).
std::optional<UnfinishedRun> FindUnfinishedRun(const QString& outputFolder);

// The user would rather not finish `run`: it is not offered again.
void DeclineToFinish(const UnfinishedRun& run);

} // namespace marrowgate
