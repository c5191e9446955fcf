#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace marrowgate {

class ImapSession;

// The mailboxes of an account that a run puts messages into, named as the
// server wants them: nested with its delimiter, inside the personal
// namespace, each level in modified UTF-7 (or UTF-8 where the server takes
// it), and made (and subscribed, so that mail programs show them) when
// missing.
//
// By default a store's folders go under one mailbox named after the store
// (under the URL's folder, when it names one), so nothing mixes with the mail
// already there. With special folders, a store folder named Inbox, Sent
// Items, Deleted Items, Drafts or Junk E-mail (as Windows Live Mail names
// them, any case) goes into the account's own (RFC 6154: \Sent, \Trash,
// \Drafts, \Junk), its subfolders below it; a folder whose special mailbox
// the account lacks stays in the store's tree.
class ImapFolders {
public:
    // `base` is the URL's folder ("" or "Archive/2010"). Throws ImapError.
    ImapFolders(ImapSession& session, const std::string& base, bool specialFolders);

    // The server's name of the mailbox for the store folder `names` (the
    // store's name first), made when missing. Throws ImapError.
    std::string MailboxFor(const std::vector<std::string>& names, bool& created);
    // The same mailbox when the account has it, made or not.
    std::optional<std::string> Existing(const std::vector<std::string>& names) const;
    // A server's name as the user reads it: levels split by "/", UTF-8.
    std::string Readable(const std::string& serverName) const;
    // After a new connection: the same mailboxes, on it.
    void Rebind(ImapSession& session) { session_ = &session; }

private:
    void Survey();
    std::vector<std::string> Levels(const std::vector<std::string>& names) const;
    std::string Encode(const std::string& level) const;
    // Makes the missing ones; true when the last was made.
    bool Ensure(const std::vector<std::string>& levels);
    bool Exists(const std::string& name) const;

    ImapSession* session_;
    bool specialFolders_;
    std::string base_;
    std::string prefix_;   // the personal namespace's ("INBOX." on some servers)
    char delimiter_ = '/'; // 0: the server has no hierarchy
    std::set<std::string> existing_;
    std::map<std::string, std::string> special_; // "\\SENT" -> its mailbox
};

} // namespace marrowgate
