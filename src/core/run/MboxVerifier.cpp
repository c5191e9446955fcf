#include "run/MboxVerifier.h"

#include "ledger/ConversionLedger.h"
#include "ledger/LedgerReader.h"
#include "ledger/MailboxTail.h"
#include "marrowgate/ConversionError.h"
#include "marrowgate/NativePaths.h"
#include "marrowgate/PathDerivation.h"
#include "marrowgate/PathParts.h"
#include "marrowgate/StoreScan.h"
#include "output/MailboxScanner.h"
#include "output/MailboxWriter.h"
#include "platform/FileSystem.h"
#include "record/FromLine.h"
#include "run/CutCopies.h"
#include "run/MailboxReading.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace marrowgate {
namespace {

std::uint64_t PathHash(const std::string& path) {
    return static_cast<std::uint64_t>(std::hash<std::string>{}(path));
}

// What the ledger says of a mailbox's records: where each lies and whose it is.
struct LedgerPlace {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    std::uint64_t source = 0; // PathHash of its source path
    std::int64_t modifiedNs = 0;
};

// The message files to check, by mailbox, in the order they come.
struct Source {
    std::string path;
    std::size_t folderRow = 0;
    ContentHash hash;
    std::string fromLine;
    std::optional<std::uint64_t> startKey; // MailboxTail::StartKey() of its record
    bool empty = false;
    std::optional<std::string> problem;
    bool matched = false;

    static Source Of(const std::string& path, std::size_t folderRow) {
        Source source;
        source.path = path;
        source.folderRow = folderRow;
        return source;
    }
};

class Verifier {
public:
    Verifier(std::vector<std::string> stores, std::string outputRoot, const OutputTarget& target,
             VerifyReport& report)
        : stores_(std::move(stores)), root_(std::move(outputRoot)), target_(target),
          writer_(target), report_(report) {}

    // A message file of the list, in order.
    void Add(const std::string& path) {
        if (path.starts_with(root_) || !seen_.insert(path).second) {
            return; // the output's own files, or a file listed twice
        }
        const std::string folder = DirectoryPart(path, NativeSyntax());
        auto [row, added] = folderRows_.emplace(folder, report_.folders.size());
        if (added) {
            report_.folders.push_back({folder});
        }
        std::string mailbox;
        try {
            mailbox = target_.PlaceOf(path, InnermostStore(path, stores_), root_).mailbox;
        } catch (const ConversionError& error) {
            mailbox = std::string(); // reported below, as the message's problem
            Source source = Source::Of(path, row->second);
            source.problem = error.what();
            Tally(source);
            return;
        }
        auto [box, fresh] = byMailbox_.try_emplace(mailbox);
        if (fresh) {
            mailboxes_.push_back(mailbox);
        }
        box->second.push_back(Source::Of(path, row->second));
        ++toCheck_;
    }

    // Checks every mailbox; `yield` is called before each message,
    // `stopRequested` and `progress` after it. Each mailbox is read on a
    // second thread while its messages are made into records on this one.
    void Check(const YieldFn& yield, const std::function<bool()>& stopRequested,
               const std::function<void(int, int)>& progress = {}) {
        ReadLedger();
        int checked = 0;
        for (const std::string& mailbox : mailboxes_) {
            MailboxReading reading(mailbox);
            std::vector<Source>& sources = byMailbox_[mailbox];
            for (Source& source : sources) {
                CallYield(yield);
                Encode(source);
                if (progress) {
                    progress(++checked, toCheck_);
                }
                if (stopRequested && stopRequested()) {
                    report_.stopped = true;
                    return;
                }
            }
            CheckMailbox(mailbox, sources, reading);
            for (const Source& source : sources) {
                Tally(source);
            }
            sources = {};
        }
        CountOtherMailboxes();
    }

private:
    // What the ledger says still stands in the mailboxes.
    void ReadLedger() {
        std::unordered_map<std::string, std::size_t> wanted;
        std::vector<std::string> relative;
        for (std::size_t i = 0; i < mailboxes_.size(); ++i) {
            relative.push_back(mailboxes_[i].substr(root_.size()));
            wanted.emplace(relative.back(), i);
        }
        places_.resize(mailboxes_.size());
        try {
            LedgerReader::ForEachStandingRecord(
                root_ + std::string(ConversionLedger::kFileName), relative,
                [&](const LedgerRecord& record) {
                    const auto found = wanted.find(record.mailbox);
                    if (found != wanted.end() && !record.source.path.empty()) {
                        places_[found->second][record.begin] = {record.begin, record.end,
                                                                PathHash(record.source.path),
                                                                record.source.modifiedNs};
                    }
                });
        } catch (const ConversionError&) {
            // Unreadable: the mailboxes are read all the same.
        }
    }

