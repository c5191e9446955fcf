#include "ledger/HashSet32.h"

namespace marrowgate {
namespace {

std::uint32_t Stored(std::uint32_t hash) {
    return hash == 0 ? 1 : hash;
}

} // namespace

void HashSet32::Add(std::uint32_t hash) {
    if ((count_ + 1) * 4 > slots_.size() * 3) {
        Grow();
    }
    const std::uint32_t value = Stored(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = value & mask;; i = (i + 1) & mask) {
        if (slots_[i] == value) {
            return;
        }
        if (slots_[i] == 0) {
            slots_[i] = value;
            ++count_;
            return;
        }
    }
}

bool HashSet32::MayHold(std::uint32_t hash) const {
    if (slots_.empty()) {
        return false;
    }
    const std::uint32_t value = Stored(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = value & mask;; i = (i + 1) & mask) {
        if (slots_[i] == value) {
            return true;
        }
        if (slots_[i] == 0) {
            return false;
        }
    }
}

void HashSet32::Clear() {
    std::vector<std::uint32_t>().swap(slots_);
    count_ = 0;
}

void HashSet32::Grow() {
    std::vector<std::uint32_t> old(slots_.empty() ? 1024 : slots_.size() * 2, 0);
    old.swap(slots_);
    count_ = 0;
    for (const std::uint32_t value : old) {
        if (value != 0) {
            Add(value);
        }
    }
}

} // namespace marrowgate
