#include "convert/MailboxWriter.h"

#include "convert/FromLine.h"
#include "convert/MailMessageObject.h"
#include "convert/MailboxFile.h"
#include "convert/MessageFile.h"
#include "convert/RecordEncoder.h"

#include <memory>

namespace marrowgate {
namespace {

constexpr std::size_t kReadChunk = 1024 * 1024;
constexpr std::size_t kWriteThreshold = 1024 * 1024;

// The read and record buffers live from one message to the next. Allocated
// afresh for each message, their pages would be mapped, faulted in and
// returned to the system every time, which costs more than the conversion.
struct Buffers {
    // Uninitialised: clearing it would cost as much as reading into it.
    std::unique_ptr<char[]> chunk = std::make_unique_for_overwrite<char[]>(kReadChunk);
    std::string out;
};

Buffers& ReusedBuffers() {
    thread_local Buffers buffers;
    // A record is written out once it passes the threshold, so it never
    // holds much more than a threshold and a chunk.
    buffers.out.reserve(kWriteThreshold + 2 * kReadChunk + 1024);
    return buffers;
}

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
        Buffers& buffers = ReusedBuffers();
        std::string& out = buffers.out;
        out.assign(fromLine).append("\r\n");
        RecordEncoder encoder;
        encoder.Feed(start, out);
        start = std::string(); // the header bytes are done with
        while (const std::size_t got = message.Read(buffers.chunk.get(), kReadChunk)) {
            stats.bytesRead += got;
            encoder.Feed(std::string_view(buffers.chunk.get(), got), out);
            if (out.size() >= kWriteThreshold) {
                mailbox.Write(out);
                out.clear();
            }
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
