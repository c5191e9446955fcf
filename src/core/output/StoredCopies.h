#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace marrowgate {

// The messages a mailbox of a store holds, by size and date, to find a
// message there before it is stored again. A copy found the same (the caller
// compares its bytes) is claimed: it stands for one message file only, so two
// identical files still give two copies.
class StoredCopies {
public:
    // A message of the mailbox: its size, its date, and how the store finds
    // it again (a UID, a file name).
    void Add(std::uint64_t size, std::chrono::sys_seconds date, std::string handle,
             bool claimed = false);
    // The copies of that size and date not yet claimed.
    std::vector<std::string> Candidates(std::uint64_t size, std::chrono::sys_seconds date) const;
    void Claim(std::uint64_t size, std::chrono::sys_seconds date, const std::string& handle);
    std::size_t Count() const { return count_; }

private:
    struct Copy {
        std::string handle;
        bool claimed = false;
    };
    std::map<std::tuple<std::uint64_t, std::int64_t>, std::vector<Copy>> copies_;
    std::size_t count_ = 0;
};

} // namespace marrowgate
