#include "marrowgate/OutputVerifier.h"

#include "ledger/ConversionLedger.h"
#include "marrowgate/ConversionError.h"
#include "marrowgate/NativePaths.h"
#include "marrowgate/PathDerivation.h"
#include "marrowgate/StoreScan.h"
#include "output/MailboxWriter.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

namespace marrowgate {
namespace {

std::optional<std::string> RealPath(const std::string& path) {
    return platform::RealPath(path);
}

// The mailboxes, each opened once.
class MailboxFiles {
public:
    ~MailboxFiles() {
        for (const auto& [path, fd] : files_) {
            if (fd >= 0) {
                platform::Close(fd);
            }
        }
    }

    // The open file, or -1 with the reason in `why`.
    int Open(const std::string& path, std::string& why) {
        auto [it, added] = files_.emplace(path, -1);
        if (added) {
            it->second = platform::Open(path, platform::kRead);
            if (it->second < 0) {
                errors_[path] = std::strerror(errno);
            }
        }
        if (it->second < 0) {
            why = "cannot open its mailbox " + path + ": " + errors_[path];
        }
        return it->second;
    }

private:
    std::map<std::string, int> files_;
    std::map<std::string, std::string> errors_;
};

// Compares bytes [begin, end) of a mailbox with the record the writer makes
// of the message, fed piece by piece, without holding either whole.
class RecordCheck {
public:
    RecordCheck(int fd, std::uint64_t begin, std::uint64_t end) : fd_(fd), end_(end) {
        at_ = begin;
        if (end < begin) {
            problem_ = "the ledger's entry for it ends before it begins";
            end_ = begin;
        }
        // A record may begin with the line ends that the mailbox's last line lacked.
        std::string head;
        if (Read(begin, std::min<std::uint64_t>(end - begin, 8), head)) {
            at_ += std::min(head.find_first_not_of("\r\n"), head.size());
        }
        start_ = at_;
    }

    void Feed(std::string_view piece) {
        if (expectedLine_.find('\n') == std::string::npos && expectedLine_.size() < 1024) {
            expectedLine_.append(piece.substr(0, 1024));
        }
        expected_ += piece.size();
        if (differsAt_ || problem_.size()) {
            return;
        }
        const std::uint64_t available = end_ > at_ ? end_ - at_ : 0;
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(available, piece.size()));
        if (!Read(at_, count, buffer_)) {
            return;
        }
        std::size_t same = 0;
        while (same < count && buffer_[same] == piece[same]) {
            ++same;
        }
        at_ += same;
        if (same < piece.size()) {
            differsAt_ = at_ - start_ + 1;
        }
    }

    // What is wrong; empty when the record is the one expected.
    std::string Problem() {
        if (!problem_.empty()) {
            return problem_;
        }
        if (!differsAt_ && at_ == end_) {
            return {};
        }
        const std::uint64_t offset = differsAt_ ? differsAt_ - 1 : at_ - start_;
        std::string recordLine;
        Read(start_, std::min<std::uint64_t>(end_ - start_, 1024), recordLine);
        recordLine = FirstLine(recordLine);
        const std::string expectedLine = FirstLine(expectedLine_);
        if (offset <= expectedLine.size() && recordLine != expectedLine) {
            return "its From_ line is \"" + recordLine + "\"; the rules give \"" + expectedLine +
                   "\"";
        }
        return "its record differs from the message from byte " + std::to_string(offset) + " on (" +
               std::to_string(end_ - start_) + " bytes, " + std::to_string(expected_) +
               " expected)";
    }

private:
    static std::string FirstLine(const std::string& bytes) {
        return bytes.substr(0, bytes.find_first_of("\r\n"));
    }

