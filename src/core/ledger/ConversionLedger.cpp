#include "ledger/ConversionLedger.h"

#include "ledger/LedgerFileLines.h"
#include "ledger/LedgerLine.h"
#include "ledger/LedgerReader.h"
#include "ledger/OutputRefused.h"
#include "marrowgate/ConversionError.h"
#include "output/MailboxScanner.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace marrowgate {
namespace {

constexpr std::string_view kFirstLine = "marrowgate-ledger 2\n";
// A ledger is rewritten when it is larger than this and lines a compaction
// would drop take more than half of it.
constexpr std::uint64_t kCompactAbove = 64 * 1024;

std::string SourceOf(std::string_view line) {
    return LedgerLine::Parse(line).record.source.path;
}

// The target whose line ends the record at `begin` of the mailbox `fd` has:
// what a mailbox of a version 1 ledger was written for, as far as can be told.
std::string TargetByLineEnds(int fd, std::uint64_t begin) {
    char head[1024];
    const long long got = platform::ReadAt(fd, head, sizeof head, begin);
    const std::string_view text(head, got > 0 ? static_cast<std::size_t>(got) : 0);
    const std::size_t from = text.find("From ");
    const std::size_t lf = text.find('\n', from == std::string_view::npos ? 0 : from);
    if (from == std::string_view::npos || lf == std::string_view::npos) {
        return {};
    }
    return lf > 0 && text[lf - 1] == '\r' ? "entourage" : "lf";
}

} // namespace

std::vector<LedgerRecord> ConversionLedger::ReadRecords(const std::string& ledgerPath) {
    return LedgerReader::ReadRecords(ledgerPath);
}

ConversionLedger::ConversionLedger(const std::string& outputRoot, const LedgerRun& run)
    : root_(outputRoot), path_(outputRoot + std::string(kFileName)), file_(path_, outputRoot),
      run_(run) {
    Survey();
    DropRecordsOfMissingBytes();
    const bool anyOpen = std::any_of(mailboxes_.begin(), mailboxes_.end(),
                                     [](const auto& mailbox) { return mailbox.second.open; });
    if (file_.Version() == 1 || (size_ > kCompactAbove && spentBytes_ > size_ / 2 && !anyOpen)) {
        Compact();
    }
    if (size_ == 0) {
        Append(std::string(kFirstLine));
    }
    line_.clear();
    LedgerLine::AppendRun(line_, static_cast<std::int64_t>(std::time(nullptr)), run_.target,
                          run_.stores);
    Append(line_);
}

// One pass over the ledger learns where each mailbox's lines lie, whether a
// run left it open and for which target; its records are read when a run
// comes to it.
void ConversionLedger::Survey() {
    const int version = std::max(file_.Version(), 1);
    MailboxLines* last = nullptr;
    std::string lastField; // as it stands in the file: lines of one mailbox come together
    const auto [whole, length] = LedgerFileLines::ForEach(
        file_.Fd(), path_, 0, LedgerFileLines::kToTheEnd,
        [&](std::string_view text, std::uint64_t offset) {
            if (offset == 0) {
                return; // the first line
            }
            const std::uint64_t end = offset + text.size() + 1;
            if (version >= 2 && !LedgerLine::Intact(text)) {
                ++damaged_;
                spentBytes_ += end - offset;
                return;
            }
            const std::optional<std::string_view> field = LedgerLine::MailboxField(text);
            if (!field) {
                if (text.starts_with("run\t")) {
                    lastRunLines_.clear();
                }
                if (text.starts_with("run\t") || text.starts_with("end\t")) {
                    lastRunLines_.append(text).append(1, '\n');
                }
                spentBytes_ += end - offset;
                return;
            }
            if (last == nullptr || *field != lastField) {
                const std::string name = LedgerLine::Unescaped(*field);
                const auto [it, added] = mailboxes_.try_emplace(name);
                if (added) {
                    order_.push_back(name);
                }
                last = &it->second;
                lastField.assign(*field);
            }
            if (!last->spans.empty() && last->spans.back().end == offset) {
                last->spans.back().end = end;
            } else {
                last->spans.push_back({offset, end});
            }
            if (!text.starts_with("record")) {
                spentBytes_ += end - offset;
                const LedgerLine line = LedgerLine::Parse(text, version);
                if (line.kind == LedgerLine::Kind::Open || line.kind == LedgerLine::Kind::Closed) {
                    last->open = line.kind == LedgerLine::Kind::Open;
                }
                if (line.kind == LedgerLine::Kind::Open) {
                    last->target = line.target;
                }
            }
        });
    // A line cut short (a full disk, a power cut) is no line: it goes, so
    // that the next one starts on a line of its own.
    if (whole < length && platform::Truncate(file_.Fd(), whole) != 0) {
        throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, errno);
    }
    size_ = whole;
    earlierEnd_ = whole;
}

