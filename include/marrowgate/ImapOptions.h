#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace marrowgate {

// How to log in to an IMAP account and what to trust.
struct ImapLogin {
    std::string password;   // for PLAIN or LOGIN
    std::string oauthToken; // a bearer token: XOAUTH2 or OAUTHBEARER
    // "PLAIN", "LOGIN", "XOAUTH2", "OAUTHBEARER"; empty: the best the server
    // offers for what is given.
    std::string mechanism;
    // A file of PEM certificates to trust instead of the system's.
    std::string caFile;
    // imap:// without TLS when the server offers no STARTTLS.
    bool insecurePlaintext = false;
    // How long to wait for the server before the connection counts as lost.
    int timeoutSeconds = 120;
};

// What an upload to an IMAP account needs besides the account.
struct ImapUploadOptions {
    ImapLogin login;
    // Uploaded messages are marked read. A .eml file does not say whether
    // its message was read, so this is the user's choice for all of them.
    bool seen = false;
    // Windows Live Mail's Inbox, Sent Items and the like into the account's
    // own special-use mailboxes rather than under the store's name.
    bool specialFolders = false;
    // How long to wait before each new try when the connection is lost.
    std::vector<std::chrono::milliseconds> retryDelays = {
        std::chrono::seconds(1), std::chrono::seconds(2),  std::chrono::seconds(4),
        std::chrono::seconds(8), std::chrono::seconds(16), std::chrono::seconds(30)};
    // Asked while waiting to try again: true gives up (the run is being
    // stopped).
    std::function<bool()> stopRequested;
    // The folder that keeps the upload's ledger (and its lock); empty: one
    // per account under the user's state folder (ImapLedgerFolder()).
    std::string ledgerFolder;
};

} // namespace marrowgate
