#include "convert/MailboxWriter.h"

#include "convert/FromLine.h"
#include "convert/MailMessageObject.h"
#include "convert/MailboxEvents.h"
#include "convert/MailboxFile.h"
#include "convert/MessageFile.h"
#include "convert/RecordEncoder.h"
#include "convert/RunInterrupted.h"

#include <algorithm>

namespace marrowgate {
namespace {

constexpr std::size_t kReadChunk = 1024 * 1024;
constexpr std::size_t kWriteThreshold = 1024 * 1024;

bool OnlyWhiteSpace(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    });
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
MailboxWriter::MailboxWriter()
    : chunk_(std::make_unique_for_overwrite<char[]>(MessageFile::kStartLimit)) {
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
        events_->Closing(*mailbox);
    }
    mailbox->Close();
}

MailboxFile& MailboxWriter::MailboxFor(const std::string& mailboxPath, bool& created) {
    if (mailbox_ && (mailbox_->Path() != mailboxPath || !mailbox_->StillLinked())) {
        Close();
    }
    created = false;
    if (!mailbox_) {
        mailbox_ = std::make_unique<MailboxFile>(mailboxPath);
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

    AppendStats stats;
    try {
        // The file is read once: its start serves both the From_ line and the record.
        MessageFile message(messagePath);
        const std::string_view start(chunk_.get(),
                                     message.ReadStart(chunk_.get(), MessageFile::kStartLimit));
        if (message.AtEnd() && OnlyWhiteSpace(start)) {
            stats.bytesRead = start.size();
            stats.empty = true;
            return stats;
        }
        std::string fromLine;
        {
            MailMessageObject mail;
            mail.LoadFromBytes(start, message.ModificationTime());
            fromLine = FormatFromLine(mail.Sender(), mail.MessageDate());
        }
        CallYield(yield);
        CallYield(yield);

        stats.bytesRead = start.size();
        MailboxFile& mailbox = MailboxFor(mailboxPath, stats.createdMailbox);
        record_.Clear();
        record_.append(fromLine);
        record_.append("\r\n");
        RecordEncoder encoder;
        encoder.Feed(start, record_);
        // The record may point into the buffer: it goes out before the next read.
        const auto writeOut = [&] {
            mailbox.Write(record_.Pieces());
            record_.Clear();
        };
        while (!message.AtEnd()) {
            if (record_.PointsIntoInput() || record_.size() >= kWriteThreshold) {
                writeOut();
            }
            if (interrupted_ && interrupted_()) {
                throw RunInterrupted();
            }
            const std::size_t got = message.Read(chunk_.get(), kReadChunk);
            if (got == 0) {
                break;
            }
            stats.bytesRead += got;
            encoder.Feed(std::string_view(chunk_.get(), got), record_);
        }
        encoder.Finish(record_);
        writeOut();
        stats.bytesWritten = mailbox.RecordBytes();
        if (events_) {
            events_->Written(mailbox, mailbox.RecordStart(), mailbox.End());
        }
        mailbox.EndRecord();
    } catch (...) {
        // Takes back a record cut short by a read error before it is reported,
        // and closes the mailbox, whole records only, as any other close.
        try {
            Close();
        } catch (const std::exception&) {
            mailbox_.reset(); // the error that brought us here is the one reported
        }
        throw;
    }
    // The record is whole and the message closed: only now may the window run
    // its events.
    CallYield(yield);
    CallYield(yield);
    return stats;
}

} // namespace marrowgate
