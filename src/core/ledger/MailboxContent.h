#pragma once

#include "ledger/LedgerRecord.h"
#include "record/ContentHash.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace marrowgate {

// The records a mailbox holds, by content: what a run asks when a message
// is not known by its path, to find it in the mailbox all the same (its file
// moved, its time changed, the ledger lost its line). Each record can be
// taken by one message only; a record another existing file owns is not
// taken.
class MailboxContent {
public:
    static constexpr std::uint64_t kNoLine = std::numeric_limits<std::uint64_t>::max();
    struct Entry {
        ContentHash hash;
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
        std::uint64_t lineOffset = kNoLine; // of the ledger line naming its source
        bool taken = false;
    };
    // The source path of the record line at `lineOffset` of the ledger.
    using SourceAt = std::function<std::string(std::uint64_t lineOffset)>;

    // `known`: the records the ledger holds of the mailbox, standing, with
    // where their lines lie (kNoLine for those without a source); those past
    // `size` are gone. Bytes of [0, readBelow) of the open mailbox `fd` that
    // no known record with a hash covers are read and split into records;
    // those are handed to `found`. What lies past `readBelow` is this run's
    // own writing: a record it has not ended yet is no record. Throws
    // ConversionError naming `path` when the mailbox cannot be read.
    MailboxContent(std::vector<Entry> known, int fd, std::uint64_t size, std::uint64_t readBelow,
                   const std::string& path, const std::function<void(const LedgerRecord&)>& found);

    // A record with `hash` that the message at `sourcePath` may take: one
    // whose source is that path, none, or a path where no file is now. Marks
    // it taken. Null when there is none.
    const Entry* Take(const ContentHash& hash, const std::string& sourcePath,
                      const SourceAt& sourceAt);
    // A key to a record's start (none when it has none), equal for records
    // that start alike; read once for each record longer than kKeyedAbove.
    using StartKeyOf = std::function<std::optional<std::uint64_t>(const Entry&)>;
    static constexpr std::uint64_t kKeyedAbove = 64 * 1024;
    // Whether a record longer than `size` bytes whose start has `key` (none:
    // whatever its start), and that the message at `sourcePath` may take,
    // is one that `matches`.
    bool AnyTakeableStartingAs(std::uint64_t size, std::optional<std::uint64_t> key,
                               const StartKeyOf& keyOf, const std::string& sourcePath,
                               const SourceAt& sourceAt,
                               const std::function<bool(const Entry&)>& matches);
    // A record written now, by the message it belongs to.
    void Add(const ContentHash& hash, std::uint64_t begin, std::uint64_t end);
    std::size_t size() const { return entries_.size(); }

private:
    void Index(std::size_t entry);
    static bool Takeable(const Entry& entry, const std::string& sourcePath,
                         const SourceAt& sourceAt);

    std::vector<Entry> entries_;
    std::unordered_multimap<std::uint64_t, std::size_t> byHash_;
    // Of the records longer than kKeyedAbove, by the key to their start,
    // once asked for; those without a key apart.
    std::optional<std::unordered_multimap<std::uint64_t, std::size_t>> byStart_;
    std::vector<std::size_t> noStartKey_;
};

} // namespace marrowgate
