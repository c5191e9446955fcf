#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace marrowgate {

// An IMAP account as the user names it:
//
//   imaps://user@host[:port]/[folder]   TLS from the start (port 993)
//   imap://user@host[:port]/[folder]    STARTTLS, or plain text when allowed (143)
//
// The user name and the folder are percent-decoded ("ann%40example.com" for
// a user name with an "@"); the folder is where the stores go in the account,
// its levels split by "/".
struct ImapAccount {
    bool implicitTls = true;
    std::string user;
    std::string host; // an IPv6 address in brackets, as in the URL
    std::uint16_t port = 993;
    std::string folder;

    // Throws ConversionError with the reason for a text that is not such a URL
    // (another scheme, no user or host, a password in it).
    static ImapAccount Parse(std::string_view url);
    // Whether `text` names an IMAP account rather than a folder.
    static bool LooksLikeUrl(std::string_view text);

    // "imaps://host:port/" for the connection (no user, no folder).
    std::string ServerUrl() const;
    // "user@host" (and ":port" when not the usual one), for messages.
    std::string Display() const;
    // Display() as a file name on any system: the host in lower case, every
    // byte but letters, digits and "@._-" written "%XX". The folder of the
    // account's ledger is named so.
    std::string FileName() const;
};

} // namespace marrowgate
