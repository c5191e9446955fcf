#include "output/MailboxMerges.h"

namespace marrowgate {

std::optional<std::string> MailboxMerges::Opened(const std::string& path,
                                                 const FileIdentity& identity) {
    if (identity.device == 0 && identity.inode == 0) {
        return std::nullopt;
    }
    const auto [first, added] = firstPath_.try_emplace({identity.device, identity.inode}, path);
    if (added || first->second == path || !named_.insert(path).second) {
        return std::nullopt;
    }
    return path + " and " + first->second +
           " are one file on the output's file system (their folders' names differ only in "
           "case or form): the messages of both folders are in it";
}

} // namespace marrowgate
