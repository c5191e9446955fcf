#pragma once

#include "convert/Yield.h"

#include <cstdint>
#include <string>

namespace marrowgate {

struct AppendStats {
    std::uint64_t bytesRead = 0;    // size of the message file
    std::uint64_t bytesWritten = 0; // size of the record appended
    bool createdMailbox = false;    // the mailbox file did not exist before
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
// The message file is read once and streamed, so memory does not grow with
// the message's size. Throws ConversionError naming the file and the reason;
// the mailbox file is then exactly as long as before the call.
//
// `yield` is called three times before the message is opened, once after its
// sender and date are taken, once after it is opened, and twice after both
// files are closed: never while the mailbox file is open.
AppendStats AppendMessageToMailbox(const std::string& messagePath, const std::string& mailboxPath,
                                   const YieldFn& yield = {});

} // namespace marrowgate
