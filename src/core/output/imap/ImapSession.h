#pragma once

#include "output/imap/ImapConnection.h"
#include "output/imap/ImapResponse.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace marrowgate {

// What a command ended with, and the data the server sent while it ran.
struct ImapReply {
    ImapResponse done;
    std::vector<ImapResponse> data;
    bool Ok() const { return done.Status() == "OK"; }
};

// The commands of one logged-in connection, tagged in order ("m1", "m2",
// ...). APPENDs may be started one after another before their ends are
// read (pipelining): each is finished by Finish() with its tag.
class ImapSession {
public:
    // Asks the server what it can do (and, where it takes them, turns on
    // UTF-8 mailbox names). Throws ImapError.
    explicit ImapSession(std::unique_ptr<ImapConnection> connection);
    ~ImapSession();
    ImapSession(const ImapSession&) = delete;
    ImapSession& operator=(const ImapSession&) = delete;

    // Whether the server named `capability` (upper case) after the login.
    bool Has(std::string_view capability) const;
    // Mailbox names go as UTF-8 (RFC 6855) rather than modified UTF-7.
    bool Utf8Names() const { return utf8Names_; }

    // Sends `command` (without tag or line end) and reads until its end.
    // Throws ImapError when the connection is lost or the server says BYE.
    ImapReply Run(std::string_view command);
    // Opens `mailbox` (as the server spells it) read-only, for the commands
    // that look at its messages; Examined() names it once the server did.
    ImapReply Examine(const std::string& mailbox);
    const std::string& Examined() const { return examined_; }

    // One message of an APPEND: its bytes (CR LF line ends) and internal date.
    struct AppendItem {
        std::chrono::sys_seconds date;
        std::string_view bytes;
    };
    // Starts an APPEND of `messages` to `mailbox` (as the server spells it),
    // flagged \Seen when asked; more than one only where the server offers
    // MULTIAPPEND (RFC 3502: all are stored, or none). With LITERAL+ it does
    // not wait for the server; without it, it waits for the go-ahead before
    // each message, and a server that refuses at once (a message too large)
    // ends it then. Returns the tag for Finish().
    std::string StartAppend(const std::string& mailbox, const std::vector<AppendItem>& messages,
                            bool seen);
    // Reads until the command tagged `tag` has ended.
    ImapReply Finish(const std::string& tag);
    // Commands started and not yet finished.
    std::size_t Unfinished() const { return unfinished_.size(); }

    // Says goodbye; errors are of no interest then.
    void Logout() noexcept;

    // "05-Jul-2010 14:03:09 +0000", as APPEND and INTERNALDATE spell a date.
    static std::string InternalDate(std::chrono::sys_seconds date);
    // The time a server's INTERNALDATE names (" 5-Jul-2010 16:03:09 +0200"),
    // or nullopt.
    static std::optional<std::chrono::sys_seconds> ParseInternalDate(std::string_view text);

private:
    std::string Tagged(std::string_view command);
    bool AwaitGoAhead(const std::string& tag);
    ImapResponse ReadOne();
    void ReadCapabilities(const ImapReply& reply);

    std::unique_ptr<ImapConnection> connection_;
    unsigned long nextTag_ = 1;
    std::set<std::string> capabilities_;
    bool utf8Names_ = false;
    std::set<std::string> unfinished_;
    std::unordered_map<std::string, ImapReply> finished_;
    std::vector<ImapResponse> data_; // untagged data not yet handed out
    std::string examined_;
};

} // namespace marrowgate
