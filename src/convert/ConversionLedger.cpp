#include "convert/ConversionLedger.h"

#include "convert/ConversionError.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>

namespace marrowgate {
namespace {

constexpr std::string_view kFirstLine = "marrowgate-ledger 1";

// Paths may hold any byte but NUL: the field and line separators are escaped.
void AppendEscaped(std::string& line, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
}

std::string Unescaped(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        switch (text[++i]) {
        case 't':
            plain += '\t';
            break;
        case 'n':
            plain += '\n';
            break;
        case 'r':
            plain += '\r';
            break;
        default:
            plain += text[i];
        }
    }
    return plain;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string_view::npos;
         start = tab + 1) {
        fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

template <typename Number> bool Parse(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

template <typename Number> void AppendNumber(std::string& line, Number value) {
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    line += '\t';
    line.append(digits, end);
}

std::string Key(std::string_view mailbox, std::string_view source) {
    std::string key;
    key.reserve(mailbox.size() + 1 + source.size());
    key.append(mailbox).append(1, '\0').append(source);
    return key;
}

} // namespace

std::vector<LedgerRecord> ConversionLedger::ReadRecords(const std::string& ledgerPath) {
    ConversionLedger ledger(ledgerPath, ReadOnly{});
    std::vector<LedgerRecord> standing;
    for (std::size_t i = 0; i < ledger.records_.size(); ++i) {
        if (ledger.standing_[i]) {
            standing.push_back(std::move(ledger.records_[i]));
        }
    }
    return standing;
}

ConversionLedger::ConversionLedger(const std::string& ledgerPath, ReadOnly)
    : path_(ledgerPath), keepRecords_(true) {
    fd_ = platform::Open(path_, platform::kRead);
    if (fd_ < 0 && errno == ENOENT) {
        return;
    }
    if (fd_ < 0) {
        throw ConversionError::FromErrno("Cannot read the conversion ledger", path_, errno);
    }
    Read(ReadWhole(fd_, path_));
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
    const std::string data = ReadWhole(fd_, path_);
    size_ = data.size();
    // A line cut short (a full disk, a power cut) is no line: it goes, so
    // that the next one starts on a line of its own.
    const std::size_t whole = data.rfind('\n') == std::string::npos ? 0 : data.rfind('\n') + 1;
    if (whole < size_) {
        if (platform::Truncate(fd_, whole) != 0) {
            throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, errno);
        }
        size_ = whole;
    }
    Read(std::string_view(data).substr(0, whole));
    DropRecordsOfMissingBytes();
    if (size_ == 0) {
        Append(std::string(kFirstLine) + "\n");
    }
    line_ = "run";
    AppendNumber(line_, std::time(nullptr));
    line_ += '\n';
    Append(line_);
}

ConversionLedger::~ConversionLedger() {
    if (fd_ < 0) {
        return;
    }
    if (!keepRecords_) {
        try {
            Flush();
        } catch (const ConversionError&) {
            // The records not written lie past what the ledger knows: the next
            // run takes them back and converts them again.
        }
    }
    platform::Close(fd_); // releases the lock
}

std::string ConversionLedger::ReadWhole(int fd, const std::string& path) {
    std::string data;
    char buffer[64 * 1024];
    for (std::uint64_t offset = 0;;) {
        const long long got = platform::ReadAt(fd, buffer, sizeof buffer, offset);
        if (got < 0) {
            throw ConversionError::FromErrno("Cannot read the conversion ledger", path, errno);
        }
        if (got == 0) {
            return data;
        }
        data.append(buffer, static_cast<std::size_t>(got));
        offset += static_cast<std::uint64_t>(got);
    }
}

void ConversionLedger::Read(std::string_view data) {
    for (std::size_t start = 0, end; (end = data.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        Apply(data.substr(start, end - start));
    }
}

// Lines that cannot be read are passed over: a later version's lines, or
// damage, must not stop a run.
void ConversionLedger::Apply(std::string_view line) {
    const std::vector<std::string_view> fields = Fields(line);
    const std::string_view kind = fields[0];
    if ((kind == "open" || kind == "closed") && fields.size() >= 3) {
        std::uint64_t size = 0;
        if (!Parse(fields[2], size)) {
            return;
        }
        const std::string mailbox = Unescaped(fields[1]);
        if (kind == "open") {
            DropRecordsBeyond(mailbox, size);
        }
        mailboxes_[mailbox] = {size, size, kind == "open"};
    } else if (kind == "record" && fields.size() >= 9) {
        LedgerRecord record;
        record.mailbox = Unescaped(fields[1]);
        record.source.path = Unescaped(fields[4]);
        if (!Parse(fields[2], record.begin) || !Parse(fields[3], record.end) ||
            !Parse(fields[5], record.source.size) || !Parse(fields[6], record.source.modifiedNs) ||
            !Parse(fields[7], record.source.device) || !Parse(fields[8], record.source.inode)) {
            return;
        }
        Add(std::move(record));
    }
}

void ConversionLedger::Add(LedgerRecord record) {
    MailboxState& state = mailboxes_[record.mailbox];
    state.knownEnd = std::max(state.knownEnd, record.end);
    index_[Key(record.mailbox, record.source.path)] = {record.source.size, record.source.modifiedNs,
                                                       record.end};
    if (keepRecords_) {
        records_.push_back(std::move(record));
        standing_.push_back(true);
    }
}

void ConversionLedger::DropRecordsBeyond(const std::string& mailbox, std::uint64_t size) {
    const auto state = mailboxes_.find(mailbox);
    if (state == mailboxes_.end() || state->second.knownEnd <= size) {
        return;
    }
    // What stands is accounted for; what lies past it, up to `size`, is a
    // record cut short.
    std::uint64_t end = std::min(state->second.openedAt, size);
    const std::string prefix = Key(mailbox, "");
    for (auto& [key, known] : index_) {
        if (!known.standing || !key.starts_with(prefix)) {
            continue;
        }
        if (known.end > size) {
            known.standing = false;
        } else {
            end = std::max(end, known.end);
        }
    }
    for (std::size_t i = 0; i < records_.size(); ++i) {
        if (records_[i].end > size && records_[i].mailbox == mailbox) {
            standing_[i] = false;
        }
    }
    state->second.knownEnd = end;
}

// A mailbox shorter than the ledger knows it was cut or removed since: the
// records past its end are no longer there.
void ConversionLedger::DropRecordsOfMissingBytes() {
    for (auto& [mailbox, state] : mailboxes_) {
        platform::FileStatus info;
        const std::string path = root_ + mailbox;
        const std::uint64_t size = platform::Status(path, info) == 0 ? info.size : 0;
        DropRecordsBeyond(mailbox, size);
    }
}

ConversionLedger::Seen ConversionLedger::Lookup(const std::string& mailbox,
                                                const LedgerSource& source) const {
    const auto found = index_.find(Key(mailbox, source.path));
    if (found == index_.end() || !found->second.standing || found->second.earlierRun) {
        return Seen::New;
    }
    const Known& known = found->second;
    return known.size == source.size && known.modifiedNs == source.modifiedNs ? Seen::Converted
                                                                              : Seen::Changed;
}

void ConversionLedger::ForgetEarlierRuns() {
    for (auto& [key, known] : index_) {
        known.earlierRun = true;
    }
}

std::uint64_t ConversionLedger::Opening(const std::string& mailbox, std::uint64_t size) {
    MailboxState& state = mailboxes_[mailbox];
    std::uint64_t keep = size;
    if (state.open && size > state.knownEnd) {
        keep = state.knownEnd; // the tail of a run that did not get to close it
    }
    DropRecordsBeyond(mailbox, keep);
    AppendMailboxLine("open", mailbox, keep);
    Sync();
    state = {keep, keep, true};
    return keep;
}

void ConversionLedger::Recorded(const LedgerRecord& record) {
    line_ = "record\t";
    AppendEscaped(line_, record.mailbox);
    AppendNumber(line_, record.begin);
    AppendNumber(line_, record.end);
    line_ += '\t';
    AppendEscaped(line_, record.source.path);
    AppendNumber(line_, record.source.size);
    AppendNumber(line_, record.source.modifiedNs);
    AppendNumber(line_, record.source.device);
    AppendNumber(line_, record.source.inode);
    line_ += '\n';
    Append(line_);
    Add(record);
}

void ConversionLedger::Closed(const std::string& mailbox, std::uint64_t size) {
    AppendMailboxLine("closed", mailbox, size);
    Flush();
    mailboxes_[mailbox] = {size, size, false};
}

void ConversionLedger::AppendMailboxLine(std::string_view kind, const std::string& mailbox,
                                         std::uint64_t size) {
    line_ = kind;
    line_ += '\t';
    AppendEscaped(line_, mailbox);
    AppendNumber(line_, size);
    line_ += '\n';
    Append(line_);
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
    for (const auto& [mailbox, state] : mailboxes_) {
        if (state.open) {
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
