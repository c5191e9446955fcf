#pragma once

#include "marrowgate/ImapAccount.h"
#include "output/MessageStore.h"
#include "output/StoredCopies.h"
#include "output/imap/ImapConnection.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace marrowgate {

class ImapFolders;
class ImapSession;

// An IMAP account as a MessageStore: each message APPENDed with its date as
// the internal date, into the mailbox of its folder (see ImapFolders).
//
// Messages for one mailbox go up together, so that a fast server is not
// waited for message by message: a batch (up to kBatchMessages or
// kBatchBytes) is one APPEND of them all where the server offers MULTIAPPEND
// (stored in one step: all or none), else one APPEND each, sent one after
// another before the answers are read. When a MULTIAPPEND is refused, its
// messages go again one by one, so that the one refused is named
// (TakeRefusals()) and the rest are stored.
//
// Before a message is taken, its mailbox's messages are looked through (their
// sizes and internal dates, read once per mailbox; then the bytes of any of
// the same size and date): a message there already is not sent again. So a
// run cut off anywhere, even between an APPEND and its answer, is finished by
// running it again. A lost connection is made again (waiting longer each
// time), and the messages of the batch in hand are looked for before they
// are sent again.
class ImapStore : public MessageStore {
public:
    // Connects and logs in. Throws ImapError.
    ImapStore(const ImapAccount& account, ImapUploadOptions options);
    ~ImapStore() override;

    LineEnding LineEnd() const override { return LineEnding::CrLf; }
    std::string Mailbox(const std::vector<std::string>& folderNames, bool& created) override;
    Outcome Store(const std::string& mailbox, const BareMessage& message,
                  std::uint64_t ticket) override;
    std::vector<Refusal> TakeRefusals() override;
    void Finish() override;

    static constexpr std::size_t kBatchMessages = 100;
    static constexpr std::size_t kBatchBytes = 8 * 1024 * 1024;

private:
    struct Taken {
        std::uint64_t ticket;
        std::string bytes;
        std::chrono::sys_seconds date;
    };
    struct Uploaded {
        std::uint64_t size;
        std::chrono::sys_seconds date;
        std::string uid; // empty without UIDPLUS
    };

    void Connect();
    template <typename Step> auto Retrying(Step step) -> decltype(step());
    StoredCopies& CopiesOf(const std::string& serverName);
    bool Holds(const std::string& serverName, const std::string& uid, const std::string& bytes);
    bool FoundIn(const std::string& serverName, const std::string& bytes,
                 std::chrono::sys_seconds date);
    void Flush();
    void SendBatch();
    bool SendTogether();
    void SendEach();
    void Confirmed(const Taken& message, std::string uid);

    ImapAccount account_;
    ImapUploadOptions options_;
    std::unique_ptr<ImapSession> session_;
    std::unique_ptr<ImapFolders> folders_;
    std::map<std::string, std::string> serverNames_; // readable -> server's
    std::string examined_;                           // the mailbox whose copies are at hand
    std::optional<StoredCopies> copies_;
    std::map<std::string, std::vector<Uploaded>> uploaded_; // by this run, per mailbox
    std::string batchMailbox_;
    std::vector<Taken> batch_;
    std::size_t batchBytes_ = 0;
    bool sentBefore_ = false; // the batch went out on a connection since lost
    std::vector<Refusal> refusals_;
};

} // namespace marrowgate
