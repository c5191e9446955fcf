#pragma once

#include "marrowgate/OutputTarget.h"
#include "marrowgate/Yield.h"
#include "record/ContentHash.h"
#include "record/RecordEncoder.h"
#include "record/RecordOutput.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace marrowgate {

class MailboxEvents;
class MailboxFile;
class OutputTree;
class MessageInput;

struct AppendStats {
    std::uint64_t bytesRead = 0;    // size of the message file
    std::uint64_t bytesWritten = 0; // size of the record appended
    bool createdMailbox = false;    // the mailbox file did not exist before
    bool fieldsAdded = false;       // X-Marrowgate- fields were put above the message
    bool empty = false;             // only white space or nothing: no record written
    bool found = false;             // its mailbox holds it already (by content): not written
};

// Appends one mbox record for the message file at `messagePath` to the mailbox
// file at `mailboxPath` (created when missing; its folder must exist).
//
// The record is the From_ line ("From <sender> <date>"), the message's lines
// and one empty line, every line ended by CR LF (CR LF, lone CR and lone LF all
// end a line in the message). An mbox envelope line at the top of the message
// file is dropped, the first line loses its leading spaces, and lines that
// begin with "From " after any number of ">" gain one more ">" (mboxrd).
//
// A message file that holds nothing but white space is not a message: no
// record is written and the result says `empty`.
//
// The message file is read once and streamed, so memory does not grow with
// the message's size. Throws ConversionError naming the file and the reason;
// the mailbox file is then exactly as long as before the call.
//
// `yield` is called three times before the message is opened, once after its
// sender and date are taken, once after it is opened, and twice after the
// record is whole and the message file closed: never while a record is being
// written.
AppendStats AppendMessageToMailbox(const std::string& messagePath, const std::string& mailboxPath,
                                   const YieldFn& yield = {});

// Appends records as AppendMessageToMailbox() does, over a run of messages.
// The mailbox last written stays open for the next message bound for it (the
// messages of a folder come one after another), which spares an open and a
// close per message; it is closed when the next message goes elsewhere, by
// Close(), or when the writer goes away. The read and record buffers are kept
// too. Records are whole before Append() returns, so a run that ends at any
// point between two calls leaves whole records only.
//
// The target sets the records' line ends and whether a message that does not
// start with two header fields gets X-Marrowgate- fields above it (see
// FieldLinesMissing()).
class MailboxWriter {
public:
    // With a tree, mailboxes are opened in its folders, never through a link
    // below its root; without one, each mailbox's folder must exist.
    explicit MailboxWriter(const OutputTarget& target = OutputTarget(), OutputTree* tree = nullptr);
    ~MailboxWriter();
    MailboxWriter(const MailboxWriter&) = delete;
    MailboxWriter& operator=(const MailboxWriter&) = delete;

    AppendStats Append(const std::string& messagePath, const std::string& mailboxPath,
                       const YieldFn& yield = {});
    // The same for a message file another opened (read ahead): `messagePath`
    // only names it.
    AppendStats Append(MessageInput& message, const std::string& messagePath,
                       const std::string& mailboxPath, const YieldFn& yield = {});
    // Makes the record Append() would write for the message and hands it to
    // `sink` in pieces, in order, without writing anything; `hash`, when
    // given, receives its content hash, and `bytesRead` the bytes read of the
    // file. False for a message file with nothing to convert (white space
    // only). Throws ConversionError when the file cannot be read.
    bool EncodeRecord(const std::string& messagePath,
                      const std::function<void(std::string_view)>& sink,
                      ContentHash* hash = nullptr, std::uint64_t* bytesRead = nullptr);
    // The first bytes of the record Append() would write for the message, at
    // most `limit`; `whole` when they are all of it. None for a message file
    // with nothing to convert. Throws ConversionError when it cannot be read.
    std::optional<std::string> RecordStart(const std::string& messagePath, std::size_t limit,
                                           bool& whole);
    // Closes the open mailbox, or hands it to the events' Closing(). Throws
    // ConversionError when the close reports an error.
    void Close();

    // Told of every mailbox opened, record written and mailbox closed; not
    // owned. Null: nobody is told.
    void SetEvents(MailboxEvents* events) { events_ = events; }
    // Asked between chunks of a message; true takes the record in hand back
    // and throws RunInterrupted.
    void SetInterruption(std::function<bool()> interrupted) {
        interrupted_ = std::move(interrupted);
    }

private:
    MailboxFile& MailboxFor(const std::string& mailboxPath, bool& created);
    AppendStats AppendOpened(MessageInput& message, const std::string& messagePath,
                             const std::string& mailboxPath, const YieldFn& yield);

    // Puts the record's start together: the From_ line and the message's
    // start, with the fields it needs above it when the target asks for them.
    void BeginRecord(const std::string& messagePath, const std::string& fromLine,
                     std::string_view start, bool whole, AppendStats& stats);
    bool BeginFileRecord(MessageInput& message, const std::string& messagePath, bool& whole,
                         AppendStats& stats);
    // Encodes the message from after its start to its end, handing the record
    // to `flush` whenever it must go out and once at the end.
    // `flush` is told whether it is the record's last.
    void EncodeRest(MessageInput& message, bool whole, AppendStats& stats,
                    const std::function<void(bool last)>& flush);
    // Writes out the record in hand, unless, as its last part, it makes the
    // record of a message the mailbox holds already: then false, the record
    // taken back.
    bool WriteOut(MailboxFile& mailbox, bool last);
    // Whether the message whose record's start is in hand, larger than that,
    // is in the mailbox already (read through to know); then `stats` say so.
    bool HeldAlready(MailboxFile& mailbox, const std::string& messagePath, AppendStats& stats);
    void CloseAfterFailure();

    OutputTarget target_;
    OutputTree* tree_;
    std::unique_ptr<MailboxFile> mailbox_;
    std::unique_ptr<char[]> chunk_;
    RecordOutput record_;
    RecordEncoder encoder_;
    RecordHasher hasher_;
    MailboxEvents* events_ = nullptr;
    std::function<bool()> interrupted_;
};

} // namespace marrowgate
