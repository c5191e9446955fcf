#pragma once

#include "output/MessageStore.h"
#include "output/StoredCopies.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace marrowgate {

class ImapSession;

// The messages of one IMAP mailbox, as a run looks for a message among them
// or a check reads them: the mailbox opened read-only (EXAMINE), its
// UIDVALIDITY and UIDNEXT, the copies a record of the ledger claims, and
// the messages that were there before the ledger's account of the mailbox
// began (UIDs below its mark), by size and internal date, read once when
// first asked for. A copy found is claimed: it stands for one message only.
class ImapCopies {
public:
    // `serverName` as the server spells the mailbox, `readable` as the user
    // reads it (for messages).
    ImapCopies(std::string serverName, std::string readable);

    // Opens the mailbox on `session` unless it is open there already (a new
    // connection opens it again). Throws ImapError.
    void Open(ImapSession& session);
    const std::string& UidValidity() const { return uidValidity_; }
    // None when the server did not say.
    std::optional<std::uint64_t> UidNext() const { return uidNext_; }

    // The ledger's account of the mailbox began when UIDNEXT was `mark`:
    // what lies below it was there before (without a mark, everything was).
    void SetMark(std::uint64_t mark) { mark_ = mark; }
    void Claim(const std::string& uid) { claimed_.insert(uid); }

    // The UID of a copy of `bytes` not claimed yet (now claimed), among the
    // messages below the mark with its size and internal date; or, when it
    // went up before without an answer, anywhere in the mailbox with its
    // Message-ID and size. Throws ImapError.
    std::optional<std::string> FindEarlier(ImapSession& session, const std::string& bytes,
                                           std::chrono::sys_seconds date);
    std::optional<std::string> FindSent(ImapSession& session, const std::string& bytes);

    // Every message of the mailbox: its UID, size and internal date.
    std::vector<MessageStore::Copy> All(ImapSession& session);
    // Calls each(uid, bytes) for `copies`, fetched a few at a time.
    void Read(ImapSession& session, const std::vector<MessageStore::Copy>& copies,
              const MessageStore::EachCopy& each);

    // The Message-ID of a message, when its header has one that can be
    // searched for.
    static std::optional<std::string> MessageIdOf(std::string_view bytes);

private:
    std::vector<MessageStore::Copy> Listed(ImapSession& session, const std::string& uids);
    bool HoldsBytes(ImapSession& session, const std::string& uid, const std::string& bytes);

    std::string server_;
    std::string readable_;
    std::string uidValidity_;
    std::optional<std::uint64_t> uidNext_;
    std::uint64_t exists_ = 0;
    std::uint64_t mark_ = UINT64_MAX;
    std::set<std::string> claimed_;
    std::optional<StoredCopies> earlier_;
};

} // namespace marrowgate
