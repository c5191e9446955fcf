#include "output/MailboxWriter.h"

#include "marrowgate/ConversionError.h"
#include "message/MailMessageObject.h"
#include "message/MessageFile.h"
#include "message/MessageFileInput.h"
#include "output/MailboxEvents.h"
#include "output/MailboxFile.h"
#include "output/RunInterrupted.h"
#include "record/AddedFields.h"
#include "record/FromLine.h"
#include "record/RecordEncoder.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace marrowgate {
namespace {

// Calls `undo` when the scope it lives in is left by an exception, and only
// then.
template <typename Undo> class UndoOnFailure {
public:
    explicit UndoOnFailure(Undo undo) : undo_(std::move(undo)) {}
    ~UndoOnFailure() {
        if (std::uncaught_exceptions() > exceptions_) {
            undo_();
        }
    }
    UndoOnFailure(const UndoOnFailure&) = delete;
    UndoOnFailure& operator=(const UndoOnFailure&) = delete;

private:
    Undo undo_;
    int exceptions_ = std::uncaught_exceptions();
};

constexpr std::size_t kReadChunk = 1024 * 1024;
constexpr std::size_t kWriteThreshold = 1024 * 1024;
// How much of a message's start the header field test looks at; the readers
// that apply it look at no more.
constexpr std::size_t kFieldTestWindow = 8192;

std::string FirstBytes(RecordOutput& record, std::size_t from, std::size_t count) {
    std::string bytes;
    for (std::string_view piece : record.Pieces()) {
        const std::size_t skip = std::min(from, piece.size());
        from -= skip;
        piece.remove_prefix(skip);
        bytes.append(piece.substr(0, count - bytes.size()));
        if (bytes.size() == count) {
            break;
        }
    }
    return bytes;
}

bool OnlyWhiteSpace(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    });
}

// The From_ line of the message that `start` begins.
std::string FromLineOf(std::string_view start, const MessageInput& message) {
    MailMessageObject mail;
    mail.LoadFromBytes(start, message.ModificationTime());
    return FormatFromLine(mail.Sender(), mail.MessageDate());
}

} // namespace

AppendStats AppendMessageToMailbox(const std::string& messagePath, const std::string& mailboxPath,
                                   const YieldFn& yield) {
    MailboxWriter writer;
    const AppendStats stats = writer.Append(messagePath, mailboxPath, yield);
    writer.Close();
    return stats;
}

// The buffer takes a message's start, then its later chunks. Uninitialised:
// clearing it would cost as much as reading into it, and only the pages a
// message reaches are ever touched. A record is written out once it passes the
// threshold, so it never holds much more than a threshold and a start.
MailboxWriter::MailboxWriter(const OutputTarget& target, OutputTree* tree)
    : target_(target), tree_(tree),
      chunk_(std::make_unique_for_overwrite<char[]>(MessageFile::kStartLimit)) {
    record_.Reserve(kWriteThreshold + 2 * kReadChunk + 1024);
}

MailboxWriter::~MailboxWriter() = default;

void MailboxWriter::Close() {
    std::unique_ptr<MailboxFile> mailbox = std::move(mailbox_);
    if (!mailbox) {
        return;
    }
    mailbox->TakeBack();
    if (events_ && mailbox->IsOpen()) {
        events_->Closing(std::move(mailbox));
        return;
    }
    mailbox->Close();
}

MailboxFile& MailboxWriter::MailboxFor(const std::string& mailboxPath, bool& created) {
    if (mailbox_ && (mailbox_->Path() != mailboxPath || !mailbox_->StillLinked())) {
        Close();
    }
    created = false;
    if (!mailbox_) {
        if (events_) {
            events_->AboutToOpen(mailboxPath);
        }
        mailbox_ = tree_ ? std::make_unique<MailboxFile>(mailboxPath, *tree_)
                         : std::make_unique<MailboxFile>(mailboxPath);
        created = mailbox_->Created();
        if (events_) {
            events_->Opened(*mailbox_);
        }
    }
    return *mailbox_;
}

