#pragma once

#include "output/MessageStore.h"
#include "output/OutputTree.h"
#include "output/StoredCopies.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace marrowgate {

// A Maildir++ tree (as Dovecot, mutt and Courier read it) as a MessageStore.
// The output folder is a maildir (cur/, new/, tmp/), and each store folder a
// maildir beside it named by its path from the store with "." between the
// levels: Store/Inbox/Sub is ".Store.Inbox.Sub", each level in modified
// UTF-7, a "." in a name written "_". The folders above one are made too.
//
// Each message is written into tmp/ under a name no other can have, flushed
// to disk, given its date as its modification time (which Maildir readers
// show as the date received), and renamed into cur/: a reader sees it whole
// or not at all. Its name carries its size (",S=") and, with `seen`, the
// flag for a read message (":2,S"; on Windows, which allows no ":" in names,
// no flags). A message's place is its name without the flags, which mail
// programs change. Files a killed run left in tmp/ are known by their names
// and removed when the run comes to their maildir (the ledger's lock keeps
// any other run of ours out of it meanwhile).
class MaildirStore : public MessageStore {
public:
    // `root` ends with a separator.
    MaildirStore(const std::string& root, bool seen);

    LineEnding LineEnd() const override { return LineEnding::Lf; }
    std::string Mailbox(const std::vector<std::string>& folderNames, bool& created) override;
    std::string LedgerName(const std::string& mailbox) const override;
    std::optional<std::string> Enter(const std::string& mailbox,
                                     const std::optional<std::string>& begun) override;
    bool Holds(const std::string& place) override;
    std::optional<std::string> Find(const BareMessage& message, Search search) override;
    void Store(const std::string& mailbox, const BareMessage& message,
               std::uint64_t ticket) override;
    std::vector<Confirmed> TakeConfirmed() override;
    void Finish() override;

    std::optional<std::string>
    ExistingMailbox(const std::vector<std::string>& folderNames) override;
    std::vector<Copy> Copies(const std::string& mailbox) override;
    void ReadCopies(const std::string& mailbox, const std::vector<Copy>& copies,
                    const EachCopy& each) override;

    // The name of the maildir of a store folder (".Store.Inbox.Sub").
    static std::string FolderName(const std::vector<std::string>& folderNames);
    // What ends the name of a message file of ours while it is in tmp/.
    static constexpr std::string_view kUnfinished = ".marrowgate-part";

private:
    // True when it was made now.
    bool EnsureMaildir(const std::string& folder);
    void RemoveUnfinished(const std::string& mailbox);
    StoredCopies& Unclaimed();
    std::string UniqueName(std::uint64_t size);
    void Write(const std::string& folder, const std::string& name, const BareMessage& message);

    OutputTree tree_;
    bool seen_;
    std::set<std::string> made_;
    // The mailbox entered last: its messages, place -> file.
    std::unordered_map<std::string, std::string> present_;
    std::unordered_set<std::string> claimed_; // places no Find() may take
    std::optional<StoredCopies> unclaimed_;   // by size and date, once asked
    std::vector<Confirmed> confirmed_;
    std::set<std::string> toSync_; // cur/ folders that got new names
    unsigned long counter_ = 0;
};

} // namespace marrowgate
