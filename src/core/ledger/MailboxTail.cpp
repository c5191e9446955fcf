#include "ledger/MailboxTail.h"

#include "output/MailboxScanner.h"
#include "platform/FileSystem.h"
#include "record/ContentHash.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

namespace marrowgate {
namespace {

constexpr std::string_view kFrom = "From ";
// The most a run writes before a record's From_ line ("\r\n\r\n"), and of
// the From_ line's start that is no record yet ("From").
constexpr std::size_t kLeadAtMost = 4 + 4;

bool OnlyLineEnds(std::string_view bytes) {
    return bytes.find_first_not_of("\r\n") == std::string_view::npos;
}

// The bytes of `record` as one sequence, read from the front.
class RecordBytes {
public:
    explicit RecordBytes(std::span<const std::string_view> pieces) : pieces_(pieces) {}
    // Up to `size` bytes from where the last call left off.
    std::string_view Next(std::size_t size) {
        while (piece_ < pieces_.size() && at_ == pieces_[piece_].size()) {
            ++piece_;
            at_ = 0;
        }
        if (piece_ == pieces_.size()) {
            return {};
        }
        const std::string_view bytes = pieces_[piece_].substr(at_, size);
        at_ += bytes.size();
        return bytes;
    }
    // Skips the first line, its LF included; false when it has none.
    bool SkipFirstLine() {
        for (std::string_view bytes; !(bytes = Next(SIZE_MAX)).empty();) {
            const std::size_t lf = bytes.find('\n');
            if (lf != std::string_view::npos) {
                at_ -= bytes.size() - lf - 1;
                return true;
            }
        }
        return false;
    }

private:
    std::span<const std::string_view> pieces_;
    std::size_t piece_ = 0;
    std::size_t at_ = 0;
};

// Where the first line of bytes [begin, end) of `fd` ends (past its LF):
// `end` when the bytes hold no more than that line or part of it (or it is
// longer than a From_ line can be); none when they do not start as a From_
// line does.
std::optional<std::uint64_t> FirstLineEnd(int fd, std::uint64_t begin, std::uint64_t end) {
    char head[1024];
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof head, end - begin));
    const long long got = platform::ReadAt(fd, head, want, begin);
    if (got <= 0) {
        return std::nullopt;
    }
    const std::string_view text(head, static_cast<std::size_t>(got));
    const std::size_t lf = text.find('\n');
    if (!text.starts_with(kFrom.substr(0, std::min(kFrom.size(), text.size())))) {
        return std::nullopt;
    }
    if (lf == std::string_view::npos || begin + lf + 1 == end) {
        return end; // cut short inside its From_ line, or right after it
    }
    return begin + lf + 1;
}

// Whether bytes [begin, end) of `fd` are what `record` gives from where it is.
bool SameBytes(int fd, std::uint64_t begin, std::uint64_t end, RecordBytes& record, bool whole) {
    constexpr std::size_t kChunk = 64 * 1024;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
    for (std::uint64_t at = begin; at < end;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - at));
        const long long got = platform::ReadAt(fd, buffer.get(), want, at);
        if (got <= 0) {
            return false;
        }
        for (std::string_view file(buffer.get(), static_cast<std::size_t>(got)); !file.empty();) {
            const std::string_view ours = record.Next(file.size());
            if (ours.empty()) {
                return !whole; // the part in hand matched all through
            }
            if (file.substr(0, ours.size()) != ours) {
                return false;
            }
            file.remove_prefix(ours.size());
        }
        at += static_cast<std::uint64_t>(got);
    }
    return true;
}

} // namespace

MailboxTail MailboxTail::Of(int fd, std::uint64_t from, std::uint64_t size) {
    MailboxTail tail{size, false, 0};
    std::optional<MailboxScanner::Record> leading;
    std::optional<MailboxScanner::Record> last;
    const bool read = MailboxScanner::Scan(
        fd, from, size, [&](const MailboxScanner::Record& r) { (r.leading ? leading : last) = r; });
    if (!read) {
        return tail;
    }
    if (last) {
        tail.cutShort = !last->endsWithEmptyLine;
        tail.cutShortAt = last->begin;
        return tail;
    }
    // No From_ line: what a run writes before a record, and maybe the start
    // of its From_ line; anything else is not ours.
    if (!leading || leading->end - leading->begin > kLeadAtMost) {
        return tail;
    }
    char bytes[kLeadAtMost];
    const auto length = static_cast<std::size_t>(leading->end - leading->begin);
    if (platform::ReadAt(fd, bytes, length, from) != static_cast<long long>(length)) {
        return tail;
    }
    const std::string_view text(bytes, length);
    const std::size_t start = std::min(text.find_first_not_of("\r\n"), text.size());
    if (OnlyLineEnds(text)) {
        tail.keep = from;
    } else if (kFrom.starts_with(text.substr(start))) {
        tail.cutShort = true;
        tail.cutShortAt = from + start;
    }
    return tail;
}

bool MailboxTail::IsStartOf(int fd, std::uint64_t begin, std::uint64_t end,
                            std::span<const std::string_view> record, bool whole) {
    const std::optional<std::uint64_t> firstLineEnd = FirstLineEnd(fd, begin, end);
    if (!firstLineEnd) {
        return false;
    }
    RecordBytes ours(record);
    if (*firstLineEnd == end) {
        // Nothing past its From_ line, or only part of it: the line itself,
        // as far as it goes, must be ours.
        return SameBytes(fd, begin, end, ours, true);
    }
    return ours.SkipFirstLine() && SameBytes(fd, *firstLineEnd, end, ours, whole);
}

std::optional<std::uint64_t> MailboxTail::StartKey(std::span<const std::string_view> record) {
    RecordBytes bytes(record);
    if (!bytes.SkipFirstLine()) {
        return std::nullopt;
    }
    std::string key;
    for (std::string_view piece; key.size() < kStartKeyBytes &&
                                 !(piece = bytes.Next(kStartKeyBytes - key.size())).empty();) {
        key.append(piece);
    }
    if (key.size() < kStartKeyBytes) {
        return std::nullopt;
    }
    return ContentHash::Of(key).low;
}

std::optional<std::uint64_t> MailboxTail::StartKey(int fd, std::uint64_t begin, std::uint64_t end) {
    char head[2048];
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof head, end - begin));
    const long long got = platform::ReadAt(fd, head, want, begin);
    const std::string_view text(head, got > 0 ? static_cast<std::size_t>(got) : 0);
    const std::size_t lf = text.find('\n');
    if (lf == std::string_view::npos || text.size() - lf - 1 < kStartKeyBytes) {
        return std::nullopt;
    }
    return ContentHash::Of(text.substr(lf + 1, kStartKeyBytes)).low;
}

} // namespace marrowgate
