#include "ledger/ConversionLedger.h"

#include "ledger/LedgerCompaction.h"
#include "ledger/LedgerLine.h"
#include "ledger/LedgerReader.h"
#include "ledger/MailboxTail.h"
#include "ledger/OutputRefused.h"
#include "output/MailboxScanner.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <ctime>

namespace marrowgate {

std::vector<LedgerRecord> ConversionLedger::ReadRecords(const std::string& ledgerPath) {
    return LedgerReader::ReadRecords(ledgerPath);
}

ConversionLedger::ConversionLedger(const std::string& outputRoot, const LedgerRun& run)
    : root_(outputRoot), store_(outputRoot + std::string(kFileName), outputRoot), run_(run),
      survey_(LedgerSurvey::Of(store_)) {
    damaged_ = survey_.damaged;
    survey_.MeasureMailboxes(root_);
    if (LedgerCompaction::Due(store_, survey_)) {
        LedgerCompaction::Run(store_, survey_, root_);
    }
    earlierEnd_ = store_.FileSize();
    if (earlierEnd_ == 0) {
        store_.Append(LedgerFile::kFirstLine);
    }
    line_.clear();
    LedgerLine::AppendRun(line_, static_cast<std::int64_t>(std::time(nullptr)), run_.target,
                          run_.stores);
    store_.Append(line_);
}

ConversionLedger::~ConversionLedger() {
    try {
        store_.Flush();
    } catch (const ConversionError&) {
        // The records not written lie past what the ledger knows: the next
        // run finds them by their content.
    }
}

std::string ConversionLedger::SourceAt(std::uint64_t lineOffset) const {
    return LedgerLine::Parse(store_.LineAt(lineOffset)).record.source.path;
}

// Reads the records of `mailbox` from its lines, and lets go of the last
// mailbox's: into a light index unless `full` or the lines need one.
LedgerMailboxIndex& ConversionLedger::Select(const std::string& mailbox, bool full) {
    if (selected_ && selectedName_ == mailbox && (selected_->Full() || !full)) {
        return *selected_;
    }
    selected_.reset();
    selectedName_ = mailbox;
    const auto sourceAt = [this](std::uint64_t offset) { return SourceAt(offset); };
    const auto found = survey_.mailboxes.find(mailbox);
    if (found == survey_.mailboxes.end()) {
        return selected_.emplace(sourceAt, full);
    }
    Replay(found->second, selected_.emplace(sourceAt, full));
    if (selected_->WantsFull()) {
        selected_.reset();
        Replay(found->second, selected_.emplace(sourceAt, true));
    }
    return *selected_;
}

// The lines of earlier runs come first, then what the mailbox's size when
// this run began leaves standing of them, then this run's lines.
void ConversionLedger::Replay(const MailboxLines& lines, LedgerMailboxIndex& index) const {
    bool settled = false;
    const auto settle = [&] {
        index.state.shortened = index.state.knownEnd > lines.sizeAtStart;
        index.DropBeyond(lines.sizeAtStart);
        if (forgetEarlier_) {
            index.ForgetAll();
        }
        settled = true;
    };
    for (const LedgerSpan span : lines.spans) {
        if (!settled && span.begin >= earlierEnd_) {
            settle();
        }
        store_.ForEach(span, [&](std::string_view text, std::uint64_t offset) {
            index.Apply(LedgerLine::Parse(text), offset);
        });
    }
    if (!settled) {
        settle();
    }
}

void ConversionLedger::CheckTarget(const std::string& mailbox) {
    const auto found = survey_.mailboxes.find(mailbox);
    if (found == survey_.mailboxes.end() || found->second.sizeAtStart == 0 || forgetEarlier_) {
        return;
    }
    MailboxLines& lines = found->second;
    const LedgerMailboxIndex& index = Select(mailbox);
    if (index.state.knownEnd == 0) {
        return; // none of its records stands
    }
    if (lines.target.empty()) {
        const ReplayedMailbox replayed = ReplayedMailbox::Of(lines, store_);
        lines.target =
            replayed.records.empty()
                ? ""
                : TargetByLineEnds(root_ + mailbox, replayed.records.front().record.begin);
    }
    const bool sameLineEnds = (lines.target == "lf") == (run_.target != "entourage");
    if (lines.target.empty() || lines.target == run_.target ||
        (lines.target == "lf" && sameLineEnds)) {
        return;
    }
    const std::string written =
        lines.target == "lf" ? "a target with LF line ends" : "the " + lines.target + " target";
    throw OutputRefused("Cannot convert into " + root_ + mailbox + ": it was written for " +
                        written + ", and this run writes for " + run_.target +
                        "; convert into another folder, or with --target " +
                        (lines.target == "lf" ? std::string("as before") : lines.target));
}

// A light index's "maybe" is most often another path's hash: the mailbox's
// lines tell, before its records are read in full.
ConversionLedger::Seen ConversionLedger::Lookup(const std::string& mailbox,
                                                const LedgerSource& source) {
    CheckTarget(mailbox);
    const LedgerMailboxIndex& index = Select(mailbox);
    if (!index.Full() && (!index.MayHave(source.path) || !HasRecordLine(mailbox, source.path))) {
        return Seen::New;
    }
    return Select(mailbox, true).Lookup(source, earlierEnd_);
}

bool ConversionLedger::HasRecordLine(const std::string& mailbox,
                                     const std::string& sourcePath) const {
    const auto found = survey_.mailboxes.find(mailbox);
    if (found == survey_.mailboxes.end()) {
        return false;
    }
    const std::string field = LedgerLine::Escaped(sourcePath);
    bool has = false;
    for (const LedgerSpan span : found->second.spans) {
        store_.ForEach(span, [&](std::string_view text, std::uint64_t) {
            has = has || LedgerLine::SourceField(text) == std::optional<std::string_view>(field);
        });
    }
    return has;
}

void ConversionLedger::ForgetEarlierRuns() {
    forgetEarlier_ = true;
    selected_.reset(); // read again with the records of earlier runs set aside
}

// What a mailbox shorter than its records holds of the record that lay
// across its end is no record: it goes, and with it nothing else. Proved by
// reading: that record's From_ line must be where the ledger has it. Failing
// that, the mailbox's last record goes when it does not end with an empty
// line, as every record written whole does.
std::uint64_t ConversionLedger::WholeRecordsEnd(const MailboxLines& lines, int fd,
                                                std::uint64_t size) const {
    const ReplayedMailbox replayed = ReplayedMailbox::Of(lines, store_);
    std::uint64_t from = 0;
    for (const ReplayedMailbox::Line& line : replayed.records) {
        const LedgerRecord& record = line.record;
        if (record.begin < size && record.end > size) {
            char head[16];
            const long long got = platform::ReadAt(fd, head, sizeof head, record.begin);
            std::string_view text(head, got > 0 ? static_cast<std::size_t>(got) : 0);
            text.remove_prefix(std::min(text.find_first_not_of("\r\n"), text.size()));
            if (text.starts_with("From ")) {
                return record.begin;
            }
        }
        if (record.end <= size) {
            from = std::max(from, record.begin);
        }
    }
    std::optional<MailboxScanner::Record> last;
    MailboxScanner::Scan(fd, from, size, [&](const MailboxScanner::Record& r) { last = r; });
    return last && !last->leading && !last->endsWithEmptyLine ? last->begin : size;
}

// The bytes past what the ledger accounts for of a mailbox still open: kept
// but for a separator; a record cut short at the end waits for its proof.
std::uint64_t ConversionLedger::TailEnd(const std::string& mailbox, int fd, std::uint64_t from,
                                        std::uint64_t size) {
    const MailboxTail tail = MailboxTail::Of(fd, from, size);
    if (tail.cutShort) {
        unproved_ = TailToProve{mailbox, tail.cutShortAt};
    }
    return tail.keep;
}

std::uint64_t ConversionLedger::Opening(const std::string& mailbox, std::uint64_t size, int fd,
                                        bool& cutRecord, const std::string& target) {
    std::uint64_t keep = size;
    const LedgerMailboxIndex::State& state = Select(mailbox).state;
    MailboxLines& lines = survey_.mailboxes[mailbox];
    unproved_.reset();
    if (state.shortened && !lines.openedByThisRun) {
        keep = WholeRecordsEnd(lines, fd, size);
    }
    if (keep == size && state.open && size > state.knownEnd) {
        keep = TailEnd(mailbox, fd, state.knownEnd, size);
    }
    cutRecord = keep < size && !state.open;
    // Records to drop take a full index.
    Select(mailbox, state.knownEnd > keep).DropBeyond(keep);
    // A tail still to be proved is left out of what the ledger accounts for,
    // so that the next run looks at it again should this one not decide.
    WriteOpen(mailbox, unproved_ ? unproved_->at : keep, target.empty() ? run_.target : target);
    if (!lines.openedByThisRun) {
        lines.openedByThisRun = true;
        lines.sizeBefore = keep;
    }
    content_.reset();
    return keep;
}

// The "open" line, on disk before the mailbox changes.
void ConversionLedger::WriteOpen(const std::string& mailbox, std::uint64_t size,
                                 const std::string& target) {
    line_.clear();
    LedgerLine::AppendOpen(line_, mailbox, size, target);
    AppendOf(mailbox, line_);
    store_.Sync();
    Select(mailbox).state = {size, size, true};
    MailboxLines& lines = survey_.mailboxes[mailbox];
    lines.open = true;
    lines.target = target;
}

std::optional<std::uint64_t> ConversionLedger::UnprovedTail(const std::string& mailbox) const {
    if (unproved_ && unproved_->mailbox == mailbox) {
        return unproved_->at;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ConversionLedger::ProveTail(const std::string& mailbox, int fd,
                                                         std::span<const std::string_view> record,
                                                         bool whole) {
    if (!UnprovedTail(mailbox)) {
        return std::nullopt;
    }
    platform::FileStatus info;
    if (platform::Status(fd, info) != 0 ||
        !MailboxTail::IsStartOf(fd, unproved_->at, info.size, record, whole)) {
        return std::nullopt; // not yet: the record may be found in the mailbox and not written
    }
    const std::uint64_t at = unproved_->at;
    unproved_.reset();
    WriteOpen(mailbox, at, survey_.mailboxes[mailbox].target);
    MailboxLines& lines = survey_.mailboxes[mailbox];
    lines.sizeBefore = std::min(lines.sizeBefore, at);
    content_.reset();
    return at;
}

// Read once per mailbox opened, and only for one that held records before
// this run: what it holds by content.
MailboxContent* ConversionLedger::ContentOf(const std::string& mailbox, int fd) {
    const auto found = survey_.mailboxes.find(mailbox);
    if (forgetEarlier_ || found == survey_.mailboxes.end() || found->second.sizeBefore == 0) {
        return nullptr; // nothing was in it before this run
    }
    if (content_ && contentName_ == mailbox) {
        return &*content_;
    }
    platform::FileStatus info;
    const std::uint64_t size = platform::Status(fd, info) == 0 ? info.size : 0;
    std::vector<MailboxContent::Entry> known;
    for (const ReplayedMailbox::Line& line : ReplayedMailbox::Of(found->second, store_).records) {
        known.push_back({line.record.hash, line.record.begin, line.record.end,
                         line.record.source.path.empty() ? MailboxContent::kNoLine : line.offset});
    }
    content_.reset();
    contentName_ = mailbox;
    const std::uint64_t before = std::min(size, found->second.sizeBefore);
    content_.emplace(std::move(known), fd, size, before, root_ + mailbox,
                     [&](const LedgerRecord& read) {
                         LedgerRecord record = read;
                         record.mailbox = mailbox;
                         RecordLine(record);
                     });
    return &*content_;
}

std::optional<LedgerRecord> ConversionLedger::TakeByContent(const std::string& mailbox, int fd,
                                                            const ContentHash& hash,
                                                            const LedgerSource& source) {
    MailboxContent* content = ContentOf(mailbox, fd);
    const MailboxContent::Entry* entry =
        content == nullptr
            ? nullptr
            : content->Take(hash, source.path, [this](std::uint64_t at) { return SourceAt(at); });
    if (entry == nullptr) {
        return std::nullopt;
    }
    LedgerRecord record{mailbox, entry->begin, entry->end, hash, source};
    RecordLine(record);
    return record;
}

bool ConversionLedger::MayHoldStartOf(const std::string& mailbox, int fd,
                                      std::span<const std::string_view> start,
                                      const std::string& sourcePath) {
    MailboxContent* content = ContentOf(mailbox, fd);
    std::uint64_t size = 0;
    for (const std::string_view piece : start) {
        size += piece.size();
    }
    using Entry = MailboxContent::Entry;
    return content != nullptr &&
           content->AnyTakeableStartingAs(
               size, MailboxTail::StartKey(start),
               [fd](const Entry& entry) {
                   return MailboxTail::StartKey(fd, entry.begin, entry.end);
               },
               sourcePath, [this](std::uint64_t at) { return SourceAt(at); },
               [&](const Entry& entry) {
                   return MailboxTail::IsStartOf(fd, entry.begin, entry.end, start, false);
               });
}

// The record goes into the index only when its mailbox's records are at
// hand; otherwise they are read with its line when they are next wanted.
void ConversionLedger::RecordLine(const LedgerRecord& record) {
    line_.clear();
    LedgerLine::AppendRecord(line_, record);
    const bool ofMessage = !record.source.path.empty();
    const std::uint64_t offset = AppendOf(record.mailbox, line_, ofMessage);
    if (selected_ && selectedName_ == record.mailbox && ofMessage) {
        selected_->Add(record, offset);
    }
}

void ConversionLedger::Recorded(const LedgerRecord& record) {
    RecordLine(record);
    if (content_ && contentName_ == record.mailbox) {
        content_->Add(record.hash, record.begin, record.end);
    }
}

void ConversionLedger::Closed(const std::string& mailbox, std::uint64_t size) {
    line_.clear();
    LedgerLine::AppendMailbox(line_, "closed", mailbox, size);
    AppendOf(mailbox, line_);
    store_.Flush();
    if (selected_ && selectedName_ == mailbox) {
        selected_->state = {size, size, false};
    }
    survey_.mailboxes[mailbox].open = false;
}

void ConversionLedger::Finished(const std::array<std::uint64_t, 3>& figures) {
    line_.clear();
    LedgerLine::AppendEnd(line_, static_cast<std::int64_t>(std::time(nullptr)), figures);
    store_.Append(line_);
}

std::uint64_t ConversionLedger::AppendOf(const std::string& mailbox, const std::string& line,
                                         bool ofMessage) {
    const std::uint64_t begin = store_.Append(line, ofMessage);
    survey_.mailboxes[mailbox].Add(begin, begin + line.size());
    return begin;
}

std::vector<std::pair<std::string, std::string>> ConversionLedger::UnsettledMailboxes() const {
    std::vector<std::pair<std::string, std::string>> unsettled;
    for (const std::string& mailbox : survey_.order) {
        const MailboxLines& lines = survey_.mailboxes.at(mailbox);
        if (lines.open && !lines.openedByThisRun) {
            unsettled.emplace_back(mailbox, lines.target);
        }
    }
    return unsettled;
}

} // namespace marrowgate
