#pragma once

#include "output/MailboxScanner.h"
#include "platform/FileDescriptor.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace marrowgate {

class MailboxWriter;

// Records of a mailbox that are the start of a message's record, cut short:
// a run killed while writing a record, the next run's records after it. The
// line ends the next run put after it make it end with an empty line, as a
// whole record does, so only its bytes tell it from another program's mail.
class CutCopies {
public:
    // For the mailbox at `path`; `writer` makes the records of its messages.
    CutCopies(std::string path, MailboxWriter& writer);
    CutCopies(const CutCopies&) = delete;
    CutCopies& operator=(const CutCopies&) = delete;

    // The message at `source` goes to this mailbox; `startKey` is the
    // MailboxTail::StartKey() of its record.
    void Add(const std::string& source, std::optional<std::uint64_t> startKey);
    // The message whose record `record` (one no message took) is the start
    // of, less the line ends at its end; none when it is no such record.
    std::optional<std::string> StartOf(const MailboxScanner::Record& record);

private:
    bool IsStartOf(const MailboxScanner::Record& record, const std::string& source);

    std::string path_;
    MailboxWriter& writer_;
    FileDescriptor fd_; // opened at the first record asked about
    std::unordered_multimap<std::uint64_t, std::string> byStartKey_;
};

} // namespace marrowgate
