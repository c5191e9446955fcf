#pragma once

#include "marrowgate/OutputVerifier.h"
#include "output/MessageStore.h"
#include "record/ContentHash.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace marrowgate {

// The check of a store's output (a Maildir tree, an IMAP account) against
// the message files, whatever the ledger says: every message must be in the
// mailbox of its folder exactly once, as the store keeps it. The mailbox's
// messages are listed (their sizes); those of a size some message of the
// mailbox has are read and hashed, and matched to the messages by their
// content. A message without a copy is missing, one with more is doubled,
// and a copy that matches no message is another's (listed, not a problem).
// Reads only: nothing is made, written or flagged (IMAP: EXAMINE and
// BODY.PEEK). Memory holds one mailbox's hashes at a time.
class StoreVerifier {
public:
    StoreVerifier(std::vector<std::string> stores, std::unique_ptr<MessageStore> store,
                  VerifyReport& report);
    ~StoreVerifier();
    StoreVerifier(const StoreVerifier&) = delete;
    StoreVerifier& operator=(const StoreVerifier&) = delete;

    // A message file of the list, in order.
    void Add(const std::string& path);
    // Checks every mailbox; `yield` is called before each message,
    // `stopRequested` and `progress` after it.
    void Check(const YieldFn& yield, const std::function<bool()>& stopRequested,
               const std::function<void(int, int)>& progress);

private:
    struct Source {
        std::string path;
        std::size_t folderRow = 0;
        std::uint64_t size = 0;
        ContentHash hash;
        bool empty = false;
        std::optional<std::string> problem;
    };

    std::optional<std::string> MailboxOf(const std::string& path);
    void Encode(Source& source);
    void CheckMailbox(const std::string& mailbox, std::vector<Source>& sources);
    void Tally(const Source& source);

    std::vector<std::string> stores_;
    std::unique_ptr<MessageStore> store_;
    VerifyReport& report_;
    std::unordered_set<std::string> seen_;
    std::map<std::string, std::size_t> folderRows_;
    std::unordered_map<std::string, std::optional<std::string>> mailboxOfFolder_;
    std::vector<std::string> mailboxes_; // in the order first met
    std::unordered_map<std::string, std::vector<Source>> byMailbox_;
    int toCheck_ = 0;
};

} // namespace marrowgate