    void Encode(Source& source) {
        if (source.problem) {
            return;
        }
        try {
            std::string head; // its first line and the start key's bytes
            source.empty = !writer_.EncodeRecord(
                source.path,
                [&](std::string_view piece) {
                    head.append(piece.substr(0, kHeadBytes - std::min(kHeadBytes, head.size())));
                },
                &source.hash);
            const std::string_view pieces[] = {head};
            source.startKey = MailboxTail::StartKey(pieces);
            std::string first = head.substr(0, head.find('\n'));
            if (!first.empty() && first.back() == '\r') {
                first.pop_back();
            }
            source.fromLine = std::move(first);
        } catch (const ConversionError& error) {
            source.problem = error.what();
        }
    }

    // As much of a record's start as a From_ line and the start key take.
    static constexpr std::size_t kHeadBytes = 2048 + MailboxTail::kStartKeyBytes;

    void CheckMailbox(const std::string& mailbox, std::vector<Source>& sources,
                      MailboxReading& reading);
    void CountOtherMailboxes();
    void Tally(const Source& source) {
        report_.Count(source.folderRow, source.path, source.problem, source.empty);
    }

    std::vector<std::string> stores_;
    std::string root_;
    const OutputTarget& target_;
    MailboxWriter writer_;
    VerifyReport& report_;
    std::unordered_set<std::string> seen_;
    std::map<std::string, std::size_t> folderRows_;
    std::vector<std::string> mailboxes_; // in the order first met
    std::unordered_map<std::string, std::vector<Source>> byMailbox_;
    int toCheck_ = 0;                                          // the sources in byMailbox_
    std::vector<std::map<std::uint64_t, LedgerPlace>> places_; // by mailbox, then begin
    std::size_t current_ = 0;
    std::set<std::string> checkedMailboxes_;
};

// The sender of a From_ line: its second word.
std::string_view SenderOf(std::string_view fromLine) {
    fromLine.remove_prefix(std::min<std::size_t>(5, fromLine.size()));
    return fromLine.substr(0, fromLine.find(' '));
}

void Verifier::CheckMailbox(const std::string& mailbox, std::vector<Source>& sources,
                            MailboxReading& reading) {
    const std::map<std::uint64_t, LedgerPlace>& places = places_[current_++];
    const std::vector<MailboxScanner::Record>& records = reading.Records();
    if (reading.Error() != 0) {
        report_.problems.push_back(
            {mailbox, std::string("cannot read it: ") + std::strerror(reading.Error())});
    }
    checkedMailboxes_.insert(mailbox);
    std::unordered_multimap<std::uint64_t, std::size_t> byHash;
    for (std::size_t i = 0; i < records.size(); ++i) {
        byHash.emplace(records[i].hash.low, i);
    }
    std::vector<bool> taken(records.size(), false);
    std::unordered_map<std::uint64_t, std::size_t> atBegin;
    for (std::size_t i = 0; i < records.size(); ++i) {
        atBegin[records[i].begin] = i;
    }
    std::unordered_map<std::uint64_t, const LedgerPlace*> placeOf; // by source path hash
    for (const auto& [begin, place] : places) {
        placeOf[place.source] = &place;
    }
    const std::string name = mailbox.substr(root_.size());
    std::unordered_map<std::uint64_t, Source*> byContent;
    CutCopies cutCopies(mailbox, writer_);
    for (Source& source : sources) {
        if (source.problem || source.empty) {
            continue;
        }
        byContent.emplace(source.hash.low, &source);
        cutCopies.Add(source.path, source.startKey);
        const auto placed = placeOf.find(PathHash(source.path));
        std::optional<std::size_t> chosen;
        const auto [first, last] = byHash.equal_range(source.hash.low);
        for (auto it = first; it != last; ++it) {
            if (taken[it->second] || records[it->second].hash != source.hash) {
                continue;
            }
            if (!chosen ||
                (placed != placeOf.end() && records[it->second].begin == placed->second->begin)) {
                chosen = it->second;
            }
        }
        if (chosen) {
            taken[*chosen] = true;
            source.matched = true;
            const MailboxScanner::Record& record = records[*chosen];
            // The same message under another date: fine when the date is the
            // file's own time (no usable Date: or Received:) and the file was
            // touched since, whether the ledger saw that or a later run wrote
            // the new time into it.
            platform::FileStatus now;
            const bool known = platform::Status(source.path, now) == 0;
            const bool touched =
                placed != placeOf.end() && known &&
                LedgerTime(now.modified, now.modifiedNanoseconds) != placed->second->modifiedNs;
            const bool fileDate =
                known && source.fromLine.ends_with(" " + FormatFromLineDate(now.modified));
            if (record.fromLine != source.fromLine &&
                (!(touched || fileDate) ||
                 SenderOf(record.fromLine) != SenderOf(source.fromLine))) {
                source.problem = "its From_ line is \"" + record.fromLine +
                                 "\"; the rules give \"" + source.fromLine + "\" in " + name;
            }
            continue;
        }
        // Not found: what the ledger says lies there tells what went wrong.
        if (placed != placeOf.end()) {
            const LedgerPlace& place = *placed->second;
            const auto at = atBegin.find(place.begin);
            if (at != atBegin.end()) {
                taken[at->second] = true;
                const MailboxScanner::Record& there = records[at->second];
                source.problem = there.end < place.end
                                     ? "its record is cut short (" +
                                           std::to_string(there.end - there.begin) + " of " +
                                           std::to_string(place.end - place.begin) + " bytes) in " +
                                           name
                                     : "its record differs from the message (" +
                                           std::to_string(there.end - there.begin) + " bytes at " +
                                           std::to_string(there.begin) + ") in " + name;
                continue;
            }
        }
        source.problem = "not in the output: no record of it in " + name;
    }
    // What no message took: doubles, earlier versions, cut records, others' mail.
    int foreign = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (taken[i]) {
            continue;
        }
        const MailboxScanner::Record& record = records[i];
        const auto same = byContent.find(record.hash.low);
        if (same != byContent.end() && same->second->hash == record.hash) {
            Source& source = *same->second;
            if (!source.problem) {
                source.problem = "doubled: its record is in " + name +
                                 " more than once (again at byte " + std::to_string(record.begin) +
                                 ")";
            }
            continue;
        }
        const auto place = places.find(record.begin);
        if (place != places.end()) {
            for (Source& source : sources) {
                if (PathHash(source.path) == place->second.source && !source.problem) {
                    source.problem = "converted 2 times into " + name +
                                     ": an earlier version of it is there too (at byte " +
                                     std::to_string(record.begin) + ")";
                    break;
                }
            }
            if (place->second.source != 0) {
                continue;
            }
        }
        if (!record.endsWithEmptyLine) {
            report_.problems.push_back({mailbox, "a record cut short at byte " +
                                                     std::to_string(record.begin) + " (" +
                                                     std::to_string(record.end - record.begin) +
                                                     " bytes, no empty line at its end)"});
            continue;
        }
        if (const std::optional<std::string> whose = cutCopies.StartOf(record)) {
            report_.problems.push_back(
                {mailbox, "a record cut short at byte " + std::to_string(record.begin) + " (" +
                              std::to_string(record.end - record.begin) +
                              " bytes, the start of the record of " + *whose + ")"});
            continue;
        }
        ++foreign;
    }
    if (foreign > 0) {
        report_.foreign.push_back({mailbox, foreign});
    }
}

