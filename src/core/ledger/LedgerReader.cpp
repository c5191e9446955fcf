#include "ledger/LedgerReader.h"

#include "ledger/ConversionLedger.h"
#include "ledger/LedgerFileLines.h"
#include "ledger/LedgerLine.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <unordered_map>

namespace marrowgate {
namespace {

// Calls each(line) for every line after the first of the ledger at `path`,
// parsed in the version its first line gives. False when there is no file.
template <typename Each> bool ForEachLine(const std::string& path, Each each) {
    const int fd = platform::Open(path, platform::kRead);
    if (fd < 0 && errno == ENOENT) {
        return false;
    }
    if (fd < 0) {
        LedgerFileLines::ReadFailed(path);
    }
    int version = 1;
    try {
        LedgerFileLines::ForEach(fd, path, 0, LedgerFileLines::kToTheEnd,
                                 [&](std::string_view text, std::uint64_t offset) {
                                     if (offset == 0) {
                                         version = text.ends_with('2') ? 2 : 1;
                                         return;
                                     }
                                     each(LedgerLine::Parse(text, version));
                                 });
    } catch (...) {
        platform::Close(fd);
        throw;
    }
    platform::Close(fd);
    return true;
}

} // namespace

void LedgerReader::ForEachRecord(const std::string& ledgerPath,
                                 const std::function<void(const LedgerRecord&)>& each) {
    ForEachLine(ledgerPath, [&](const LedgerLine& line) {
        if (line.kind == LedgerLine::Kind::Record) {
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
