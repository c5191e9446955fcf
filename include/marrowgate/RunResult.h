#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marrowgate {

struct RowFailure {
    int row = 0;
    std::string messagePath;
    std::string mailboxPath;
    std::string reason;
    // One line for the user: message file, mailbox file and reason.
    std::string Describe() const;
};

struct RunResult {
    int messagesConverted = 0;
    int emptyRowsSkipped = 0;
    // Messages the output's ledger shows in their mailbox already (from an
    // earlier run, or met before in this one): not converted again.
    int alreadyConverted = 0;
    // Of those, messages found in their mailbox by their content rather than
    // by their path (their file moved or changed its time, or the ledger
    // lost their line).
    int foundByContent = 0;
    // Of those, messages met a second time in this run's list (a store given
    // twice, or inside another): converted once.
    int listedTwice = 0;
    // Messages converted before whose file changed since: converted again
    // (and counted in messagesConverted).
    std::vector<std::string> changedSinceConverted;
    // Mailboxes that ended inside a record (another program cut them short)
    // and were cut back to their last whole record, one line each.
    std::vector<std::string> mailboxesCutBack;
    // Mailboxes a run left open that ended with a record cut short which
    // this run could not prove its own: kept as they were, one line each.
    std::vector<std::string> tailsKept;
    // Mailboxes of different folders that the output's file system made one
    // file (names that differ only in case, on a file system that ignores
    // it): each holds the messages of both, one line each.
    std::vector<std::string> mailboxesMerged;
    // Lines of the output's ledger found damaged (not trusted).
    std::uint64_t damagedLedgerLines = 0;
    // Message files holding nothing but white space: not messages, skipped.
    std::vector<std::string> emptyMessages;
    bool nothingToConvert = false; // every row was empty: nothing was done
    bool stopped = false;          // stopRequested ended the run early
    bool refused = false;          // the output refused the run (the last failure says why)
    // Rows the run never came to, as it ended early: stopped, or at a failed
    // row (which counts as failed, not here). With the rows converted,
    // already converted, empty and failed, they make up the list.
    int notReached = 0;
    std::vector<RowFailure> failures;
    int mailboxesCreated = 0;  // mailbox files that did not exist before
    int mailboxesAppended = 0; // existing mailbox files that grew
    int fieldsAdded = 0;       // messages that got X-Marrowgate- fields at their top
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesWritten = 0;

    bool Succeeded() const { return failures.empty() && !nothingToConvert; }

    // Adds the figures of a later run over the rows that follow `rowsBefore`
    // rows of this one, numbering its failures after them; its stop ends
    // this one too.
    void Add(RunResult later, int rowsBefore);
};

} // namespace marrowgate