    bool Read(std::uint64_t from, std::size_t count, std::string& bytes) {
        bytes.resize(count);
        std::size_t done = 0;
        while (done < count) {
            const long long got =
                platform::ReadAt(fd_, bytes.data() + done, count - done, from + done);
            if (got <= 0) {
                problem_ = got == 0
                               ? "its record runs past the end of its mailbox"
                               : std::string("cannot read its mailbox: ") + std::strerror(errno);
                return false;
            }
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

    int fd_;
    std::uint64_t end_;
    std::uint64_t start_ = 0;
    std::uint64_t at_ = 0;        // the next mailbox byte to compare
    std::uint64_t differsAt_ = 0; // 1 + the record offset of the first difference
    std::uint64_t expected_ = 0;  // bytes the writer made
    std::string expectedLine_;
    std::string buffer_;
    std::string problem_;
};

// Checks one message at a time against the output.
class Verifier {
public:
    Verifier(const std::vector<std::string>& stores, const std::string& outputRoot,
             const OutputTarget& target)
        : stores_(stores), root_(outputRoot), target_(target), writer_(target) {
        const std::string ledger = outputRoot + std::string(ConversionLedger::kFileName);
        for (LedgerRecord& record : ConversionLedger::ReadRecords(ledger)) {
            auto key = std::make_pair(record.mailbox, record.source.path);
            records_[std::move(key)].push_back(std::move(record));
        }
    }

    // What is wrong with the message's record; nullopt when nothing is.
    // `empty` tells a file with nothing to convert, which needs no record.
    std::optional<std::string> Check(const std::string& path, bool& empty) {
        const MailboxPlace place = target_.PlaceOf(path, InnermostStore(path, stores_), root_);
        const std::string mailbox = place.mailbox.substr(root_.size());
        const auto found = records_.find({mailbox, RealPath(path).value_or(path)});
        if (found == records_.end()) {
            empty = !writer_.EncodeRecord(path, [](std::string_view) {});
            if (empty) {
                return std::nullopt;
            }
            return "not in the output: the ledger holds no record of it in " + mailbox;
        }
        const std::vector<LedgerRecord>& mine = found->second;
        if (mine.size() > 1) {
            return "converted " + std::to_string(mine.size()) + " times into " + mailbox;
        }
        platform::FileStatus now;
        if (platform::Status(path, now) == 0 &&
            (now.size != mine[0].source.size ||
             now.modified.time_since_epoch().count() * 1000000000LL + now.modifiedNanoseconds !=
                 mine[0].source.modifiedNs)) {
            return "changed since it was converted into " + mailbox;
        }
        std::string why;
        const int fd = mailboxes_.Open(place.mailbox, why);
        if (fd < 0) {
            return why;
        }
        RecordCheck check(fd, mine[0].begin, mine[0].end);
        if (!writer_.EncodeRecord(path, [&check](std::string_view piece) { check.Feed(piece); })) {
            return "empty now, but converted into " + mailbox;
        }
        why = check.Problem();
        if (!why.empty()) {
            return why + " in " + mailbox;
        }
        return std::nullopt;
    }

private:
    const std::vector<std::string>& stores_;
    const std::string& root_;
    const OutputTarget& target_;
    MailboxWriter writer_;
    MailboxFiles mailboxes_;
    // Mailbox (relative to the output) and source path -> its records.
    std::map<std::pair<std::string, std::string>, std::vector<LedgerRecord>> records_;
};

// Adds one message's line to the report.
void Tally(VerifyReport& report, std::map<std::string, std::size_t>& folderRows, Verifier& verifier,
           const std::string& path) {
    const std::string folder = DirectoryPart(path, NativeSyntax());
    auto [row, added] = folderRows.emplace(folder, report.folders.size());
    if (added) {
        report.folders.push_back({folder});
    }
    VerifiedFolder& line = report.folders[row->second];
    ++line.messages;
    ++report.messages;
    bool empty = false;
    std::optional<std::string> problem;
    try {
        problem = verifier.Check(path, empty);
    } catch (const ConversionError& error) {
        problem = error.what();
    }
    if (problem) {
        ++line.problems;
        report.problems.push_back({path, std::move(*problem)});
        return;
    }
    report.empty += empty ? 1 : 0;
    ++line.verified;
    ++report.verified;
}

} // namespace

VerifyReport VerifyOutput(const std::vector<std::string>& stores, const std::string& outputRoot,
                          const OutputTarget& target) {
    VerifyReport report;
    Verifier verifier(stores, outputRoot, target);
    std::map<std::string, std::size_t> folderRows;
    for (const std::string& store : stores) {
        for (const std::string& path : CollectMessageFiles(store)) {
            Tally(report, folderRows, verifier, path);
        }
    }
    return report;
}

VerifyReport VerifyRows(const MessageRows& rows, const std::vector<std::string>& stores,
                        const std::string& outputRoot, const OutputTarget& target,
                        const YieldFn& yield, const std::function<bool()>& stopRequested) {
    VerifyReport report;
    Verifier verifier(stores, outputRoot, target);
    std::map<std::string, std::size_t> folderRows;
    for (int row = 0; row < rows.RowCount(); ++row) {
        CallYield(yield);
        const std::string path = SourcePathOfRow(rows.RowText(row));
        if (!path.empty()) {
            Tally(report, folderRows, verifier, path);
        }
        if (stopRequested && stopRequested()) {
            report.stopped = true;
            break;
        }
    }
    return report;
}

} // namespace marrowgate
