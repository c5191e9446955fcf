#include "ledger/LedgerReader.h"

#include "ledger/ConversionLedger.h"
#include "ledger/LedgerFileLines.h"
#include "ledger/LedgerLine.h"
#include "platform/FileDescriptor.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace marrowgate {
namespace {

// Calls each(text, offset, version) for every line after the first of the
// ledger at `path`, unparsed. False when there is no file.
template <typename Each> bool ForEachText(const std::string& path, Each each) {
    const FileDescriptor fd(platform::Open(path, platform::kRead));
    if (!fd.IsOpen() && errno == ENOENT) {
        return false;
    }
    if (!fd.IsOpen()) {
        LedgerFileLines::ReadFailed(path);
    }
    int version = 1;
    LedgerFileLines::ForEach(fd.Get(), path, 0, LedgerFileLines::kToTheEnd,
                             [&](std::string_view text, std::uint64_t offset) {
                                 if (offset == 0) {
                                     version = text.ends_with('2') ? 2 : 1;
                                     return;
                                 }
                                 each(text, offset, version);
                             });
    return true;
}

// Calls each(line) for every line after the first of the ledger at `path`,
// parsed in the version its first line gives. False when there is no file.
template <typename Each> bool ForEachLine(const std::string& path, Each each) {
    return ForEachText(path, [&](std::string_view text, std::uint64_t, int version) {
        each(LedgerLine::Parse(text, version));
    });
}

// Where a version 2 record line's record ends, read from its place field
// alone; none when the line does not say.
std::optional<std::uint64_t> RecordEnd(std::string_view text) {
    std::size_t at = text.find('\t');
    at = at == std::string_view::npos ? at : text.find('\t', at + 1);
    const std::size_t dash = at == std::string_view::npos ? at : text.find('-', at);
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    std::uint64_t end = 0;
    const char* const last = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data() + dash + 1, last, end);
    return error == std::errc() && stop != last && *stop == '\t' ? std::optional(end)
                                                                 : std::nullopt;
}

// A mailbox's "open" lines: where each lies, and the smallest size that one
// there or later gives, which no standing record before it can pass.
struct Opens {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> at; // offset, size
    void Settle() {
        for (std::size_t i = at.size(); i > 1; --i) {
            at[i - 2].second = std::min(at[i - 2].second, at[i - 1].second);
        }
    }
    std::uint64_t LimitAfter(std::uint64_t offset) const {
        const auto next = std::upper_bound(
            at.begin(), at.end(), offset,
            [](std::uint64_t value, const auto& open) { return value < open.first; });
        return next == at.end() ? UINT64_MAX : next->second;
    }
};

struct Transparent {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

} // namespace

void LedgerReader::ForEachRecord(const std::string& ledgerPath,
                                 const std::function<void(const LedgerRecord&)>& each) {
    ForEachLine(ledgerPath, [&](const LedgerLine& line) {
        if (line.kind == LedgerLine::Kind::Record) {
            each(line.record);
        }
    });
}

void LedgerReader::ForEachStandingRecord(const std::string& ledgerPath,
                                         const std::vector<std::string>& mailboxes,
                                         const std::function<void(const LedgerRecord&)>& each) {
    // By the mailbox field as the file has it: lines are told apart unparsed.
    std::unordered_map<std::string, Opens, Transparent, std::equal_to<>> wanted;
    for (const std::string& mailbox : mailboxes) {
        wanted.try_emplace(LedgerLine::Escaped(mailbox));
    }
    const auto find = [&](std::string_view text) {
        const std::optional<std::string_view> field = LedgerLine::MailboxField(text);
        return field ? wanted.find(*field) : wanted.end();
    };
    ForEachText(ledgerPath, [&](std::string_view text, std::uint64_t offset, int version) {
        const auto mailbox = text.starts_with("open\t") ? find(text) : wanted.end();
        if (mailbox != wanted.end()) {
            const LedgerLine line = LedgerLine::Parse(text, version);
            if (line.kind == LedgerLine::Kind::Open) {
                mailbox->second.at.emplace_back(offset, line.size);
            }
        }
    });
    for (auto& [mailbox, opens] : wanted) {
        opens.Settle();
    }
    ForEachText(ledgerPath, [&](std::string_view text, std::uint64_t offset, int version) {
        if (!text.starts_with("record\t")) {
            return;
        }
        const auto mailbox = find(text);
        if (mailbox == wanted.end()) {
            return;
        }
        const std::uint64_t limit = mailbox->second.LimitAfter(offset);
        const std::optional<std::uint64_t> end = version >= 2 ? RecordEnd(text) : std::nullopt;
        if (end && *end > limit) {
            return; // gone: not worth parsing
        }
        const LedgerLine line = LedgerLine::Parse(text, version);
        if (line.kind == LedgerLine::Kind::Record && line.record.end <= limit) {
            each(line.record);
        }
    });
}

// Every record, with the ends of its mailbox's records before it, so that a
// later "open" can tell which of them it takes away.
std::vector<LedgerRecord> LedgerReader::ReadRecords(const std::string& ledgerPath) {
    struct Mailbox {
        std::vector<std::size_t> records;
    };
    std::unordered_map<std::string, Mailbox> mailboxes;
    std::vector<LedgerRecord> records;
    std::vector<bool> standing;
    ForEachLine(ledgerPath, [&](const LedgerLine& line) {
        if (line.kind == LedgerLine::Kind::Open) {
            for (const std::size_t i : mailboxes[line.record.mailbox].records) {
                standing[i] = standing[i] && records[i].end <= line.size;
            }
        } else if (line.kind == LedgerLine::Kind::Record) {
            mailboxes[line.record.mailbox].records.push_back(records.size());
            records.push_back(line.record);
            standing.push_back(true);
        }
    });
    std::vector<LedgerRecord> stand;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (standing[i]) {
            stand.push_back(std::move(records[i]));
        }
    }
    return stand;
}

std::optional<LastRun> ReadLastRun(const std::string& outputFolder) {
    std::optional<LastRun> last;
    ForEachLine(outputFolder + std::string(ConversionLedger::kFileName),
                [&](const LedgerLine& line) {
                    if (line.kind == LedgerLine::Kind::Run) {
                        last = LastRun{line.target, line.stores, false, line.time};
                    } else if (line.kind == LedgerLine::Kind::Record && last &&
                               !line.record.source.path.empty()) {
                        ++last->converted;
                    } else if (line.kind == LedgerLine::Kind::End && last) {
                        last->finished = true;
                        last->converted = line.figures[0];
                        last->alreadyConverted = line.figures[1];
                        last->failed = line.figures[2];
                    }
                });
    return last;
}

} // namespace marrowgate
