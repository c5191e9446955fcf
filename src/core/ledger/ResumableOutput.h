#pragma once

#include "ledger/ConversionLedger.h"
#include "ledger/SourceIdentifier.h"
#include "output/MailboxEvents.h"
#include "output/MailboxFile.h"
#include "output/MailboxFlusher.h"
#include "output/MailboxMerges.h"

#include <functional>
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

    void AboutToOpen(const std::string& path) override;
    void Opened(MailboxFile& mailbox) override;
    void Beginning(MailboxFile& mailbox, std::span<const std::string_view> start,
                   bool whole) override;
    bool MayHoldStartOf(MailboxFile& mailbox, std::span<const std::string_view> start) override;
    bool AlreadyHolds(MailboxFile& mailbox, const ContentHash& hash) override;
    void Written(const MailboxFile& mailbox, std::uint64_t begin, std::uint64_t end,
                 const ContentHash& hash) override;
    // Takes the mailbox to be flushed on another thread once the next one is
    // opened; its "closed" line is written once the flush is done, and only
    // then is it closed (its lock let go), when the next mailbox is done
    // with or at the end.
    void Closing(std::unique_ptr<MailboxFile> mailbox) override;

    // Hands the first bytes of the record of each other message the run puts
    // into the mailbox being written (and whether that is all of it) to
    // `proves`, until it returns true.
    using OtherStarts =
        std::function<void(const std::function<bool(std::string_view start, bool whole)>& proves)>;
    // A record cut short that a killed run left may be another message's
    // than the one written next (one added to the store since, or one that
    // failed then): `starts` gives the others, to prove it by.
    void SetOtherStarts(OtherStarts starts) { otherStarts_ = std::move(starts); }

    // Mailboxes found cut short inside a record and cut back to their last
    // whole one, each described in a line; taken once.
    std::vector<std::string> TakeCutBack() { return std::exchange(cutBack_, {}); }
    // Mailboxes left open that ended with a record cut short this run could
    // not prove its own, kept as they were, each described in a line; taken
    // once.
    std::vector<std::string> TakeTailsKept() { return std::exchange(tailsKept_, {}); }
    // Mailboxes found to be one file with another (MailboxMerges), each
    // described in a line; taken once.
    std::vector<std::string> TakeMerged() { return std::exchange(merged_, {}); }
    // Mailboxes whose flush or close failed: path and reason; taken once.
    std::vector<std::pair<std::string, std::string>> TakeFlushFailures() {
        return std::exchange(flushFailures_, {});
    }
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
    void Settle(const std::string& mailbox, const std::string& target);
    void Open(MailboxFile& mailbox, const std::string& target);
    // Notes the mailboxes flushed since: "closed" lines, closes, failures.
    void SettleFlushed();
    // Hands the mailbox the writer is done with to be flushed.
    void HandParked();

    std::string root_;
    ConversionLedger ledger_;
    std::optional<LedgerSource> pending_; // the message being converted
    SourceIdentifier sources_;
    std::set<std::string> foldersToSync_;
    std::vector<std::string> cutBack_;
    std::vector<std::string> tailsKept_;
    MailboxMerges merges_;
    std::vector<std::string> merged_;
    std::vector<std::pair<std::string, std::string>> flushFailures_;
    MailboxFlusher flusher_;              // its mailboxes go before the ledger
    std::unique_ptr<MailboxFile> parked_; // closed by the writer, its flush not yet begun
    bool parkedClose_ = false;            // its "closed" line is to be written
    OtherStarts otherStarts_;
};

} // namespace marrowgate