AppendStats MailboxWriter::Append(const std::string& messagePath, const std::string& mailboxPath,
                                  const YieldFn& yield) {
    for (int i = 0; i < 3; ++i) {
        CallYield(yield);
    }
    std::unique_ptr<MessageFileInput> message;
    {
        const UndoOnFailure closing([this] { CloseAfterFailure(); });
        message = std::make_unique<MessageFileInput>(messagePath, chunk_.get(), kReadChunk);
    }
    return AppendOpened(*message, messagePath, mailboxPath, yield);
}

AppendStats MailboxWriter::Append(MessageInput& message, const std::string& messagePath,
                                  const std::string& mailboxPath, const YieldFn& yield) {
    for (int i = 0; i < 3; ++i) {
        CallYield(yield);
    }
    return AppendOpened(message, messagePath, mailboxPath, yield);
}

AppendStats MailboxWriter::AppendOpened(MessageInput& message, const std::string& messagePath,
                                        const std::string& mailboxPath, const YieldFn& yield) {
    AppendStats stats;
    {
        const UndoOnFailure closing([this] { CloseAfterFailure(); });
        // The file is read once: its start serves both the From_ line and the record.
        const std::string_view start = message.Start();
        if (message.AtEnd() && OnlyWhiteSpace(start)) {
            stats.bytesRead = start.size();
            stats.empty = true;
            return stats;
        }
        const std::string fromLine = FromLineOf(start, message);
        CallYield(yield);
        CallYield(yield);

        stats.bytesRead = start.size();
        MailboxFile& mailbox = MailboxFor(mailboxPath, stats.createdMailbox);
        if (message.Identity() == mailbox.Identity()) {
            throw ConversionError("Cannot convert message file " + messagePath +
                                  ": it is the mailbox file being written");
        }
        const bool whole = message.AtEnd();
        BeginRecord(messagePath, fromLine, start, whole, stats);
        if (!whole && HeldAlready(mailbox, messagePath, stats)) {
            return stats;
        }
        EncodeRest(message, whole, stats,
                   [&](bool last) { stats.found = !WriteOut(mailbox, last) || stats.found; });
        if (stats.found) {
            return stats;
        }
        stats.bytesWritten = mailbox.RecordBytes();
        if (events_) {
            events_->Written(mailbox, mailbox.RecordBegin(), mailbox.End(), hasher_.Digest());
        }
        mailbox.EndRecord();
    }
    // The record is whole and the message closed: only now may the window run
    // its events.
    CallYield(yield);
    CallYield(yield);
    return stats;
}

// Takes back a record cut short by a read error before it is reported, and
// closes the mailbox, whole records only, as any other close.
void MailboxWriter::CloseAfterFailure() {
    try {
        Close();
    } catch (const std::exception&) {
        mailbox_.reset(); // the error that brought us here is the one reported
    }
}

// A record larger than is held at once goes out before its content is
// known. When its mailbox may hold it already, the message is read through
// first: a run killed while writing a copy of it would leave that copy cut
// short, and the next run could not tell it from another message.
bool MailboxWriter::HeldAlready(MailboxFile& mailbox, const std::string& messagePath,
                                AppendStats& stats) {
    if (events_ == nullptr || !events_->MayHoldStartOf(mailbox, record_.Pieces())) {
        return false;
    }
    MailboxWriter reading(target_, nullptr);
    ContentHash hash;
    std::uint64_t bytesRead = 0;
    if (!reading.EncodeRecord(
            messagePath, [](std::string_view) {}, &hash, &bytesRead) ||
        !events_->AlreadyHolds(mailbox, hash)) {
        return false;
    }
    stats.bytesRead = bytesRead;
    stats.found = true;
    return true;
}

// Reads the message's start and puts the record's start together from it;
// false for a message with nothing to convert.
bool MailboxWriter::BeginFileRecord(MessageInput& message, const std::string& messagePath,
                                    bool& whole, AppendStats& stats) {
    const std::string_view start = message.Start();
    if (message.AtEnd() && OnlyWhiteSpace(start)) {
        return false;
    }
    whole = message.AtEnd();
    stats.bytesRead = start.size();
    BeginRecord(messagePath, FromLineOf(start, message), start, whole, stats);
    return true;
}

