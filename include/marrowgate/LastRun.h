#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace marrowgate {

// The last run a ledger tells of: what the window needs to offer to finish
// a conversion that did not end.
struct LastRun {
    std::string target;              // empty when the ledger does not say
    std::vector<std::string> stores; // the store folders it converted from
    bool finished = false;           // it went through all its rows
    std::int64_t time = 0;           // when it began, seconds since 1970
    // Of a finished run, its figures; of another, `converted` is the records
    // it wrote.
    std::uint64_t converted = 0;
    std::uint64_t alreadyConverted = 0;
    std::uint64_t failed = 0;
};

// The last run of the ledger in `outputFolder` (ending with a separator);
// nullopt when there is no ledger or it tells of no run. Throws
// ConversionError when the ledger exists but cannot be read.
std::optional<LastRun> ReadLastRun(const std::string& outputFolder);

} // namespace marrowgate
