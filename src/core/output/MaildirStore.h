#pragma once

#include "output/MessageStore.h"
#include "output/OutputTree.h"
#include "output/StoredCopies.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>

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
// no flags).
class MaildirStore : public MessageStore {
public:
    // `root` ends with a separator.
    MaildirStore(const std::string& root, bool seen);

    LineEnding LineEnd() const override { return LineEnding::Lf; }
    std::string Mailbox(const std::vector<std::string>& folderNames, bool& created) override;
    Outcome Store(const std::string& mailbox, const BareMessage& message,
                  std::uint64_t ticket) override;
    void Finish() override;

    // The name of the maildir of a store folder (".Store.Inbox.Sub").
    static std::string FolderName(const std::vector<std::string>& folderNames);

private:
    // True when it was made now.
    bool EnsureMaildir(const std::string& folder);
    StoredCopies& CopiesOf(const std::string& folder);
    bool Holds(const std::string& file, const std::string& bytes);
    std::string UniqueName(std::uint64_t size);
    void Write(const std::string& folder, const std::string& name, const BareMessage& message);

    OutputTree tree_;
    bool seen_;
    std::set<std::string> made_;
    std::string listed_; // the folder whose copies are at hand
    std::optional<StoredCopies> copies_;
    std::set<std::string> toSync_; // cur/ folders that got new names
    unsigned long counter_ = 0;
};

} // namespace marrowgate