bool MailboxWriter::EncodeRecord(const std::string& messagePath,
                                 const std::function<void(std::string_view)>& sink,
                                 ContentHash* hash, std::uint64_t* bytesRead) {
    MessageFileInput message(messagePath, chunk_.get(), kReadChunk);
    AppendStats stats;
    bool whole = false;
    if (!BeginFileRecord(message, messagePath, whole, stats)) {
        return false;
    }
    EncodeRest(message, whole, stats, [&](bool) {
        for (const std::string_view piece : record_.Pieces()) {
            hasher_.Feed(piece);
            sink(piece);
        }
        record_.Clear();
    });
    if (hash != nullptr) {
        *hash = hasher_.Digest();
    }
    if (bytesRead != nullptr) {
        *bytesRead = stats.bytesRead;
    }
    return true;
}

std::optional<std::string> MailboxWriter::RecordStart(const std::string& messagePath,
                                                      std::size_t limit, bool& whole) {
    MessageFileInput message(messagePath, chunk_.get(), kReadChunk);
    AppendStats stats;
    if (!BeginFileRecord(message, messagePath, whole, stats)) {
        return std::nullopt;
    }
    std::string bytes;
    for (const std::string_view piece : record_.Pieces()) {
        whole = whole && bytes.size() + piece.size() <= limit;
        bytes.append(piece.substr(0, limit - bytes.size()));
    }
    record_.Clear();
    return bytes;
}

void MailboxWriter::EncodeRest(MessageInput& message, bool whole, AppendStats& stats,
                               const std::function<void(bool last)>& flush) {
    while (!message.AtEnd()) {
        // The record may point into the bytes in hand: it goes out before the next.
        if (record_.PointsIntoInput() || record_.size() >= kWriteThreshold) {
            flush(false);
        }
        if (interrupted_ && interrupted_()) {
            throw RunInterrupted();
        }
        const std::string_view bytes = message.Next();
        if (bytes.empty()) {
            break;
        }
        stats.bytesRead += bytes.size();
        encoder_.Feed(bytes, record_);
    }
    if (!whole) {
        encoder_.Finish(record_);
    }
    flush(true);
}

void MailboxWriter::BeginRecord(const std::string& messagePath, const std::string& fromLine,
                                std::string_view start, bool whole, AppendStats& stats) {
    const LineEnding ending = target_.LineEnd();
    const std::string_view lineEnd = ending == LineEnding::CrLf ? "\r\n" : "\n";
    const auto begin = [&](int missingFields) {
        record_.Clear();
        hasher_.Reset();
        record_.append(fromLine);
        record_.append(lineEnd);
        if (missingFields > 0) {
            record_.append(MarkerFields(missingFields, messagePath, ending));
        }
        encoder_ = RecordEncoder(ending);
        encoder_.Feed(start, record_);
        if (whole) {
            encoder_.Finish(record_);
        }
    };
    begin(0);
    if (!target_.NeedsFieldsAtStart()) {
        return;
    }
    const int missing = FieldLinesMissing(
        FirstBytes(record_, fromLine.size() + lineEnd.size(), kFieldTestWindow), whole);
    if (missing > 0) {
        begin(missing);
        stats.fieldsAdded = true;
    }
}

// The record of a small message is whole in hand at its only write, so a
// message its mailbox holds already costs no write; a larger one is taken back.
bool MailboxWriter::WriteOut(MailboxFile& mailbox, bool last) {
    const std::vector<std::string_view>& pieces = record_.Pieces();
    for (const std::string_view piece : pieces) {
        hasher_.Feed(piece);
    }
    if (last && events_ && events_->AlreadyHolds(mailbox, hasher_.Digest())) {
        record_.Clear();
        mailbox.TakeBack();
        return false;
    }
    if (events_ && mailbox.RecordBytes() == 0) {
        events_->Beginning(mailbox, pieces, last);
    }
    mailbox.Write(pieces);
    record_.Clear();
    return true;
}

} // namespace marrowgate
