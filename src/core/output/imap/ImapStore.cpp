#include "output/imap/ImapStore.h"

#include "output/BareMessage.h"
#include "output/imap/ImapError.h"
#include "output/imap/ImapFolders.h"
#include "output/imap/ImapSession.h"

#include <algorithm>
#include <thread>

namespace marrowgate {
namespace {

// The item after `name` in a FETCH response's list, or null.
const ImapItem* FetchItem(const ImapResponse& data, std::string_view name) {
    const auto& items = data.Items();
    if (items.size() < 3 || !items[1].IsAtom("FETCH")) {
        return nullptr;
    }
    const auto& fields = items[2].items;
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].IsAtom(name)) {
            return &fields[i + 1];
        }
    }
    return nullptr;
}

// The message as it goes up. IMAP carries no NUL in a message (RFC 3501
// 4.3); a binary literal would (RFC 3516), but servers then hand the part
// back re-encoded, unlike what was sent. So a NUL goes as 0x80, the byte
// Dovecot keeps for one: every server holds the same bytes, which a later
// run finds again.
std::string Uploadable(std::string_view bytes) {
    std::string copy(bytes);
    std::replace(copy.begin(), copy.end(), '\0', '\x80');
    return copy;
}

// Waits `delay`, a tenth of a second at a time; false when asked to stop.
bool Wait(std::chrono::milliseconds delay, const std::function<bool()>& stopRequested) {
    constexpr std::chrono::milliseconds kStep(100);
    for (std::chrono::milliseconds waited{0}; waited < delay; waited += kStep) {
        if (stopRequested && stopRequested()) {
            return false;
        }
        std::this_thread::sleep_for(std::min(kStep, delay - waited));
    }
    return true;
}

} // namespace

ImapStore::ImapStore(const ImapAccount& account, ImapUploadOptions options)
    : account_(account), options_(std::move(options)) {
    Connect();
}

ImapStore::~ImapStore() = default;

void ImapStore::Connect() {
    session_.reset();
    examined_.clear();
    copies_.reset();
    auto session =
        std::make_unique<ImapSession>(std::make_unique<ImapConnection>(account_, options_.login));
    if (folders_) {
        folders_->Rebind(*session);
    } else {
        folders_ =
            std::make_unique<ImapFolders>(*session, account_.folder, options_.specialFolders);
    }
    session_ = std::move(session);
}

// Runs `step`, making the connection again when it was lost, waiting longer
// each time, until the tries run out.
template <typename Step> auto ImapStore::Retrying(Step step) -> decltype(step()) {
    std::size_t tries = 0;
    while (true) {
        try {
            if (!session_) {
                Connect();
            }
            return step();
        } catch (const ImapError& error) {
            if (!error.ConnectionLost() || tries >= options_.retryDelays.size()) {
                throw;
            }
            session_.reset();
            if (!Wait(options_.retryDelays[tries++], options_.stopRequested)) {
                throw;
            }
        }
    }
}

std::string ImapStore::Mailbox(const std::vector<std::string>& folderNames, bool& created) {
    const std::string server = Retrying([&] { return folders_->MailboxFor(folderNames, created); });
    std::string readable = account_.Display() + "/" + folders_->Readable(server);
    serverNames_[readable] = server;
    return readable;
}

// The mailbox's messages by size and internal date, read when the run comes
// to it (and again on a new connection), less those this run sent.
StoredCopies& ImapStore::CopiesOf(const std::string& serverName) {
    if (copies_ && examined_ == serverName) {
        return *copies_;
    }
    copies_.reset();
    const ImapReply opened =
        session_->Run("EXAMINE " + QuotedImapString(serverName, session_->Utf8Names()));
    if (!opened.Ok()) {
        throw ImapError(ImapError::Kind::Refused, "the server does not open the mailbox " +
                                                      folders_->Readable(serverName) + ": " +
                                                      opened.done.Text());
    }
    StoredCopies copies;
    const ImapReply fetched = session_->Run("UID FETCH 1:* (RFC822.SIZE INTERNALDATE)");
    for (const ImapResponse& data : fetched.data) {
        const ImapItem* uid = FetchItem(data, "UID");
        const ImapItem* size = FetchItem(data, "RFC822.SIZE");
        const ImapItem* date = FetchItem(data, "INTERNALDATE");
        const auto when = date ? ImapSession::ParseInternalDate(date->text) : std::nullopt;
        if (uid && size && size->Number() && when) {
            copies.Add(*size->Number(), *when, uid->text);
        }
    }
    for (const Uploaded& sent : uploaded_[serverName]) {
        const auto candidates = copies.Candidates(sent.size, sent.date);
        if (!candidates.empty()) {
            copies.Claim(sent.size, sent.date, sent.uid.empty() ? candidates.front() : sent.uid);
        }
    }
    copies_ = std::move(copies);
    examined_ = serverName;
    return *copies_;
}

bool ImapStore::Holds(const std::string& serverName, const std::string& uid,
                      const std::string& bytes) {
    (void)serverName; // the mailbox CopiesOf() opened
    const ImapReply fetched = session_->Run("UID FETCH " + uid + " BODY.PEEK[]");
    for (const ImapResponse& data : fetched.data) {
        if (const ImapItem* body = FetchItem(data, "BODY[]")) {
            return body->text == bytes;
        }
    }
    return false;
}

ImapStore::Outcome ImapStore::Append(const std::string& serverName, const std::string& bytes,
                                     std::chrono::sys_seconds date) {
    const std::string tag = session_->StartAppend(serverName, date, options_.seen, bytes);
    const ImapReply reply = session_->Finish(tag);
    if (!reply.Ok()) {
        const std::string code = reply.done.Code().empty() ? "" : "[" + reply.done.Code() + "] ";
        throw ConversionError("the server refused the message: " + code + reply.done.Text());
    }
    std::string uid;
    const auto code = reply.done.CodeItems();
    if (code.size() == 3 && code[0].IsAtom("APPENDUID")) {
        uid = code[2].text;
    }
    uploaded_[serverName].push_back({bytes.size(), date, uid});
    return Outcome::Stored;
}

MessageStore::Outcome ImapStore::Store(const std::string& mailbox, const BareMessage& message) {
    const std::string& serverName = serverNames_.at(mailbox);
    const bool hasNul = message.bytes.find('\0') != std::string::npos;
    const std::string uploadable = hasNul ? Uploadable(message.bytes) : std::string();
    const std::string& bytes = hasNul ? uploadable : message.bytes;
    return Retrying([&] {
        StoredCopies& copies = CopiesOf(serverName);
        for (const std::string& uid : copies.Candidates(bytes.size(), message.date)) {
            if (Holds(serverName, uid, bytes)) {
                copies.Claim(bytes.size(), message.date, uid);
                return Outcome::AlreadyThere;
            }
        }
        return Append(serverName, bytes, message.date);
    });
}

void ImapStore::Finish() {
    if (session_) {
        session_->Logout();
        session_.reset();
    }
}

} // namespace marrowgate
