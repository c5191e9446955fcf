#include "output/StoredCopies.h"

namespace marrowgate {
namespace {

std::tuple<std::uint64_t, std::int64_t> Key(std::uint64_t size, std::chrono::sys_seconds date) {
    return {size, static_cast<std::int64_t>(date.time_since_epoch().count())};
}

} // namespace

void StoredCopies::Add(std::uint64_t size, std::chrono::sys_seconds date, std::string handle,
                       bool claimed) {
    copies_[Key(size, date)].push_back({std::move(handle), claimed});
    ++count_;
}

std::vector<std::string> StoredCopies::Candidates(std::uint64_t size,
                                                  std::chrono::sys_seconds date) const {
    std::vector<std::string> handles;
    const auto found = copies_.find(Key(size, date));
    if (found != copies_.end()) {
        for (const Copy& copy : found->second) {
            if (!copy.claimed) {
                handles.push_back(copy.handle);
            }
        }
    }
    return handles;
}

void StoredCopies::Claim(std::uint64_t size, std::chrono::sys_seconds date,
                         const std::string& handle) {
    const auto found = copies_.find(Key(size, date));
    if (found == copies_.end()) {
        return;
    }
    for (Copy& copy : found->second) {
        if (!copy.claimed && copy.handle == handle) {
            copy.claimed = true;
            return;
        }
    }
}

} // namespace marrowgate
