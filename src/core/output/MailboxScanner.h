#pragma once

#include "record/ContentHash.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace marrowgate {

// Splits part of an mbox mailbox into records as mail programs read it,
// without any other knowledge of it: a record begins at a line that starts
// with "From " at the start of the part or after an empty line, and ends
// where the next one begins. Records of this program hold no other such
// line (they are quoted), so every mbox reader splits them alike. Reads a
// chunk at a time: memory does not grow with the mailbox.
class MailboxScanner {
public:
    struct Record {
        std::uint64_t begin = 0; // its From_ line; for `leading`, the part's start
        std::uint64_t end = 0;
        ContentHash hash;     // of the bytes after its first line
        std::string fromLine; // its first line, line end left off (at most 1 KiB)
        // The record ends with an empty line, as every record written whole
        // does; one that does not was cut short (or is no record of ours).
        bool endsWithEmptyLine = false;
        // Bytes before the part's first From_ line: no record.
        bool leading = false;
    };
    using Each = std::function<void(const Record&)>;

    // Calls `each` for every record of bytes [from, to) of the open file `fd`,
    // in order, `from` being taken as the start of a line after an empty one
    // (a record's start, or the file's). Returns false (errno set) when the
    // file cannot be read; the part was then shorter than `to`, which is
    // normal at the file's end: `to` may lie past it.
    static bool Scan(int fd, std::uint64_t from, std::uint64_t to, const Each& each);

    MailboxScanner(std::uint64_t from, Each each);
    // The part's bytes, in order.
    void Feed(std::string_view bytes);
    // The part ends here.
    void Finish();

private:
    void Take(std::string_view bytes);
    void LineEnded(bool empty);
    void Decide();
    void StartRecord();

    Each each_;
    std::uint64_t offset_; // of the next byte fed
    std::uint64_t lineBegin_ = 0;
    std::string head_; // the first bytes of the line, until it is known to start a record
    bool atLineStart_ = true;
    bool deciding_ = false;     // a line's start is being gathered in head_
    bool previousEmpty_ = true; // the line before was empty, or there was none
    bool lastLineEmpty_ = false;
    bool inFirstLine_ = false;
    Record record_;
    RecordHasher hasher_;
};

} // namespace marrowgate
