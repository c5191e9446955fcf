#pragma once

#include "marrowgate/ImapAccount.h"
#include "marrowgate/ImapOptions.h"
#include "output/MessageStore.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace marrowgate {

class ImapCopies;
class ImapFolders;
class ImapSession;
struct ImapReply;

// An IMAP account as a MessageStore: each message APPENDed with its date as
// the internal date, into the mailbox of its folder (see ImapFolders). A
// message's place is "UIDVALIDITY,UID" (the UID left out where the server
// does not tell it: no UIDPLUS).
//
// Messages for one mailbox go up together, so that a fast server is not
// waited for message by message: a batch (up to kBatchMessages or
// kBatchBytes) is one APPEND of them all where the server offers MULTIAPPEND
// (stored in one step: all or none), else one APPEND each, sent one after
// another before the answers are read. When a MULTIAPPEND is refused, its
// messages go again one by one, so that the one refused is named
// (TakeRefusals()) and the rest are stored.
//
// The ledger's account of a mailbox begins at the UIDNEXT it had when a run
// first came to it ("UIDVALIDITY,UIDNEXT"): the messages below were there
// before and are looked through (ImapCopies); those above are the ledger's
// own or someone else's. A lost connection is made again (waiting longer
// each time), and the messages of the batch in hand are looked for (they
// may have gone up) before they are sent again.
class ImapStore : public MessageStore {
public:
    // Connects and logs in. Throws ImapError.
    ImapStore(const ImapAccount& account, ImapUploadOptions options);
    ~ImapStore() override;

    LineEnding LineEnd() const override { return LineEnding::CrLf; }
    void Prepare(BareMessage& message) const override;
    std::string Mailbox(const std::vector<std::string>& folderNames, bool& created) override;
    std::string LedgerName(const std::string& mailbox) const override;
    std::optional<std::string> Enter(const std::string& mailbox,
                                     const std::optional<std::string>& begun) override;
    bool Holds(const std::string& place) override;
    std::optional<std::string> Find(const BareMessage& message, Search search) override;
    bool AnswersLater() const override { return true; }
    std::string SendingPlace() const override;
    void Store(const std::string& mailbox, const BareMessage& message,
               std::uint64_t ticket) override;
    std::vector<Confirmed> TakeConfirmed() override;
    std::vector<Refusal> TakeRefusals() override;
    void Finish() override;

    std::optional<std::string>
    ExistingMailbox(const std::vector<std::string>& folderNames) override;
    std::vector<Copy> Copies(const std::string& mailbox) override;
    void ReadCopies(const std::string& mailbox, const std::vector<Copy>& copies,
                    const EachCopy& each) override;

    static constexpr std::size_t kBatchMessages = 100;
    static constexpr std::size_t kBatchBytes = 8 * 1024 * 1024;

private:
    struct Taken {
        std::uint64_t ticket;
        std::string bytes;
        std::chrono::sys_seconds date;
    };

    void Connect();
    template <typename Step> auto Retrying(Step step) -> decltype(step());
    std::string Readable(const std::string& serverName) const;
    void Flush();
    void SendBatch();
    bool SendTogether();
    void SendEach();
    void Confirm(std::uint64_t ticket, const std::string& place);

    ImapAccount account_;
    ImapUploadOptions options_;
    std::unique_ptr<ImapSession> session_;
    std::unique_ptr<ImapFolders> folders_;
    std::map<std::string, std::string> serverNames_; // readable -> server's
    std::string entered_;                            // the mailbox entered last
    std::unique_ptr<ImapCopies> copies_;             // its messages
    std::unique_ptr<ImapCopies> checked_;            // those of the mailbox a check reads
    std::vector<Taken> batch_;                       // for the mailbox entered last
    std::size_t batchBytes_ = 0;
    bool sentBefore_ = false; // the batch went out on a connection since lost
    std::vector<MessageStore::Confirmed> confirmed_;
    std::vector<Refusal> refusals_;
};

} // namespace marrowgate
