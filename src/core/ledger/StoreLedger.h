#pragma once

#include "ledger/ConversionLedger.h"
#include "ledger/LedgerLineStore.h"
#include "ledger/LedgerRecord.h"
#include "ledger/LedgerSurvey.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace marrowgate {

// The ledger of a run whose target keeps messages apart (a Maildir tree, an
// IMAP account): the same file, lock and lines as an mbox output's
// (docs/LEDGER.md), each record's place in the store's own terms (a file
// name; "UIDVALIDITY,UID"). It vouches only for what it recorded: whether a
// record still stands is the store's to say (MessageStore::Holds()), and
// what else a mailbox holds the store looks through.
//
// A message that goes to a store that answers later (an IMAP server) gets a
// "sending" line first, on disk before the message leaves: should the run
// end before the answer, the next one knows to look for it before it sends
// it again. A "begun" line tells where the ledger's account of a mailbox
// begins, in the store's terms.
//
// Memory holds the records of one mailbox at a time, the mailbox the run is
// in (Select()); the others are where their lines lie in the file.
class StoreLedger {
public:
    using Seen = LedgerMailboxIndex::Seen;

    // Opens (creating it when missing) and locks the ledger in `folder`, an
    // existing folder ending with a separator, reads it through, and writes
    // the run's line. Throws ConversionError as ConversionLedger does
    // (LedgerBusy when another run holds it).
    StoreLedger(const std::string& folder, const LedgerRun& run);
    // Writes the lines gathered, if it can.
    ~StoreLedger();
    StoreLedger(const StoreLedger&) = delete;
    StoreLedger& operator=(const StoreLedger&) = delete;

    // Records of earlier runs no longer count (storing again on purpose).
    void ForgetEarlierRuns() { forgetEarlier_ = true; }

    // Reads the lines of `mailbox` (as the store names it for the ledger),
    // and lets go of those of the mailbox before. Its records stand until
    // Settle() says otherwise.
    void Select(const std::string& mailbox);
    // Where the ledger's account of the selected mailbox begins.
    const std::optional<std::string>& Begun() const { return begun_; }
    // It begins at `place` now: the "begun" line, for `target`.
    void Begin(const std::string& place, const std::string& target);
    // Asks `stands` of each record's place whether the store still holds it.
    void Settle(const std::function<bool(const std::string& place)>& stands);

    // Whether `source` is in the selected mailbox already: stored by an
    // earlier run (Converted; Changed when the file's size or time differ
    // now) or by this one (ListedTwice).
    Seen Lookup(const LedgerSource& source) const;
    // Whether `source` went out to the selected mailbox without a record
    // since: its store may hold it without knowing whose it is.
    bool WasSending(const LedgerSource& source) const;
    // A standing record of the selected mailbox with the content `hash` that
    // no other existing file owns (its source is this file, or a path that
    // no longer exists, or none): taken for `source`, its record line
    // written; its place. Each record is taken by one message at most.
    std::optional<std::string> TakeByContent(const ContentHash& hash, const LedgerSource& source);

    // `source` is about to go to the selected mailbox, to `place` as far as
    // it is known: the "sending" line (written, not yet flushed).
    void Sending(const std::string& place, const ContentHash& hash, const LedgerSource& source);
    // `source` is in `mailbox` at `place`: its "record" line.
    void Recorded(const std::string& mailbox, const std::string& place, const ContentHash& hash,
                  const LedgerSource& source);
    // The run went through all its rows: the "end" line.
    void Finished(const std::array<std::uint64_t, 3>& figures);

    // Writes the lines gathered. Throws ConversionError.
    void Flush() { store_.Flush(); }
    // Writes them and flushes the ledger to disk, after checking that it is
    // still the file at its path. Throws ConversionError.
    void Sync() { store_.Sync(); }
    // Messages whose record lines are not yet written.
    std::uint64_t PendingRecords() const { return store_.PendingRecords(); }
    std::uint64_t DamagedLines() const { return damaged_; }
    bool Created() const { return store_.File().Created(); }

private:
    struct Entry {
        std::string place;
        ContentHash hash;
        LedgerSource source;
        bool earlier = true; // recorded before this run
        bool standing = true;
    };

    void Apply(const LedgerLine& line, bool earlier);
    void Append(const std::string& mailbox, const std::string& line, bool ofMessage = false);

    std::string folder_;
    LedgerLineStore store_;
    LedgerSurvey survey_;
    std::uint64_t earlierEnd_ = 0; // the lines before it are earlier runs'
    std::uint64_t damaged_ = 0;
    bool forgetEarlier_ = false;
    std::string line_;

    // The selected mailbox.
    std::string selected_;
    std::optional<std::string> begun_;
    std::vector<Entry> entries_;                            // the latest of each place
    std::unordered_map<std::string, std::size_t> byPlace_;  // place -> entry
    std::unordered_map<std::string, std::size_t> bySource_; // path -> its latest entry
    std::unordered_multimap<std::uint64_t, std::size_t> byHash_;
    std::unordered_set<std::string> sending_; // paths sent without a record since
};

} // namespace marrowgate
