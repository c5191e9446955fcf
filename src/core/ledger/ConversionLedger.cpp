#include "ledger/ConversionLedger.h"

#include "ledger/LedgerFileLines.h"
#include "ledger/LedgerLine.h"
#include "marrowgate/ConversionError.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>

namespace marrowgate {
namespace {

constexpr std::string_view kFirstLine = "marrowgate-ledger 1";
std::string SourceOf(std::string_view line) {
    return LedgerLine::Parse(line).record.source.path;
}

} // namespace

// Every record, with what the mailbox it is in knows of it, so that a later
// "open" can tell which of them it takes away; verifying wants them all.
std::vector<LedgerRecord> ConversionLedger::ReadRecords(const std::string& ledgerPath) {
    const int fd = platform::Open(ledgerPath, platform::kRead);
    if (fd < 0 && errno == ENOENT) {
        return {};
    }
    if (fd < 0) {
        LedgerFileLines::ReadFailed(ledgerPath);
    }
    struct Mailbox {
        std::vector<std::size_t> records;
        LedgerMailboxIndex index;
    };
    std::unordered_map<std::string, Mailbox> mailboxes;
    std::vector<LedgerRecord> records;
    std::vector<bool> standing;
    const auto sourceAt = [fd, &ledgerPath](std::uint64_t offset) {
        return SourceOf(LedgerFileLines::LineAt(fd, ledgerPath, offset));
    };
    try {
        LedgerFileLines::ForEach(
            fd, ledgerPath, 0, LedgerFileLines::kToTheEnd,
            [&](std::string_view text, std::uint64_t offset) {
                LedgerLine line = LedgerLine::Parse(text);
                if (line.kind == LedgerLine::Kind::Other) {
                    return;
                }
                Mailbox& mailbox = mailboxes
                                       .try_emplace(line.record.mailbox,
                                                    Mailbox{{}, LedgerMailboxIndex(sourceAt, true)})
                                       .first->second;
                if (line.kind == LedgerLine::Kind::Open &&
                    mailbox.index.state.knownEnd > line.size) {
                    for (const std::size_t i : mailbox.records) {
                        standing[i] = standing[i] && records[i].end <= line.size;
                    }
                }
                mailbox.index.Apply(line, offset);
                if (line.kind == LedgerLine::Kind::Record) {
                    mailbox.records.push_back(records.size());
                    records.push_back(std::move(line.record));
                    standing.push_back(true);
                }
            });
    } catch (...) {
        platform::Close(fd);
        throw;
    }
    platform::Close(fd);
    std::vector<LedgerRecord> stand;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (standing[i]) {
            stand.push_back(std::move(records[i]));
        }
    }
    return stand;
}

ConversionLedger::ConversionLedger(const std::string& outputRoot)
    : root_(outputRoot), path_(outputRoot + std::string(kFileName)) {
    constexpr unsigned kFlags =
        platform::kRead | platform::kWrite | platform::kAppend | platform::kNoFollow;
    // Another run may make it between the two opens: then it is opened again.
    do {
        fd_ = platform::Open(path_, kFlags);
        if (fd_ < 0 && errno == ENOENT) {
            fd_ = platform::Open(path_, kFlags | platform::kCreateNew);
            created_ = fd_ >= 0;
        }
    } while (fd_ < 0 && errno == EEXIST);
    if (fd_ < 0) {
        throw ConversionError::FromErrno("Cannot open the conversion ledger", path_, errno);
    }
    if (platform::LockOwner(fd_) != 0) {
        const int error = errno;
        platform::Close(fd_);
        fd_ = -1;
        if (error == EAGAIN) {
            throw ConversionError("Another conversion is writing into " + outputRoot +
                                  "; run this one again when it has ended");
        }
        throw ConversionError::FromErrno("Cannot lock the conversion ledger", path_, error);
    }
    try {
        Survey();
        DropRecordsOfMissingBytes();
        if (size_ == 0) {
            Append(std::string(kFirstLine) + "\n");
        }
        line_ = "run";
        char digits[24];
        const auto [end, error] = std::to_chars(digits, digits + sizeof digits, std::time(nullptr));
        line_.append(1, '\t').append(digits, end).append(1, '\n');
        Append(line_);
    } catch (...) {
        platform::Close(fd_);
        fd_ = -1;
        throw;
    }
}

