#pragma once

#include "ledger/ConversionLedger.h"
#include "output/MailboxEvents.h"

#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace marrowgate {

// The output folder of one run, kept so that every message reaches its
// mailbox exactly once however runs end: it holds the conversion ledger (and
// with it the one-writer lock) and keeps it up to date as the writer opens
// mailboxes, writes records and closes them (see ConversionLedger for what is
// written when). Finish() makes the run's work durable.
class ResumableOutput : public MailboxEvents {
public:
    // Makes the output root (ending with a separator) when missing, and opens
    // and locks its ledger. `convertAgain`: messages of earlier runs are
    // converted again. Throws ConversionError naming the folder.
    ResumableOutput(const std::string& outputRoot, bool convertAgain, const LedgerRun& run = {});

    // Whether the message at `sourcePath` is already in the mailbox at
    // `mailboxPath`. The message's identity is kept for the record that may
    // follow.
    ConversionLedger::Seen Consult(const std::string& sourcePath, const std::string& mailboxPath);
    // The message file as the last Consult() found it, when it could be found.
    const std::optional<LedgerSource>& Consulted() const { return pending_; }

    void Opened(MailboxFile& mailbox) override;
    bool AlreadyHolds(MailboxFile& mailbox, const ContentHash& hash) override;
    void Written(const MailboxFile& mailbox, std::uint64_t begin, std::uint64_t end,
                 const ContentHash& hash) override;
    void Closing(MailboxFile& mailbox) override;

    // Mailboxes found cut short inside a record and cut back to their last
    // whole one, each described in a line; taken once.
    std::vector<std::string> TakeCutBack() { return std::exchange(cutBack_, {}); }
    // Messages converted whose ledger lines could not be written.
    std::uint64_t UnrecordedMessages() const { return ledger_.PendingRecords(); }
    // Lines of the ledger found damaged when it was opened.
    std::uint64_t DamagedLedgerLines() const { return ledger_.DamagedLines(); }

    // Settles the mailboxes a killed run left open that this run did not
    // write to (their tails taken back, so that what is appended to them later
    // by someone else is never taken for ours), writes the run's end when
    // `allRows` were gone through (with `figures`: converted, already
    // converted, failed), then flushes the ledger and the folder entries of
    // the mailboxes this run created to disk, and checks that the ledger is
    // still the file at its path. Throws ConversionError.
    void Finish(bool allRows, const std::array<std::uint64_t, 3>& figures);

private:
    std::string Relative(const std::string& mailboxPath) const;
    std::optional<LedgerSource> Identify(const std::string& sourcePath);
    void Settle(const std::string& mailbox, const std::string& target);
    void Open(MailboxFile& mailbox, const std::string& target);

    std::string root_;
    ConversionLedger ledger_;
    std::optional<LedgerSource> pending_; // the message being converted
    std::unordered_map<std::string, std::string> canonicalFolders_;
    std::set<std::string> foldersToSync_;
    std::vector<std::string> cutBack_;
};

} // namespace marrowgate
