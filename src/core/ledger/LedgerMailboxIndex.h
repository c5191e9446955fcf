#pragma once

#include "ledger/HashSet32.h"
#include "ledger/LedgerLine.h"
#include "ledger/LedgerRecord.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

namespace marrowgate {

// What the ledger says of one mailbox, built by replaying that mailbox's
// lines in file order: whether a run holds it open, where the bytes it
// accounts for end, and for each source path the latest record.
//
// A run keeps one of these at a time, for the mailbox it is writing, so it
// is kept small. A light index holds a 32-bit hash of each source path and
// nothing else (4 to 8 bytes a record): enough to say that a source has no
// record, all a run filling a mailbox needs to know. When it cannot say so
// for certain (MayHave()), and the mailbox's lines hold the path, or when a
// cut would drop records (WantsFull()), the ledger reads the lines again
// into a full one. A full index's entry holds a 64-bit hash of the source
// path and where its record line lies in the ledger, not the path: a hash
// that matches is confirmed by reading the path back from that line
// (`sourceAt`), and the rare path whose hash another path has already is
// kept whole beside.
class LedgerMailboxIndex {
public:
    // ListedTwice: converted by this run already (met twice in its list).
    enum class Seen { New, Converted, Changed, ListedTwice };
    struct State {
        std::uint64_t knownEnd = 0; // the end of what the ledger accounts for
        std::uint64_t openedAt = 0; // the size at the last "open" or "closed"
        bool open = false;          // an "open" without its "closed"
        bool shortened = false;     // the mailbox is shorter now than its records' end
    };
    // The source path of the record line that begins at `lineOffset` of the
    // ledger.
    using SourceAt = std::function<std::string(std::uint64_t lineOffset)>;

    LedgerMailboxIndex(SourceAt sourceAt, bool full)
        : sourceAt_(std::move(sourceAt)), full_(full) {}

    bool Full() const { return full_; }
    // Light only: false when `path` has no record, for certain.
    bool MayHave(const std::string& path) const;
    // Light only: records were to be dropped, which takes a full index.
    bool WantsFull() const { return wantsFull_; }

    // One line of this mailbox, beginning at `lineOffset`: an "open" drops
    // the records past its size.
    void Apply(const LedgerLine& line, std::uint64_t lineOffset);
    void Add(const LedgerRecord& record, std::uint64_t lineOffset);
    // The mailbox ends at `size`: the records past it are gone.
    void DropBeyond(std::uint64_t size);
    // The records so far no longer count as converted.
    void ForgetAll();
    // Full only: whether `source` has a record that stands and counts, and if
    // so whether the file is the same size and time as then.
    // Records whose lines begin at `thisRunFrom` or later are this run's.
    Seen Lookup(const LedgerSource& source, std::uint64_t thisRunFrom = UINT64_MAX) const;

    State state;

private:
    struct Known {
        std::uint64_t size = 0;
        std::int64_t modifiedNs = 0;
        std::uint64_t end = 0;
        std::uint64_t lineOffset = 0;
        bool standing = true;
        bool earlierRun = false;
    };

    static Known Of(const LedgerRecord& record, std::uint64_t lineOffset);
    // The entry whose path is `path` or, unconfirmed, has its hash; or null.
    const Known* Find(const std::string& path) const;
    void Drop(Known& known, std::uint64_t size, std::uint64_t& end);

    SourceAt sourceAt_;
    bool full_;
    bool wantsFull_ = false;
    HashSet32 hashes_; // a light index's
    std::unordered_map<std::uint64_t, Known> byHash_;
    std::unordered_map<std::string, Known> collided_;
};

} // namespace marrowgate