// One pass over the ledger learns where each mailbox's lines lie and whether
// a run left it open; its records are read when a run comes to it.
void ConversionLedger::Survey() {
    MailboxLines* last = nullptr;
    std::string lastField; // as it stands in the file: lines of one mailbox come together
    const auto [whole, length] = LedgerFileLines::ForEach(
        fd_, path_, 0, LedgerFileLines::kToTheEnd,
        [&](std::string_view text, std::uint64_t offset) {
            const std::optional<std::string_view> field = LedgerLine::MailboxField(text);
            if (!field) {
                return;
            }
            if (last == nullptr || *field != lastField) {
                last = &mailboxes_[LedgerLine::Unescaped(*field)];
                lastField.assign(*field);
            }
            const std::uint64_t end = offset + text.size() + 1;
            if (!last->spans.empty() && last->spans.back().end == offset) {
                last->spans.back().end = end;
            } else {
                last->spans.push_back({offset, end});
            }
            if (!text.starts_with("record")) {
                const LedgerLine line = LedgerLine::Parse(text);
                if (line.kind == LedgerLine::Kind::Open || line.kind == LedgerLine::Kind::Closed) {
                    last->open = line.kind == LedgerLine::Kind::Open;
                }
            }
        });
    // A line cut short (a full disk, a power cut) is no line: it goes, so
    // that the next one starts on a line of its own.
    if (whole < length && platform::Truncate(fd_, whole) != 0) {
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
    if (fd_ < 0) {
        return;
    }
    try {
        Flush();
    } catch (const ConversionError&) {
        // The records not written lie past what the ledger knows: the next
        // run takes them back and converts them again.
    }
    platform::Close(fd_); // releases the lock
}

// The lines of a span lie in the file, or, past size_, among those gathered.
template <typename Each> void ConversionLedger::ForEachLineOf(Span span, Each each) const {
    if (span.begin < size_) {
        LedgerFileLines::ForEach(fd_, path_, span.begin, std::min(span.end, size_), each);
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
    return SourceOf(LedgerFileLines::LineAt(fd_, path_, lineOffset));
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

// A light index's "maybe" is most often another path's hash: the mailbox's
// lines tell, before its records are read in full.
ConversionLedger::Seen ConversionLedger::Lookup(const std::string& mailbox,
                                                const LedgerSource& source) {
    const LedgerMailboxIndex& index = Select(mailbox);
    if (!index.Full() && (!index.MayHave(source.path) || !HasRecordLine(mailbox, source.path))) {
        return Seen::New;
    }
    return Select(mailbox, true).Lookup(source);
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

std::uint64_t ConversionLedger::Opening(const std::string& mailbox, std::uint64_t size) {
    std::uint64_t keep = size;
    const LedgerMailboxIndex::State& state = Select(mailbox).state;
    if (state.open && size > state.knownEnd) {
        keep = state.knownEnd; // the tail of a run that did not get to close it
    }
    // Records to drop take a full index.
    LedgerMailboxIndex& index = Select(mailbox, state.knownEnd > keep);
    index.DropBeyond(keep);
    line_.clear();
    LedgerLine::AppendMailbox(line_, "open", mailbox, keep);
    AppendOf(mailbox, line_);
    Sync();
    index.state = {keep, keep, true};
    mailboxes_[mailbox].open = true;
    return keep;
}

// The record goes into the index only when its mailbox's records are at
// hand; otherwise they are read with its line when they are next wanted.
void ConversionLedger::Recorded(const LedgerRecord& record) {
    line_.clear();
    LedgerLine::AppendRecord(line_, record);
    const std::uint64_t offset = AppendOf(record.mailbox, line_);
    if (selected_ && selectedName_ == record.mailbox) {
        selected_->Add(record, offset);
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
    std::uint64_t written = 0;
    const std::string_view lines[] = {pending_};
    if (!platform::WriteAll(fd_, lines, written)) {
        const int error = errno;
        [[maybe_unused]] const int cut = platform::Truncate(fd_, size_);
        throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, error);
    }
    size_ += pending_.size();
    pending_.clear();
}

std::vector<std::string> ConversionLedger::UnsettledMailboxes() const {
    std::vector<std::string> unsettled;
    for (const auto& [mailbox, lines] : mailboxes_) {
        if (lines.open) {
            unsettled.push_back(mailbox);
        }
    }
    return unsettled;
}

void ConversionLedger::Sync() {
    Flush();
    if (platform::Sync(fd_) != 0) {
        throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, errno);
    }
}

} // namespace marrowgate
