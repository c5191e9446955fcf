#pragma once

#include "marrowgate/LineEnding.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace marrowgate {

class MessageInput;

// A message as a mail store keeps it, one message per file or upload (a
// Maildir file, an IMAP APPEND): its bytes as the record rules make them
// (the same start, the same line ends), but with no From_ line, no quoting
// and no closing empty line; and the date its From_ line would carry.
struct BareMessage {
    std::string bytes;
    std::chrono::sys_seconds date{};
    std::uint64_t bytesRead = 0; // the size of the message file
    bool empty = false;          // white space only: no message

    // Reads `message` whole with `ending` line ends. `interrupted` is asked
    // between chunks; true throws RunInterrupted. Throws ConversionError when
    // the file cannot be read.
    static BareMessage Read(MessageInput& message, LineEnding ending,
                            const std::function<bool()>& interrupted = {});
};

} // namespace marrowgate
