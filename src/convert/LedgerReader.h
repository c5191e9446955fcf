#pragma once

#include "convert/LedgerRecord.h"

#include <cstdint>
#include <functional>
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

// Reading a ledger without a run: no lock is taken and nothing written, so
// that it serves on an output another run is writing, or on read-only media.
// Lines whose checksum does not match are passed over.
class LedgerReader {
public:
    // The records of the ledger at `ledgerPath` (version 1 or 2) that still
    // stand, in file order (records dropped by a later "open" left out). A
    // missing file has none; a torn last line is ignored. Throws
    // ConversionError when the file exists but cannot be read. Holds every
    // record: for tests and small ledgers.
    static std::vector<LedgerRecord> ReadRecords(const std::string& ledgerPath);

    // Calls `each` for every "record" line of the ledger at `ledgerPath`, in
    // file order, standing or not; memory does not grow with the ledger.
    static void ForEachRecord(const std::string& ledgerPath,
                              const std::function<void(const LedgerRecord&)>& each);
};

// The last run of the ledger in `outputFolder` (ending with a separator);
// nullopt when there is no ledger or it tells of no run. Throws
// ConversionError when the ledger exists but cannot be read.
std::optional<LastRun> ReadLastRun(const std::string& outputFolder);

} // namespace marrowgate
