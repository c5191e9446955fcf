#include "marrowgate/RunResult.h"

#include <algorithm>
#include <utility>

namespace marrowgate {

std::string RowFailure::Describe() const {
    if (messagePath.empty()) {
        return reason; // the output's own failure (its ledger), not a message's
    }
    const std::string into = mailboxPath.empty() ? "" : " into " + mailboxPath;
    return "Could not convert " + messagePath + into + ": " + reason;
}

void RunResult::Add(RunResult later, int rowsBefore) {
    messagesConverted += later.messagesConverted;
    emptyRowsSkipped += later.emptyRowsSkipped;
    alreadyConverted += later.alreadyConverted;
    foundByContent += later.foundByContent;
    listedTwice += later.listedTwice;
    for (auto list :
         {&RunResult::changedSinceConverted, &RunResult::mailboxesCutBack, &RunResult::tailsKept,
          &RunResult::mailboxesMerged, &RunResult::emptyMessages}) {
        (this->*list).insert((this->*list).end(), (later.*list).begin(), (later.*list).end());
    }
    nothingToConvert = nothingToConvert && later.nothingToConvert;
    damagedLedgerLines = std::max(damagedLedgerLines, later.damagedLedgerLines);
    stopped = later.stopped;
    refused = later.refused;
    notReached += later.notReached;
    for (RowFailure& failure : later.failures) {
        failure.row += rowsBefore;
        failures.push_back(std::move(failure));
    }
    mailboxesCreated += later.mailboxesCreated;
    mailboxesAppended += later.mailboxesAppended;
    fieldsAdded += later.fieldsAdded;
    bytesRead += later.bytesRead;
    bytesWritten += later.bytesWritten;
}

} // namespace marrowgate