// A mailbox shorter than the ledger knows it was cut or removed since: the
// records past its end are no longer there. Its size now is kept, and the
// records dropped when the mailbox's are read.
void ConversionLedger::DropRecordsOfMissingBytes() {
    for (auto& [mailbox, lines] : mailboxes_) {
        platform::FileStatus info;
        lines.sizeAtStart = platform::Status(root_ + mailbox, info) == 0 ? info.size : 0;
    }
}

ConversionLedger::~ConversionLedger() {
    try {
        Flush();
    } catch (const ConversionError&) {
        // The records not written lie past what the ledger knows: the next
        // run takes them back and converts them again.
    }
}

// The lines of a span lie in the file, or, past size_, among those gathered.
template <typename Each> void ConversionLedger::ForEachLineOf(Span span, Each each) const {
    if (span.begin < size_) {
        LedgerFileLines::ForEach(file_.Fd(), path_, span.begin, std::min(span.end, size_), each);
    }
    for (std::uint64_t offset = std::max(span.begin, size_); offset < span.end;) {
        const std::string_view gathered(pending_);
        const auto from = static_cast<std::size_t>(offset - size_);
        const std::size_t lf = gathered.find('\n', from);
        if (lf == std::string_view::npos) {
            return; // never: lines are gathered whole
        }
        each(gathered.substr(from, lf - from), offset);
        offset = size_ + lf + 1;
    }
}

