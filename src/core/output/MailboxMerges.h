#pragma once

#include "platform/FileIdentity.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace marrowgate {

// Mailbox paths that name one file. On a file system that compares names
// without their case (as Windows' and macOS's do by default), or folds
// Unicode forms, the mailboxes of two store folders whose names differ only
// so ("Inbox" and "INBOX") are one file, which receives the messages of
// both: nothing is lost, but the user expects two mailboxes. Told from the
// files' identities, so only where the file system really merges them.
class MailboxMerges {
public:
    // A mailbox file opened as `path`, which is the file `identity`. The
    // first time a second path of an identity is met, a line naming both;
    // none otherwise (nor for a file without an identity).
    std::optional<std::string> Opened(const std::string& path, const FileIdentity& identity);

private:
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::string> firstPath_;
    std::set<std::string> named_; // paths already told of
};

} // namespace marrowgate
