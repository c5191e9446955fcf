#pragma once

#include <cstdint>

namespace marrowgate {

// Which file an open file is, whatever name it was opened by: two names (a
// link, a hard link) of one file give the same identity.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

} // namespace marrowgate
