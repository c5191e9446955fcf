#pragma once

#include "ledger/LedgerRecord.h"
#include "record/ContentHash.h"

#include <cstdint>
#include <functional>
#include <limits>
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
    // where their lines lie (kNoLine for those without a source). Bytes of
    // [0, size) of the open mailbox `fd` that no known record with a hash
    // covers are read and split into records; those are handed to `found`.
    // Throws ConversionError naming `path` when the mailbox cannot be read.
    MailboxContent(std::vector<Entry> known, int fd, std::uint64_t size, const std::string& path,
                   const std::function<void(const LedgerRecord&)>& found);

    // A record with `hash` that the message at `sourcePath` may take: one
    // whose source is that path, none, or a path where no file is now. Marks
    // it taken. Null when there is none.
    const Entry* Take(const ContentHash& hash, const std::string& sourcePath,
                      const SourceAt& sourceAt);
    // A record written now, by the message it belongs to.
    void Add(const ContentHash& hash, std::uint64_t begin, std::uint64_t end);
    std::size_t size() const { return entries_.size(); }

private:
    void Index(std::size_t entry);

    std::vector<Entry> entries_;
    std::unordered_multimap<std::uint64_t, std::size_t> byHash_;
};

} // namespace marrowgate
