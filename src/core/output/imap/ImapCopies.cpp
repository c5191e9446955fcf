#include "output/imap/ImapCopies.h"

#include "output/imap/ImapError.h"
#include "output/imap/ImapSession.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace marrowgate {
namespace {

// Fetched a few at a time when read whole: the answer is held in memory.
constexpr std::size_t kReadMessages = 64;
constexpr std::uint64_t kReadBytes = 16 * 1024 * 1024;
constexpr std::size_t kLongestMessageId = 250;

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

bool StartsWithWord(std::string_view line, std::string_view word) {
    return line.size() >= word.size() &&
           std::equal(word.begin(), word.end(), line.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

ImapCopies::ImapCopies(std::string serverName, std::string readable)
    : server_(std::move(serverName)), readable_(std::move(readable)) {}

void ImapCopies::Open(ImapSession& session) {
    if (session.Examined() == server_) {
        return;
    }
    const ImapReply opened = session.Examine(server_);
    if (!opened.Ok()) {
        throw ImapError(ImapError::Kind::Refused, "the server does not open the mailbox " +
                                                      readable_ + ": " + opened.done.Text());
    }
    for (const ImapResponse& data : opened.data) {
        const auto code = data.CodeItems();
        if (data.Status() == "OK" && code.size() >= 2 && code[0].IsAtom("UIDVALIDITY")) {
            uidValidity_ = code[1].text;
        } else if (data.Status() == "OK" && code.size() >= 2 && code[0].IsAtom("UIDNEXT")) {
            uidNext_ = code[1].Number();
        } else if (const auto& items = data.Items();
                   items.size() >= 2 && items[1].IsAtom("EXISTS") && items[0].Number()) {
            exists_ = *items[0].Number();
        }
    }
}

std::vector<MessageStore::Copy> ImapCopies::Listed(ImapSession& session, const std::string& uids) {
    std::vector<MessageStore::Copy> copies;
    if (exists_ == 0) {
        return copies;
    }
    const ImapReply fetched = session.Run("UID FETCH " + uids + " (RFC822.SIZE INTERNALDATE)");
    if (!fetched.Ok()) {
        throw ImapError(ImapError::Kind::Refused, "the server does not list the messages of " +
                                                      readable_ + ": " + fetched.done.Text());
    }
    for (const ImapResponse& data : fetched.data) {
        const ImapItem* uid = FetchItem(data, "UID");
        const ImapItem* size = FetchItem(data, "RFC822.SIZE");
        const ImapItem* date = FetchItem(data, "INTERNALDATE");
        const auto when = date ? ImapSession::ParseInternalDate(date->text) : std::nullopt;
        if (uid && uid->Number() && size && size->Number() && when) {
            copies.push_back({uid->text, *size->Number(), *when});
        }
    }
    return copies;
}

bool ImapCopies::HoldsBytes(ImapSession& session, const std::string& uid,
                            const std::string& bytes) {
    const ImapReply fetched = session.Run("UID FETCH " + uid + " BODY.PEEK[]");
    for (const ImapResponse& data : fetched.data) {
        if (const ImapItem* body = FetchItem(data, "BODY[]")) {
            return body->text == bytes;
        }
    }
    return false;
}

std::optional<std::string> ImapCopies::FindEarlier(ImapSession& session, const std::string& bytes,
                                                   std::chrono::sys_seconds date) {
    Open(session);
    if (!earlier_) {
        StoredCopies earlier;
        if (mark_ > 1) {
            const std::string last = mark_ == UINT64_MAX ? "*" : std::to_string(mark_ - 1);
            for (MessageStore::Copy& copy : Listed(session, "1:" + last)) {
                // "1:N" names the last message too when every UID is above N.
                if (std::stoull(copy.handle) < mark_) {
                    const bool claimed = claimed_.contains(copy.handle);
                    earlier.Add(copy.size, copy.date, std::move(copy.handle), claimed);
                }
            }
        }
        earlier_ = std::move(earlier);
    }
    for (const std::string& uid : earlier_->Candidates(bytes.size(), date)) {
        if (!claimed_.contains(uid) && HoldsBytes(session, uid, bytes)) {
            earlier_->Claim(bytes.size(), date, uid);
            claimed_.insert(uid);
            return uid;
        }
    }
    return std::nullopt;
}

// The server searches (the size exactly: larger than one less, smaller than
// one more); the bytes decide. The internal date is left out: some servers
// keep their own.
std::optional<std::string> ImapCopies::FindSent(ImapSession& session, const std::string& bytes) {
    Open(session);
    std::string criteria;
    if (const auto id = MessageIdOf(bytes)) {
        criteria = "HEADER Message-ID " + QuotedImapString(*id) + " ";
    }
    criteria += "LARGER " + std::to_string(bytes.size() - 1) + " SMALLER " +
                std::to_string(bytes.size() + 1);
    const ImapReply found = session.Run("UID SEARCH " + criteria);
    if (!found.Ok()) {
        throw ImapError(ImapError::Kind::Refused, "the server does not search the mailbox " +
                                                      readable_ + ": " + found.done.Text());
    }
    std::vector<std::string> uids;
    for (const ImapResponse& data : found.data) {
        const auto& items = data.Items();
        for (std::size_t i = 1; !items.empty() && items[0].IsAtom("SEARCH") && i < items.size();
             ++i) {
            uids.push_back(items[i].text);
        }
    }
    for (const std::string& uid : uids) {
        if (!claimed_.contains(uid) && HoldsBytes(session, uid, bytes)) {
            claimed_.insert(uid);
            return uid;
        }
    }
    return std::nullopt;
}

std::vector<MessageStore::Copy> ImapCopies::All(ImapSession& session) {
    Open(session);
    return Listed(session, "1:*");
}

void ImapCopies::Read(ImapSession& session, const std::vector<MessageStore::Copy>& copies,
                      const MessageStore::EachCopy& each) {
    Open(session);
    for (std::size_t from = 0; from < copies.size();) {
        std::string uids;
        std::uint64_t bytes = 0;
        std::size_t to = from;
        for (;
             to < copies.size() && to - from < kReadMessages && (bytes < kReadBytes || to == from);
             ++to) {
            uids += (uids.empty() ? "" : ",") + copies[to].handle;
            bytes += copies[to].size;
        }
        const ImapReply fetched = session.Run("UID FETCH " + uids + " BODY.PEEK[]");
        for (const ImapResponse& data : fetched.data) {
            const ImapItem* uid = FetchItem(data, "UID");
            const ImapItem* body = FetchItem(data, "BODY[]");
            if (uid && body) {
                each(uid->text, body->text);
            }
        }
        from = to;
    }
}

// Its lines unfolded; only one without spaces or control characters, as
// Message-IDs are, goes into a search.
std::optional<std::string> ImapCopies::MessageIdOf(std::string_view bytes) {
    const std::size_t headerEnd = bytes.find("\r\n\r\n");
    std::string_view header = bytes.substr(0, headerEnd);
    std::string value;
    bool inField = false;
    while (!header.empty()) {
        const std::size_t end = header.find("\r\n");
        const std::string_view line = header.substr(0, end);
        header.remove_prefix(end == std::string_view::npos ? header.size() : end + 2);
        const bool folded = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        if (inField && folded) {
            value.append(line);
            continue;
        }
        if (inField) {
            break;
        }
        if (StartsWithWord(line, "Message-ID:")) {
            inField = true;
            value.assign(line.substr(11));
        }
    }
    value.erase(
        std::remove_if(value.begin(), value.end(), [](char c) { return c == ' ' || c == '\t'; }),
        value.end());
    const bool plain = std::all_of(value.begin(), value.end(), [](char c) {
        return c > ' ' && c < '\x7f' && c != '"' && c != '\\';
    });
    if (value.empty() || !plain || value.size() > kLongestMessageId) {
        return std::nullopt;
    }
    return value;
}

} // namespace marrowgate
