#pragma once

#include "record/ContentHash.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace marrowgate {

// A modification time as the ledger keeps it: nanoseconds since 1970.
inline std::int64_t LedgerTime(std::chrono::sys_seconds seconds, long nanoseconds) {
    return static_cast<std::int64_t>(seconds.time_since_epoch().count()) * 1'000'000'000 +
           nanoseconds;
}

// The file a message was converted from, as the ledger knows it.
struct LedgerSource {
    std::string path; // canonical: every link and "." or ".." step resolved
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0; // modification time, nanoseconds since 1970
    std::uint64_t device = 0;    // device and inode; 0 where the system has none
    std::uint64_t inode = 0;
};

// One record of a mailbox: bytes [begin, end) of `mailbox`, from its From_
// line on (a version 1 ledger's `begin` may include line ends before it).
// A record found by reading the mailbox has no source (an empty path).
//
// A target that keeps messages apart (a Maildir, an IMAP account) tells
// where a message is in its own terms instead: `place` is then that text (a
// file name; "UIDVALIDITY,UID"), and `begin` and `end` are 0.
struct LedgerRecord {
    std::string mailbox; // path relative to the output root, or the store's name for it
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    ContentHash hash;
    LedgerSource source;
    std::string place{}; // empty for an mbox record
};

} // namespace marrowgate
