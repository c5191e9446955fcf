#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace marrowgate {

// The bytes of a mailbox past the records the ledger knows, when the ledger
// shows the mailbox still open: a killed run's records whose lines were
// lost, and the record it was writing, cut short; or, when the ledger lost
// its "closed" line (cut short by someone, a power cut), mail another
// program added since. Nothing of it is cut unless it is proved to be this
// program's: whole records stay (a run finds its own among them by their
// content); line ends alone are the separator a run writes before a record;
// a record cut short at the end is cut back only once the record a run is
// about to write shows it to be that record's start (IsStartOf()).
struct MailboxTail {
    std::uint64_t keep = 0; // the size the mailbox keeps for certain
    bool cutShort = false;  // [cutShortAt, size) may be a record of ours cut short
    std::uint64_t cutShortAt = 0;

    // The tail [from, size) of the open mailbox `fd`. A tail that cannot be
    // read is kept whole.
    static MailboxTail Of(int fd, std::uint64_t from, std::uint64_t size);

    // Whether bytes [begin, end) of `fd` are the start of the record whose
    // bytes, from its From_ line on, begin with `record` (all of it when
    // `whole`): its From_ line may differ (its date can come from the file's
    // time), the rest must be the same bytes. A record larger than the part
    // in hand is proved by that part.
    static bool IsStartOf(int fd, std::uint64_t begin, std::uint64_t end,
                          std::span<const std::string_view> record, bool whole);

    // A key to a record's start that leaves its From_ line out: the hash of
    // the kStartKeyBytes that follow it. Records whose keys differ do not
    // start alike; none when the record is not that long past its first line.
    static constexpr std::size_t kStartKeyBytes = 512;
    static std::optional<std::uint64_t> StartKey(std::span<const std::string_view> record);
    // The same of the record [begin, end) of `fd`.
    static std::optional<std::uint64_t> StartKey(int fd, std::uint64_t begin, std::uint64_t end);
};

} // namespace marrowgate
