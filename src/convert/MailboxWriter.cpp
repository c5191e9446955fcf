#include "convert/MailboxWriter.h"

#include "convert/FromLine.h"
#include "convert/MailMessageObject.h"
#include "convert/MailboxFile.h"
#include "convert/MessageFile.h"
#include "convert/RecordEncoder.h"

namespace marrowgate {
namespace {

constexpr std::size_t kReadChunk = 1024 * 1024;
constexpr std::size_t kWriteThreshold = 1024 * 1024;

} // namespace

AppendStats AppendMessageToMailbox(const std::string& messagePath, const std::string& mailboxPath,
                                   const YieldFn& yield) {
    for (int i = 0; i < 3; ++i) {
        CallYield(yield);
    }

    AppendStats stats;
    {
        // The file is read once: its start serves both the From_ line and the record.
        MessageFile message(messagePath);
        std::string start = message.ReadStart();
        std::string fromLine;
        {
            MailMessageObject mail;
            mail.LoadFromBytes(start, message.ModificationTime());
            fromLine = FormatFromLine(mail.Sender(), mail.MessageDate());
        }
        CallYield(yield);
        CallYield(yield);

        stats.bytesRead = start.size();
        MailboxFile mailbox(mailboxPath);
        std::string out;
        out.reserve(2 * kWriteThreshold + kReadChunk);
        out.append(fromLine).append("\r\n");
        RecordEncoder encoder;
        encoder.Feed(start, out);
        start = std::string(); // the header bytes are done with
        std::string chunk;
        chunk.reserve(kReadChunk);
        for (;;) {
            if (out.size() >= kWriteThreshold) {
                mailbox.Write(out);
                out.clear();
            }
            chunk.clear();
            const std::size_t got = message.ReadInto(chunk, kReadChunk);
            if (got == 0) {
                break;
            }
            stats.bytesRead += got;
            encoder.Feed(chunk, out);
        }
        encoder.Finish(out);
        mailbox.Write(out);
        mailbox.Commit();
        stats.bytesWritten = mailbox.BytesWritten();
        stats.createdMailbox = mailbox.Created();
    }
    // Both files are closed: only now may the window run its events.
    CallYield(yield);
    CallYield(yield);
    return stats;
}

} // namespace marrowgate
