#pragma once

#include "ledger/LedgerRecord.h"
#include "marrowgate/LastRun.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace marrowgate {

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

    // Calls `each`, in file order, for the records of the mailboxes `wanted`
    // names (relative paths) that no later "open" of their mailbox at a
    // smaller size took away (whether the mailbox still holds them or was
    // cut short since). The ledger is read twice and only those records are
    // parsed whole, so that neither memory nor much of the time grows with
    // lines no longer standing (a ledger never compacted).
    static void ForEachStandingRecord(const std::string& ledgerPath,
                                      const std::vector<std::string>& wanted,
                                      const std::function<void(const LedgerRecord&)>& each);
};

} // namespace marrowgate
