#include "ledger/MailboxContent.h"

#include "marrowgate/ConversionError.h"
#include "output/MailboxScanner.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>

namespace marrowgate {

MailboxContent::MailboxContent(std::vector<Entry> known, int fd, std::uint64_t size,
                               std::uint64_t readBelow, const std::string& path,
                               const std::function<void(const LedgerRecord&)>& found) {
    std::sort(known.begin(), known.end(),
              [](const Entry& a, const Entry& b) { return a.begin < b.begin; });
    // What the ledger does not vouch for (no record, or one without its hash)
    // is read: a part at a time, from one record's end to the next's start.
    std::uint64_t covered = 0;
    const auto read = [&](std::uint64_t from, std::uint64_t to, const Entry* attributed) {
        if (!attributed) {
            to = std::min(to, readBelow);
        }
        if (from >= to) {
            return;
        }
        const bool whole = MailboxScanner::Scan(fd, from, to, [&](const MailboxScanner::Record& r) {
            // A record cut short is no message's: none is ever taken for one.
            if (r.leading || (!attributed && !r.endsWithEmptyLine)) {
                return;
            }
            Entry entry{r.hash, r.begin, r.end, attributed ? attributed->lineOffset : kNoLine};
            entries_.push_back(entry);
            if (!attributed) {
                LedgerRecord record;
                record.begin = r.begin;
                record.end = r.end;
                record.hash = r.hash;
                found(record);
            }
        });
        if (!whole) {
            throw ConversionError::FromErrno("Cannot read mailbox file", path, errno);
        }
    };
    for (const Entry& entry : known) {
        if (entry.end > size || entry.begin < covered) {
            continue; // gone, or the same record named twice
        }
        if (entry.begin > covered) {
            read(covered, entry.begin, nullptr);
        }
        if (entry.hash.known) {
            entries_.push_back(entry);
        } else {
            read(entry.begin, entry.end, &entry);
        }
        covered = entry.end;
    }
    if (covered < size) {
        read(covered, size, nullptr);
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Index(i);
    }
}

void MailboxContent::Index(std::size_t entry) {
    byHash_.emplace(entries_[entry].hash.low, entry);
}

bool MailboxContent::Takeable(const Entry& entry, const std::string& sourcePath,
                              const SourceAt& sourceAt) {
    if (entry.taken) {
        return false;
    }
    if (entry.lineOffset != kNoLine) {
        const std::string owner = sourceAt(entry.lineOffset);
        platform::FileStatus info;
        if (!owner.empty() && owner != sourcePath && platform::Status(owner, info) == 0) {
            return false; // another file's, and that file is still there
        }
    }
    return true;
}

const MailboxContent::Entry* MailboxContent::Take(const ContentHash& hash,
                                                  const std::string& sourcePath,
                                                  const SourceAt& sourceAt) {
    const auto [first, last] = byHash_.equal_range(hash.low);
    for (auto it = first; it != last; ++it) {
        Entry& entry = entries_[it->second];
        if (entry.hash == hash && Takeable(entry, sourcePath, sourceAt)) {
            entry.taken = true;
            return &entry;
        }
    }
    return nullptr;
}

bool MailboxContent::AnyTakeableStartingAs(std::uint64_t size, std::optional<std::uint64_t> key,
                                           const StartKeyOf& keyOf, const std::string& sourcePath,
                                           const SourceAt& sourceAt,
                                           const std::function<bool(const Entry&)>& matches) {
    if (!byStart_) {
        byStart_.emplace();
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].end - entries_[i].begin > kKeyedAbove) {
                if (const std::optional<std::uint64_t> its = keyOf(entries_[i])) {
                    byStart_->emplace(*its, i);
                } else {
                    noStartKey_.push_back(i);
                }
            }
        }
    }
    const auto fits = [&](std::size_t i) {
        const Entry& entry = entries_[i];
        return entry.end - entry.begin > size && Takeable(entry, sourcePath, sourceAt) &&
               matches(entry);
    };
    if (!key || size < kKeyedAbove) {
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (fits(i)) {
                return true;
            }
        }
        return false;
    }
    const auto [first, last] = byStart_->equal_range(*key);
    return std::any_of(first, last, [&](const auto& keyed) { return fits(keyed.second); }) ||
           std::any_of(noStartKey_.begin(), noStartKey_.end(), fits);
}

void MailboxContent::Add(const ContentHash& hash, std::uint64_t begin, std::uint64_t end) {
    entries_.push_back({hash, begin, end, kNoLine, true});
    Index(entries_.size() - 1);
}

} // namespace marrowgate
