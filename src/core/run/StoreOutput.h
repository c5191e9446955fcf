#pragma once

#include "ledger/SourceIdentifier.h"
#include "ledger/StoreLedger.h"
#include "marrowgate/ConversionRun.h"
#include "output/MessageStore.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace marrowgate {

// The store of `target` (maildir, imap) at `output` (an account's URL stays
// one; `root` is the folder form of it): a Maildir tree, made as messages
// come; or an account, connected and logged in (throws ImapError).
std::unique_ptr<MessageStore> OpenMessageStore(const OutputTarget& target,
                                               const std::string& output, const std::string& root,
                                               ImapUploadOptions imap, bool seen);

// The output of a run whose target keeps messages apart (maildir, imap): the
// MessageStore and its ledger (StoreLedger), opened at the first message, and
// what the run needs of them for one message file at a time.
//
// A message the ledger knows in its mailbox is passed over unread. Any
// other is read, and looked for in its mailbox before it is stored: among
// what the ledger does not vouch for, or (when it went out before without
// an answer) wherever it may be; then among the ledger's records whose file
// is gone (a store moved). Only then is it stored, its record written once
// the store confirms it.
class StoreOutput {
public:
    enum class Outcome { Stored, AlreadyThere, Found };
    struct Stored {
        Outcome outcome = Outcome::Stored;
        std::uint64_t bytesRead = 0;
        std::uint64_t bytesStored = 0;
        bool empty = false;
        bool listedTwice = false; // met before in this run's list
        bool changed = false;     // stored before, and its file changed since
    };

    // `output` is as the user gave it (an account's URL stays one), `root`
    // the folder form of it. Nothing is opened yet.
    StoreOutput(const RunOptions& options, std::string output, std::string root,
                std::function<bool()> stopRequested);
    ~StoreOutput();
    StoreOutput(const StoreOutput&) = delete;
    StoreOutput& operator=(const StoreOutput&) = delete;

    // Opens the ledger (its lock: one run at a time) and the store, unless
    // they are open. Throws ConversionError: another run holds the ledger, a
    // refused login.
    void Open();
    std::uint64_t DamagedLedgerLines() const { return ledger_ ? ledger_->DamagedLines() : 0; }
    // The mailbox of the store folder of `source`; `created` tells whether it
    // was made now.
    std::string Mailbox(const std::string& source, bool& created);
    // Reads the message file of `row` and puts it into `mailbox`, unless it
    // is there already. Throws ConversionError and RunInterrupted.
    Stored Put(int row, const std::string& source, const std::string& mailbox);
    // The messages Put() reported stored that the store refused since (sent
    // ahead of its answer), with the reason.
    struct Refused {
        RowFailure failure;
        Stored stored;
    };
    std::vector<Refused> TakeRefusals();
    // Stores what was taken and makes it durable. Throws ConversionError.
    void Finish();
    // Then the ledger's end: its "end" line when `allRows` were gone
    // through, with `figures` (stored, already there, failed), and the
    // ledger on disk. Throws ConversionError.
    void Close(bool allRows, const std::array<std::uint64_t, 3>& figures);

private:
    struct Pending {
        Refused refused;
        std::string ledgerMailbox;
        ContentHash hash;
        LedgerSource source;
    };

    std::string LedgerFolder() const;
    void Enter(const std::string& mailbox);
    // The message is in its mailbox already, at a place the ledger now knows.
    bool AlreadyThere(const BareMessage& message, const ContentHash& hash,
                      const LedgerSource& source);
    void TakeConfirmed();

    const RunOptions& options_;
    std::string output_;
    std::string root_;
    std::function<bool()> stopRequested_;
    std::unique_ptr<StoreLedger> ledger_;
    std::unique_ptr<MessageStore> store_;
    SourceIdentifier sources_;
    std::string entered_;                                        // the mailbox entered last
    std::string ledgerMailbox_;                                  // its name in the ledger
    std::set<std::pair<std::uint64_t, std::uint64_t>> filesMet_; // device and inode
    std::vector<char> buffer_;
    std::map<std::uint64_t, Pending> pending_; // taken by the store, not yet confirmed
};

} // namespace marrowgate
