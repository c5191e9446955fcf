#pragma once

#include <cstdint>
#include <vector>

namespace marrowgate {

// A set of 32-bit hashes in one flat table (4 bytes a slot, at most three
// quarters full): it says for certain that a hash was never added, and only
// "maybe" that it was, as other keys share hashes.
class HashSet32 {
public:
    void Add(std::uint32_t hash);
    bool MayHold(std::uint32_t hash) const;
    void Clear();

private:
    void Grow();

    std::vector<std::uint32_t> slots_; // 0 is an empty slot; a hash of 0 is kept as 1
    std::size_t count_ = 0;
};

} // namespace marrowgate
