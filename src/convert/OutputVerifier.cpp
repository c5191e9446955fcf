#include "convert/OutputVerifier.h"

#include "convert/ConversionError.h"
#include "convert/ConversionLedger.h"
#include "convert/MailboxWriter.h"
#include "convert/PathDerivation.h"
#include "list/StoreScan.h"
#include "shell/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

namespace marrowgate {
namespace {

std::optional<std::string> RealPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::optional<std::string>(real.get()) : std::nullopt;
}

// The mailboxes' bytes, each file opened once.
class MailboxReader {
public:
    ~MailboxReader() {
        for (const auto& [path, fd] : files_) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    // Bytes [begin, end) of the mailbox, or the reason they cannot be had.
    bool Read(const std::string& path, std::uint64_t begin, std::uint64_t end, std::string& bytes,
              std::string& why) {
        auto [it, added] = files_.emplace(path, -1);
        if (added) {
            it->second = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (it->second < 0) {
                errors_[path] = std::strerror(errno);
            }
        }
        if (it->second < 0) {
            why = "cannot open its mailbox " + path + ": " + errors_[path];
            return false;
        }
        bytes.resize(end - begin);
        std::uint64_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::pread(it->second, bytes.data() + done, bytes.size() - done,
                                        static_cast<off_t>(begin + done));
            if (got <= 0) {
                why = got == 0 ? "its record runs past the end of " + path
                               : "cannot read " + path + ": " + std::strerror(errno);
                return false;
            }
            done += static_cast<std::uint64_t>(got);
        }
        return true;
    }

private:
    std::map<std::string, int> files_;
    std::map<std::string, std::string> errors_;
};

std::string FirstLine(std::string_view bytes) {
    return std::string(bytes.substr(0, bytes.find_first_of("\r\n")));
}

// What is wrong with `record` (read from the mailbox) against `expected`
// (the record the writer makes of the message now); empty when nothing is.
std::string Compare(std::string_view record, std::string_view expected) {
    // A record may begin with the line end that the mailbox's last line lacked.
    const auto from = record.find_first_not_of("\r\n");
    record.remove_prefix(from == std::string_view::npos ? record.size() : from);
    if (record == expected) {
        return {};
    }
    if (FirstLine(record) != FirstLine(expected)) {
        return "its From_ line is \"" + FirstLine(record) + "\"; the rules give \"" +
               FirstLine(expected) + "\"";
    }
    std::size_t at = 0;
    while (at < record.size() && at < expected.size() && record[at] == expected[at]) {
        ++at;
    }
    return "its record differs from the message from byte " + std::to_string(at) + " on (" +
           std::to_string(record.size()) + " bytes, " + std::to_string(expected.size()) +
           " expected)";
}

} // namespace

VerifyReport VerifyOutput(const std::vector<std::string>& stores, const std::string& outputRoot,
                          const OutputTarget& target) {
    VerifyReport report;
    const std::string ledgerPath = outputRoot + std::string(ConversionLedger::kFileName);
    // Mailbox (relative to the output) and source path -> its records.
    std::map<std::pair<std::string, std::string>, std::vector<LedgerRecord>> records;
    for (LedgerRecord& record : ConversionLedger::ReadRecords(ledgerPath)) {
        auto key = std::make_pair(record.mailbox, record.source.path);
        records[std::move(key)].push_back(std::move(record));
    }

    MailboxWriter writer(target);
    MailboxReader mailboxes;
    std::map<std::string, std::size_t> folderRows;
    std::string bytes;
    for (const std::string& store : stores) {
        for (const std::string& path : CollectMessageFiles(store)) {
            const std::string folder = DirectoryPart(path);
            auto [row, added] = folderRows.emplace(folder, report.folders.size());
            if (added) {
                report.folders.push_back({folder});
            }
            VerifiedFolder& line = report.folders[row->second];
            ++line.messages;
            ++report.messages;
            const auto problem = [&](std::string what) {
                ++line.problems;
                report.problems.push_back({path, std::move(what)});
            };
            try {
                const std::optional<std::string> expected = writer.RecordOf(path);
                if (!expected) {
                    ++report.empty;
                    ++line.verified;
                    ++report.verified;
                    continue;
                }
                const MailboxPlace place =
                    target.PlaceOf(path, InnermostStore(path, stores), outputRoot);
                const std::string mailbox = place.mailbox.substr(outputRoot.size());
                const auto real = RealPath(path);
                const auto found = records.find({mailbox, real.value_or(path)});
                if (found == records.end()) {
                    problem("not in the output: the ledger holds no record of it in " + mailbox);
                    continue;
                }
                const std::vector<LedgerRecord>& mine = found->second;
                if (mine.size() > 1) {
                    problem("converted " + std::to_string(mine.size()) + " times into " + mailbox);
                    continue;
                }
                struct stat now {};
                if (::stat(path.c_str(), &now) == 0 &&
                    (static_cast<std::uint64_t>(now.st_size) != mine[0].source.size ||
                     now.st_mtim.tv_sec * 1000000000LL + now.st_mtim.tv_nsec !=
                         mine[0].source.modifiedNs)) {
                    problem("changed since it was converted into " + mailbox);
                    continue;
                }
                std::string why;
                if (!mailboxes.Read(place.mailbox, mine[0].begin, mine[0].end, bytes, why)) {
                    problem(why);
                    continue;
                }
                why = Compare(bytes, *expected);
                if (!why.empty()) {
                    problem(why + " in " + mailbox);
                    continue;
                }
                ++line.verified;
                ++report.verified;
            } catch (const ConversionError& error) {
                problem(error.what());
            }
        }
    }
    return report;
}

} // namespace marrowgate
