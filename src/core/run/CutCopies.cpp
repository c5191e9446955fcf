#include "run/CutCopies.h"

#include "ledger/MailboxTail.h"
#include "marrowgate/ConversionError.h"
#include "output/MailboxWriter.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <memory>

namespace marrowgate {

CutCopies::CutCopies(std::string path, MailboxWriter& writer)
    : path_(std::move(path)), writer_(writer) {}

void CutCopies::Add(const std::string& source, std::optional<std::uint64_t> startKey) {
    if (startKey) {
        byStartKey_.emplace(*startKey, source);
    }
}

std::optional<std::string> CutCopies::StartOf(const MailboxScanner::Record& record) {
    if (byStartKey_.empty()) {
        return std::nullopt;
    }
    if (!fd_.IsOpen()) {
        fd_ = FileDescriptor(platform::Open(path_, platform::kRead | platform::kNoFollow));
    }
    const std::optional<std::uint64_t> key =
        fd_.IsOpen() ? MailboxTail::StartKey(fd_.Get(), record.begin, record.end) : std::nullopt;
    if (!key) {
        return std::nullopt;
    }
    const auto [first, last] = byStartKey_.equal_range(*key);
    for (auto it = first; it != last; ++it) {
        if (IsStartOf(record, it->second)) {
            return it->second;
        }
    }
    return std::nullopt;
}

// Made again and compared as it comes, so that a large message is never
// held whole: past both first lines, the record's bytes up to the line ends
// at its end must be the message's, and fewer.
bool CutCopies::IsStartOf(const MailboxScanner::Record& record, const std::string& source) {
    char head[2048];
    const auto want =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof head, record.end - record.begin));
    const long long got = platform::ReadAt(fd_.Get(), head, want, record.begin);
    const std::string_view firstLine(head, got > 0 ? static_cast<std::size_t>(got) : 0);
    const std::size_t lf = firstLine.find('\n');
    if (lf == std::string_view::npos) {
        return false;
    }
    std::uint64_t at = record.begin + lf + 1;
    std::uint64_t end = record.end;
    char last = 0;
    while (end > at && platform::ReadAt(fd_.Get(), &last, 1, end - 1) == 1 &&
           (last == '\n' || last == '\r')) {
        --end;
    }
    constexpr std::size_t kChunk = 64 * 1024;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
    bool pastFirstLine = false;
    bool same = true;
    std::uint64_t longer = 0; // of the message's record past the compared bytes
    try {
        writer_.EncodeRecord(source, [&](std::string_view piece) {
            if (!pastFirstLine) {
                const std::size_t pieceLf = piece.find('\n');
                pastFirstLine = pieceLf != std::string_view::npos;
                piece.remove_prefix(pastFirstLine ? pieceLf + 1 : piece.size());
            }
            while (same && !piece.empty() && at < end) {
                const auto take = static_cast<std::size_t>(
                    std::min<std::uint64_t>({piece.size(), kChunk, end - at}));
                same = platform::ReadAt(fd_.Get(), buffer.get(), take, at) ==
                           static_cast<long long>(take) &&
                       piece.substr(0, take) == std::string_view(buffer.get(), take);
                piece.remove_prefix(take);
                at += take;
            }
            longer += piece.size();
        });
    } catch (const ConversionError&) {
        return false;
    }
    return same && at == end && longer > 0;
}

} // namespace marrowgate