std::string ConversionLedger::SourceAt(std::uint64_t lineOffset) const {
    if (lineOffset >= size_) {
        const std::string_view gathered(pending_);
        const auto from = static_cast<std::size_t>(lineOffset - size_);
        return SourceOf(gathered.substr(from, gathered.find('\n', from) - from));
    }
    return SourceOf(LedgerFileLines::LineAt(file_.Fd(), path_, lineOffset));
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
    const auto found = mailboxes_.find(mailbox);
    if (found == mailboxes_.end()) {
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
    for (const Span span : lines.spans) {
        if (!settled && span.begin >= earlierEnd_) {
            settle();
        }
        ForEachLineOf(span, [&](std::string_view text, std::uint64_t offset) {
            index.Apply(LedgerLine::Parse(text), offset);
        });
    }
    if (!settled) {
        settle();
    }
}

// The mailbox as its own lines leave it, the size it has now left aside:
// its records that stand, in file order, with where their lines lie.
ConversionLedger::Replayed ConversionLedger::ReplayLines(const MailboxLines& lines) const {
    Replayed replayed;
    for (const Span span : lines.spans) {
        ForEachLineOf(span, [&](std::string_view text, std::uint64_t offset) {
            LedgerLine line = LedgerLine::Parse(text, std::max(file_.Version(), 1));
            if (line.kind == LedgerLine::Kind::Open) {
                std::erase_if(replayed.records,
                              [&](const Replayed::Line& r) { return r.record.end > line.size; });
                replayed.openedAt = line.size;
                replayed.open = true;
                replayed.target = line.target;
            } else if (line.kind == LedgerLine::Kind::Closed) {
                replayed.open = false;
                replayed.closedAt = line.size;
            } else if (line.kind == LedgerLine::Kind::Record) {
                replayed.records.push_back({std::move(line.record), offset});
            }
        });
    }
    return replayed;
}

void ConversionLedger::CheckTarget(const std::string& mailbox) {
    const auto found = mailboxes_.find(mailbox);
    if (found == mailboxes_.end() || found->second.sizeAtStart == 0 || forgetEarlier_) {
        return;
    }
    MailboxLines& lines = found->second;
    const LedgerMailboxIndex& index = Select(mailbox);
    if (index.state.knownEnd == 0) {
        return; // none of its records stands
    }
    if (lines.target.empty()) {
        const int fd = platform::Open(root_ + mailbox, platform::kRead | platform::kNoFollow);
        if (fd >= 0) {
            const Replayed replayed = ReplayLines(lines);
            lines.target = replayed.records.empty()
                               ? ""
                               : TargetByLineEnds(fd, replayed.records.front().record.begin);
            platform::Close(fd);
        }
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
    const auto found = mailboxes_.find(mailbox);
    if (found == mailboxes_.end()) {
        return false;
    }
    const std::string field = LedgerLine::Escaped(sourcePath);
    bool has = false;
    for (const Span span : found->second.spans) {
        ForEachLineOf(span, [&](std::string_view text, std::uint64_t) {
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
    const Replayed replayed = ReplayLines(lines);
    std::uint64_t from = 0;
    for (const Replayed::Line& line : replayed.records) {
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

std::uint64_t ConversionLedger::Opening(const std::string& mailbox, std::uint64_t size, int fd,
                                        bool& cutRecord, const std::string& target) {
    std::uint64_t keep = size;
    const LedgerMailboxIndex::State& state = Select(mailbox).state;
    MailboxLines& lines = mailboxes_[mailbox];
    if (state.open && size > state.knownEnd) {
        keep = state.knownEnd; // the tail of a run that did not get to close it
    } else if (state.shortened && !lines.openedByThisRun) {
        keep = WholeRecordsEnd(lines, fd, size);
    }
    cutRecord = keep < size && !state.open;
    // Records to drop take a full index.
    LedgerMailboxIndex& index = Select(mailbox, state.knownEnd > keep);
    index.DropBeyond(keep);
    line_.clear();
    LedgerLine::AppendOpen(line_, mailbox, keep, target.empty() ? run_.target : target);
    AppendOf(mailbox, line_);
    Sync();
    index.state = {keep, keep, true};
    lines.open = true;
    lines.target = target.empty() ? run_.target : target;
    if (!lines.openedByThisRun) {
        lines.openedByThisRun = true;
        lines.sizeBefore = keep;
    }
    content_.reset();
    return keep;
}

std::optional<LedgerRecord> ConversionLedger::TakeByContent(const std::string& mailbox, int fd,
                                                            const ContentHash& hash,
                                                            const LedgerSource& source) {
    const auto found = mailboxes_.find(mailbox);
    if (forgetEarlier_ || found == mailboxes_.end() || found->second.sizeBefore == 0) {
        return std::nullopt; // nothing was in it before this run
    }
    if (!content_ || contentName_ != mailbox) {
        platform::FileStatus info;
        const std::uint64_t size = platform::Status(fd, info) == 0 ? info.size : 0;
        std::vector<MailboxContent::Entry> known;
        for (const Replayed::Line& line : ReplayLines(found->second).records) {
            known.push_back(
                {line.record.hash, line.record.begin, line.record.end,
                 line.record.source.path.empty() ? MailboxContent::kNoLine : line.offset});
        }
        content_.reset();
        contentName_ = mailbox;
        content_.emplace(std::move(known), fd, size, root_ + mailbox,
                         [&](const LedgerRecord& read) {
                             LedgerRecord record = read;
                             record.mailbox = mailbox;
                             RecordLine(record);
                         });
    }
    const MailboxContent::Entry* entry = content_->Take(
        hash, source.path, [this](std::uint64_t offset) { return SourceAt(offset); });
    if (entry == nullptr) {
        return std::nullopt;
    }
    LedgerRecord record{mailbox, entry->begin, entry->end, hash, source};
    RecordLine(record);
    return record;
}

// The record goes into the index only when its mailbox's records are at
// hand; otherwise they are read with its line when they are next wanted.
void ConversionLedger::RecordLine(const LedgerRecord& record) {
    line_.clear();
    LedgerLine::AppendRecord(line_, record);
    const std::uint64_t offset = AppendOf(record.mailbox, line_);
    if (!record.source.path.empty()) {
        ++pendingRecords_;
    }
    if (selected_ && selectedName_ == record.mailbox && !record.source.path.empty()) {
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
    Flush();
    if (selected_ && selectedName_ == mailbox) {
        selected_->state = {size, size, false};
    }
    mailboxes_[mailbox].open = false;
}

void ConversionLedger::Finished(const std::array<std::uint64_t, 3>& figures) {
    line_.clear();
    LedgerLine::AppendEnd(line_, static_cast<std::int64_t>(std::time(nullptr)), figures);
    Append(line_);
}

std::uint64_t ConversionLedger::AppendOf(const std::string& mailbox, const std::string& line) {
    Append(line);
    const std::uint64_t begin = size_ + pending_.size() - line.size();
    const std::uint64_t end = begin + line.size();
    std::vector<Span>& spans = mailboxes_[mailbox].spans;
    if (!spans.empty() && spans.back().end == begin) {
        spans.back().end = end;
    } else {
        spans.push_back({begin, end});
    }
    return begin;
}

void ConversionLedger::Append(const std::string& line) {
    constexpr std::size_t kGathered = 64 * 1024;
    pending_ += line;
    if (pending_.size() >= kGathered) {
        try {
            Flush();
        } catch (const ConversionError&) {
            // The line's record is taken back: the line must never be written.
            pending_.resize(pending_.size() - line.size());
            throw;
        }
    }
}

// Whole lines in one write: a kill cannot tear a line. A failed or short
// write (a full disk) is taken back, and the lines kept for the next try, so
// that every line starts on its own.
void ConversionLedger::Flush() {
    if (pending_.empty()) {
        return;
    }
    std::uint64_t written = 0;
    const std::string_view lines[] = {pending_};
    if (!platform::WriteAll(file_.Fd(), lines, written)) {
        const int error = errno;
        [[maybe_unused]] const int cut = platform::Truncate(file_.Fd(), size_);
        throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, error);
    }
    size_ += pending_.size();
    pending_.clear();
    pendingRecords_ = 0;
}

std::vector<std::pair<std::string, std::string>> ConversionLedger::UnsettledMailboxes() const {
    std::vector<std::pair<std::string, std::string>> unsettled;
    for (const std::string& mailbox : order_) {
        const MailboxLines& lines = mailboxes_.at(mailbox);
        if (lines.open && !lines.openedByThisRun) {
            unsettled.emplace_back(mailbox, lines.target);
        }
    }
    return unsettled;
}

void ConversionLedger::Sync() {
    file_.CheckStillAtItsPath();
    Flush();
    if (platform::Sync(file_.Fd()) != 0) {
        throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, errno);
    }
}

// The ledger rewritten without what no reader needs: the lines of each
// mailbox as they leave it, then the last run's lines.
void ConversionLedger::Compact() {
    file_.Replace([this](const LedgerFile::Sink& write) {
        write(kFirstLine);
        for (const std::string& mailbox : order_) {
            const MailboxLines& lines = mailboxes_.at(mailbox);
            if (lines.sizeAtStart > 0) {
                write(CompactedLinesOf(mailbox, lines));
            }
        }
        for (std::string_view rest = lastRunLines_; !rest.empty();) {
            const std::string_view text = rest.substr(0, rest.find('\n'));
            rest.remove_prefix(std::min(rest.size(), text.size() + 1));
            const LedgerLine line = LedgerLine::Parse(text, std::max(file_.Version(), 1));
            std::string again;
            if (line.kind == LedgerLine::Kind::Run) {
                LedgerLine::AppendRun(again, line.time, line.target, line.stores);
            } else if (line.kind == LedgerLine::Kind::End) {
                LedgerLine::AppendEnd(again, line.time, line.figures);
            }
            write(again);
        }
    });
    mailboxes_.clear();
    order_.clear();
    lastRunLines_.clear();
    damaged_ = 0;
    spentBytes_ = 0;
    Survey();
    DropRecordsOfMissingBytes();
}

// A record named twice (found by its content) keeps its last line.
std::string ConversionLedger::CompactedLinesOf(const std::string& mailbox,
                                               const MailboxLines& lines) {
    Replayed replayed = ReplayLines(lines);
    std::unordered_map<std::uint64_t, std::size_t> latest;
    for (std::size_t i = 0; i < replayed.records.size(); ++i) {
        latest[replayed.records[i].record.begin] = i;
    }
    std::string target = replayed.target;
    if (target.empty() && !replayed.records.empty()) {
        const int fd = platform::Open(root_ + mailbox, platform::kRead | platform::kNoFollow);
        if (fd >= 0) {
            target = TargetByLineEnds(fd, replayed.records.front().record.begin);
            platform::Close(fd);
        }
    }
    std::string out;
    const auto records = [&](bool before) {
        for (std::size_t i = 0; i < replayed.records.size(); ++i) {
            const LedgerRecord& record = replayed.records[i].record;
            if (latest[record.begin] == i && (record.end <= replayed.openedAt) == before) {
                LedgerLine::AppendRecord(out, record);
            }
        }
    };
    records(true);
    LedgerLine::AppendOpen(out, mailbox, replayed.openedAt, target);
    records(false);
    if (!replayed.open) {
        LedgerLine::AppendMailbox(out, "closed", mailbox, replayed.closedAt);
    }
    return out;
}

} // namespace marrowgate
