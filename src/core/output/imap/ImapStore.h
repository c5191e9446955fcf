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

// An IMAP account as a MessageStore: each message an APPEND with its date as
// the internal date, into the mailbox of its folder (see ImapFolders).
//
// Before a message goes up, its mailbox's messages are looked through (their
// sizes and internal dates, read once per mailbox; then the bytes of any of
// the same size and date): a message there already is not sent again. So a
// run cut off anywhere, even between an APPEND and its answer, is finished by
// running it again. A lost connection is made again (waiting longer each
// time) and the message looked for before it is sent again.
class ImapStore : public MessageStore {
public:
    // Connects and logs in. Throws ImapError.
    ImapStore(const ImapAccount& account, ImapUploadOptions options);
    ~ImapStore() override;

    LineEnding LineEnd() const override { return LineEnding::CrLf; }
    std::string Mailbox(const std::vector<std::string>& folderNames, bool& created) override;
    Outcome Store(const std::string& mailbox, const BareMessage& message) override;
    void Finish() override;

private:
    struct Uploaded {
        std::uint64_t size;
        std::chrono::sys_seconds date;
        std::string uid; // empty without UIDPLUS
    };

    void Connect();
    template <typename Step> auto Retrying(Step step) -> decltype(step());
    StoredCopies& CopiesOf(const std::string& serverName);
    bool Holds(const std::string& serverName, const std::string& uid, const std::string& bytes);
    Outcome Append(const std::string& serverName, const std::string& bytes,
                   std::chrono::sys_seconds date);

    ImapAccount account_;
    ImapUploadOptions options_;
    std::unique_ptr<ImapSession> session_;
    std::unique_ptr<ImapFolders> folders_;
    std::map<std::string, std::string> serverNames_; // readable -> server's
    std::string examined_;                           // the mailbox whose copies are at hand
    std::optional<StoredCopies> copies_;
    std::map<std::string, std::vector<Uploaded>> uploaded_; // by this run, per mailbox
};

} // namespace marrowgate