// Mailboxes no message of the stores goes to: all they hold is foreign.
void Verifier::CountOtherMailboxes() {
    std::vector<std::string> files;
    try {
        files = CollectFiles(root_);
    } catch (const std::exception&) {
        return;
    }
    for (const std::string& path : files) {
        if (checkedMailboxes_.contains(path) ||
            path == root_ + std::string(ConversionLedger::kFileName)) {
            continue;
        }
        const int fd = platform::Open(path, platform::kRead | platform::kNoFollow);
        if (fd < 0) {
            continue;
        }
        char head[5];
        int count = 0;
        if (platform::ReadAt(fd, head, sizeof head, 0) == 5 &&
            std::string_view(head, 5) == "From ") {
            MailboxScanner::Scan(fd, 0, UINT64_MAX, [&](const MailboxScanner::Record& r) {
                count += r.leading ? 0 : 1;
            });
        }
        platform::Close(fd);
        if (count > 0) {
            report_.foreign.push_back({path, count});
        }
    }
}

} // namespace

class MboxVerifier::Impl : public Verifier {
public:
    using Verifier::Verifier;
};

MboxVerifier::MboxVerifier(std::vector<std::string> stores, std::string outputRoot,
                           const OutputTarget& target, VerifyReport& report)
    : impl_(std::make_unique<Impl>(std::move(stores), std::move(outputRoot), target, report)) {}

MboxVerifier::~MboxVerifier() = default;

void MboxVerifier::Add(const std::string& path) {
    impl_->Add(path);
}

void MboxVerifier::Check(const YieldFn& yield, const std::function<bool()>& stopRequested,
                         const std::function<void(int, int)>& progress) {
    impl_->Check(yield, stopRequested, progress);
}

} // namespace marrowgate
