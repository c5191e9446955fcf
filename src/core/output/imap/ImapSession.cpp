#include "output/imap/ImapSession.h"

#include "output/imap/ImapError.h"

#include "record/FromLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace marrowgate {
namespace {} // namespace

ImapSession::ImapSession(std::unique_ptr<ImapConnection> connection)
    : connection_(std::move(connection)) {
    ReadCapabilities(Run("CAPABILITY"));
    if (Has("UTF8=ACCEPT") && Has("ENABLE")) {
        const ImapReply enabled = Run("ENABLE UTF8=ACCEPT");
        for (const ImapResponse& data : enabled.data) {
            const auto& items = data.Items();
            if (!items.empty() && items[0].IsAtom("ENABLED")) {
                utf8Names_ = std::any_of(items.begin() + 1, items.end(), [](const ImapItem& item) {
                    return item.IsAtom("UTF8=ACCEPT");
                });
            }
        }
    }
}

ImapSession::~ImapSession() = default;

void ImapSession::ReadCapabilities(const ImapReply& reply) {
    for (const ImapResponse& data : reply.data) {
        const auto& items = data.Items();
        if (items.empty() || !items[0].IsAtom("CAPABILITY")) {
            continue;
        }
        capabilities_.clear();
        for (std::size_t i = 1; i < items.size(); ++i) {
            capabilities_.insert(ImapUpper(items[i].text));
        }
    }
}

bool ImapSession::Has(std::string_view capability) const {
    return capabilities_.contains(std::string(capability));
}

std::string ImapSession::Tagged(std::string_view command) {
    std::string tag = std::string("m") + std::to_string(nextTag_++);
    unfinished_.insert(tag);
    connection_->Send(tag + " " + std::string(command) + "\r\n");
    return tag;
}

// The next response; a BYE means the server is closing the connection.
ImapResponse ImapSession::ReadOne() {
    ImapResponse response(connection_->ReadResponse());
    if (response.IsUntagged() && response.Status() == "BYE") {
        throw ImapError(ImapError::Kind::ConnectionLost,
                        "the server closed the connection: " + response.FirstLine());
    }
    return response;
}

ImapReply ImapSession::Run(std::string_view command) {
    return Finish(Tagged(command));
}

ImapReply ImapSession::Examine(const std::string& mailbox) {
    examined_.clear();
    ImapReply reply = Run("EXAMINE " + QuotedImapString(mailbox, utf8Names_));
    if (reply.Ok()) {
        examined_ = mailbox;
    }
    return reply;
}

ImapReply ImapSession::Finish(const std::string& tag) {
    while (!finished_.contains(tag)) {
        ImapResponse response = ReadOne();
        if (response.IsUntagged() || response.IsContinuation()) {
            data_.push_back(std::move(response));
            continue;
        }
        std::string done = response.Tag();
        unfinished_.erase(done);
        finished_.emplace(std::move(done), ImapReply{std::move(response), std::move(data_)});
        data_.clear();
    }
    auto node = finished_.extract(tag);
    return std::move(node.mapped());
}

std::string ImapSession::StartAppend(const std::string& mailbox,
                                     const std::vector<AppendItem>& messages, bool seen) {
    const bool noWait = Has("LITERAL+");
    const std::string tag = std::string("m") + std::to_string(nextTag_++);
    unfinished_.insert(tag);
    std::string line = tag + " APPEND " + QuotedImapString(mailbox, utf8Names_);
    for (const AppendItem& message : messages) {
        line.append(seen ? " (\\Seen) \"" : " \"").append(InternalDate(message.date));
        line.append("\" {").append(std::to_string(message.bytes.size()));
        line.append(noWait ? "+}\r\n" : "}\r\n");
        connection_->Send(line);
        line.clear();
        if (!noWait && !AwaitGoAhead(tag)) {
            return tag; // refused at once: the command has ended
        }
        connection_->Send(message.bytes);
    }
    connection_->Send("\r\n");
    return tag;
}

// The server's go-ahead for a literal, or false when the command tagged
// `tag` ended instead (the server refused at once).
bool ImapSession::AwaitGoAhead(const std::string& tag) {
    while (true) {
        ImapResponse response = ReadOne();
        if (response.IsContinuation()) {
            return true;
        }
        if (response.IsUntagged()) {
            data_.push_back(std::move(response));
            continue;
        }
        std::string done = response.Tag();
        unfinished_.erase(done);
        finished_.emplace(done, ImapReply{std::move(response), std::move(data_)});
        data_.clear();
        if (done == tag) {
            return false;
        }
    }
}

void ImapSession::Logout() noexcept {
    try {
        Run("LOGOUT");
    } catch (const std::exception&) {
        // The connection goes either way.
    }
}

// The From_ line's date, "Mon Jul 05 14:03:09 2010", rearranged.
std::string ImapSession::InternalDate(std::chrono::sys_seconds date) {
    const std::string text = FormatFromLineDate(date);
    return text.substr(8, 2) + "-" + text.substr(4, 3) + "-" + text.substr(20) + " " +
           text.substr(11, 8) + " +0000";
}

std::optional<std::chrono::sys_seconds> ImapSession::ParseInternalDate(std::string_view text) {
    using namespace std::chrono;
    static constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    while (text.starts_with(' ')) {
        text.remove_prefix(1);
    }
    int day = 0;
    int year = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int zone = 0;
    char month[4] = {};
    char sign = '+';
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%d-%3c-%d %d:%d:%d %c%d", &day, month, &year, &hour, &minute,
                    &second, &sign, &zone) != 8 ||
        (sign != '+' && sign != '-')) {
        return std::nullopt;
    }
    const auto index = kMonths.find(std::string_view(month, 3));
    const year_month_day date{std::chrono::year(year),
                              std::chrono::month(static_cast<unsigned>(index / 3 + 1)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (index == std::string_view::npos || index % 3 != 0 || !date.ok()) {
        return std::nullopt;
    }
    const auto offset = minutes((zone / 100) * 60 + zone % 100);
    return sys_days(date) + hours(hour) + minutes(minute) + seconds(second) -
           (sign == '+' ? offset : -offset);
}

} // namespace marrowgate
