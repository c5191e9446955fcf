#include "output/imap/ImapStore.h"

#include "output/BareMessage.h"
#include "output/imap/ImapCopies.h"
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

// The places an APPEND's answer gives its `count` messages, in their order
// (UIDPLUS: "APPENDUID 38505 3955:3957"); without one, "UIDVALIDITY," with
// the mailbox's `uidValidity`.
std::vector<std::string> AppendedPlaces(const ImapReply& reply, std::size_t count,
                                        const std::string& uidValidity) {
    std::vector<std::string> places;
    const auto code = reply.done.CodeItems();
    const bool told = code.size() == 3 && code[0].IsAtom("APPENDUID");
    const std::string validity = told ? code[1].text : uidValidity;
    std::string_view set = told ? std::string_view(code[2].text) : std::string_view();
    while (!set.empty() && places.size() < count) {
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
        for (; first <= last && places.size() < count; ++first) {
            places.push_back(validity + "," + std::to_string(first));
        }
    }
    places.resize(count, validity + ",");
    return places;
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

// IMAP carries no NUL in a message (RFC 3501 4.3); a binary literal would
// (RFC 3516), but servers then hand the part back re-encoded, unlike what
// was sent. So a NUL goes as 0x80, the byte Dovecot keeps for one: every
// server holds the same bytes, which a later run finds again.
void ImapStore::Prepare(BareMessage& message) const {
    std::replace(message.bytes.begin(), message.bytes.end(), '\0', '\x80');
}

std::string ImapStore::Readable(const std::string& serverName) const {
    return account_.Display() + "/" + folders_->Readable(serverName);
}

std::string ImapStore::Mailbox(const std::vector<std::string>& folderNames, bool& created) {
    const std::string server = Retrying([&] { return folders_->MailboxFor(folderNames, created); });
    std::string readable = Readable(server);
    serverNames_[readable] = server;
    return readable;
}

std::string ImapStore::LedgerName(const std::string& mailbox) const {
    return account_.Display() + "/" + serverNames_.at(mailbox);
}

// What the batch of the mailbox before holds goes first, so that the
// mailbox in hand is the one its messages are looked for in.
std::optional<std::string> ImapStore::Enter(const std::string& mailbox,
                                            const std::optional<std::string>& begun) {
    Flush();
    const std::string& server = serverNames_.at(mailbox);
    entered_ = server;
    copies_ = std::make_unique<ImapCopies>(server, folders_->Readable(server));
    Retrying([&] { copies_->Open(*session_); });
    const std::string& validity = copies_->UidValidity();
    if (begun && begun->starts_with(validity + ",")) {
        std::uint64_t mark = 0;
        const std::string_view next = std::string_view(*begun).substr(validity.size() + 1);
        if (std::from_chars(next.data(), next.data() + next.size(), mark).ptr ==
            next.data() + next.size()) {
            copies_->SetMark(mark);
            return std::nullopt;
        }
    }
    if (const auto next = copies_->UidNext()) {
        copies_->SetMark(*next);
        return validity + "," + std::to_string(*next);
    }
    return std::nullopt; // no mark: every message there is looked through
}

bool ImapStore::Holds(const std::string& place) {
    const std::size_t comma = place.find(',');
    if (comma == std::string::npos || place.substr(0, comma) != copies_->UidValidity()) {
        return false;
    }
    if (comma + 1 < place.size()) {
        copies_->Claim(place.substr(comma + 1));
    }
    return true;
}

std::optional<std::string> ImapStore::Find(const BareMessage& message, Search search) {
    const std::optional<std::string> uid = Retrying([&] {
        return search == Search::Sent
                   ? copies_->FindSent(*session_, message.bytes)
                   : copies_->FindEarlier(*session_, message.bytes, message.date);
    });
    if (!uid) {
        return std::nullopt;
    }
    return copies_->UidValidity() + "," + *uid;
}

std::string ImapStore::SendingPlace() const {
    return copies_ ? copies_->UidValidity() : std::string();
}

void ImapStore::Store(const std::string& mailbox, const BareMessage& message,
                      std::uint64_t ticket) {
    if (serverNames_.at(mailbox) != entered_) {
        throw ConversionError("The mailbox " + mailbox + " was not entered before a message");
    }
    batchBytes_ += message.bytes.size();
    batch_.push_back({ticket, message.bytes, message.date});
    if (batch_.size() >= kBatchMessages || batchBytes_ >= kBatchBytes) {
        Flush();
    }
}

// Sends the batch and reads the answers. Should the connection stay lost,
// the messages of the batch are refused (their upload cannot be known
// finished; the next run finds out) before the error goes on.
void ImapStore::Flush() {
    if (batch_.empty()) {
        return;
    }
    try {
        BeforeSending();
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
            const std::optional<std::string> uid = copies_->FindSent(*session_, message.bytes);
            if (uid) {
                Confirm(message.ticket, copies_->UidValidity() + "," + *uid);
            }
            return uid.has_value();
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
    const ImapReply reply = session_->Finish(session_->StartAppend(entered_, items, options_.seen));
    if (!reply.Ok()) {
        return false;
    }
    const std::vector<std::string> places =
        AppendedPlaces(reply, batch_.size(), copies_->UidValidity());
    for (std::size_t i = 0; i < batch_.size(); ++i) {
        Confirm(batch_[i].ticket, places[i]);
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
            entered_, {ImapSession::AppendItem{message.date, message.bytes}}, options_.seen));
    }
    for (const std::string& tag : tags) {
        const ImapReply reply = session_->Finish(tag);
        if (reply.Ok()) {
            Confirm(batch_.front().ticket,
                    AppendedPlaces(reply, 1, copies_->UidValidity()).front());
        } else {
            const std::string& code = reply.done.Code();
            refusals_.push_back({batch_.front().ticket,
                                 "the server refused the message: " +
                                     (code.empty() ? "" : "[" + code + "] ") + reply.done.Text()});
        }
        batch_.erase(batch_.begin());
    }
}

// A copy of this run's is no other message's: an identical one looked for
// after a lost connection does not take it.
void ImapStore::Confirm(std::uint64_t ticket, const std::string& place) {
    const std::size_t comma = place.find(',');
    if (comma != std::string::npos && comma + 1 < place.size()) {
        copies_->Claim(place.substr(comma + 1));
    }
    confirmed_.push_back({ticket, place});
}

std::vector<MessageStore::Confirmed> ImapStore::TakeConfirmed() {
    return std::exchange(confirmed_, {});
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

std::optional<std::string> ImapStore::ExistingMailbox(const std::vector<std::string>& folderNames) {
    const std::optional<std::string> server =
        Retrying([&] { return folders_->Existing(folderNames); });
    if (!server) {
        return std::nullopt;
    }
    std::string readable = Readable(*server);
    serverNames_[readable] = *server;
    return readable;
}

std::vector<MessageStore::Copy> ImapStore::Copies(const std::string& mailbox) {
    const std::string& server = serverNames_.at(mailbox);
    checked_ = std::make_unique<ImapCopies>(server, folders_->Readable(server));
    return Retrying([&] { return checked_->All(*session_); });
}

// Not tried again on a new connection: what was read would be read twice.
void ImapStore::ReadCopies(const std::string& /*mailbox*/, const std::vector<Copy>& copies,
                           const EachCopy& each) {
    if (!session_) {
        Connect();
    }
    checked_->Read(*session_, copies, each);
}

} // namespace marrowgate
