#include "output/imap/ImapStore.h"

#include "output/BareMessage.h"
#include "output/imap/ImapError.h"
#include "output/imap/ImapFolders.h"
#include "output/imap/ImapSession.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <thread>
#include <utility>

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

// The UIDs an APPEND's answer gives its `count` messages (UIDPLUS:
// "APPENDUID 38505 3955:3957", in the messages' order); empty ones without.
std::vector<std::string> AppendedUids(const ImapReply& reply, std::size_t count) {
    std::vector<std::string> uids;
    const auto code = reply.done.CodeItems();
    if (code.size() == 3 && code[0].IsAtom("APPENDUID")) {
        std::string_view set = code[2].text;
        while (!set.empty() && uids.size() < count) {
            const std::string_view range = set.substr(0, set.find(','));
            set.remove_prefix(std::min(set.size(), range.size() + 1));
            const std::size_t colon = range.find(':');
            std::uint64_t first = 0;
            std::uint64_t last = 0;
            std::from_chars(range.data(), range.data() + std::min(colon, range.size()), first);
            last = first;
            if (colon != std::string_view::npos) {
                std::from_chars(range.data() + colon + 1, range.data() + range.size(), last);
            }
            for (; first <= last && uids.size() < count; ++first) {
                uids.push_back(std::to_string(first));
            }
        }
    }
    uids.resize(count);
    return uids;
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

// Whether the mailbox holds the message already (a copy not yet claimed).
bool ImapStore::FoundIn(const std::string& serverName, const std::string& bytes,
                        std::chrono::sys_seconds date) {
    StoredCopies& copies = CopiesOf(serverName);
    for (const std::string& uid : copies.Candidates(bytes.size(), date)) {
        if (Holds(serverName, uid, bytes)) {
            copies.Claim(bytes.size(), date, uid);
            return true;
        }
    }
    return false;
}

MessageStore::Outcome ImapStore::Store(const std::string& mailbox, const BareMessage& message,
                                       std::uint64_t ticket) {
    const std::string& serverName = serverNames_.at(mailbox);
    if (!batch_.empty() && serverName != batchMailbox_) {
        Flush();
    }
    std::string bytes = Uploadable(message.bytes);
    if (Retrying([&] { return FoundIn(serverName, bytes, message.date); })) {
        return Outcome::AlreadyThere;
    }
    batchMailbox_ = serverName;
    batchBytes_ += bytes.size();
    batch_.push_back({ticket, std::move(bytes), message.date});
    if (batch_.size() >= kBatchMessages || batchBytes_ >= kBatchBytes) {
        Flush();
    }
    return Outcome::Stored;
}

// Sends the batch and reads the answers. Should the connection stay lost,
// the messages of the batch are refused (their upload cannot be known
// finished; the next run finds out) before the error goes on.
void ImapStore::Flush() {
    if (batch_.empty()) {
        return;
    }
    try {
        Retrying([&] { SendBatch(); });
    } catch (const ConversionError& error) {
        for (const Taken& message : batch_) {
            refusals_.push_back({message.ticket, error.what()});
        }
        batch_.clear();
        batchBytes_ = 0;
        sentBefore_ = false;
        throw;
    }
    batchBytes_ = 0;
    sentBefore_ = false;
}

void ImapStore::SendBatch() {
    if (sentBefore_) {
        // What the lost connection had stored is there now: not sent again.
        std::erase_if(batch_, [&](const Taken& message) {
            const bool there = FoundIn(batchMailbox_, message.bytes, message.date);
            if (there) {
                Confirmed(message, {});
            }
            return there;
        });
    }
    sentBefore_ = true;
    if (batch_.size() > 1 && session_->Has("MULTIAPPEND") && SendTogether()) {
        return;
    }
    SendEach();
}

// One APPEND of the whole batch; false when the server refused it (it then
// stored none of them).
bool ImapStore::SendTogether() {
    std::vector<ImapSession::AppendItem> items;
    for (const Taken& message : batch_) {
        items.push_back({message.date, message.bytes});
    }
    const ImapReply reply =
        session_->Finish(session_->StartAppend(batchMailbox_, items, options_.seen));
    if (!reply.Ok()) {
        return false;
    }
    const std::vector<std::string> uids = AppendedUids(reply, batch_.size());
    for (std::size_t i = 0; i < batch_.size(); ++i) {
        Confirmed(batch_[i], uids[i]);
    }
    batch_.clear();
    return true;
}

// One APPEND each, all sent before the answers are read. The messages
// answered leave the batch as their answers come, so that a connection lost
// meanwhile leaves only those not answered.
void ImapStore::SendEach() {
    std::vector<std::string> tags;
    for (const Taken& message : batch_) {
        tags.push_back(session_->StartAppend(
            batchMailbox_, {ImapSession::AppendItem{message.date, message.bytes}}, options_.seen));
    }
    for (const std::string& tag : tags) {
        const ImapReply reply = session_->Finish(tag);
        if (reply.Ok()) {
            Confirmed(batch_.front(), AppendedUids(reply, 1).front());
        } else {
            const std::string& code = reply.done.Code();
            refusals_.push_back({batch_.front().ticket,
                                 "the server refused the message: " +
                                     (code.empty() ? "" : "[" + code + "] ") + reply.done.Text()});
        }
        batch_.erase(batch_.begin());
    }
}

void ImapStore::Confirmed(const Taken& message, std::string uid) {
    uploaded_[batchMailbox_].push_back({message.bytes.size(), message.date, std::move(uid)});
}

std::vector<MessageStore::Refusal> ImapStore::TakeRefusals() {
    return std::exchange(refusals_, {});
}

void ImapStore::Finish() {
    Flush();
    if (session_) {
        session_->Logout();
        session_.reset();
    }
}

} // namespace marrowgate
