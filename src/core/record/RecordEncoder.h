#pragma once

#include "marrowgate/LineEnding.h"
#include "record/RecordOutput.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace marrowgate {

// Turns the bytes of a message file, fed in pieces of any size, into the body
// of an mbox record:
// - every line ended by `ending` (CR LF, a lone CR and a lone LF each end a
//   line of the input);
// - the message starts at its first line with anything but spaces and tabs:
//   the blank lines before it and the blanks that start it are dropped;
// - when that line is an mbox envelope line (HeaderBlock::IsEnvelopeLine) it
//   is dropped, and the message starts at the next such line;
// - ">"-quoting added to lines that would read as a record separator
//   ("From ", ">From ", ">>From " ...);
// - a message that has lines but no empty line gets one at its end, so that
//   readers find the end of its header fields inside the record;
// - one empty line closes the record.
// Holds at most the envelope line's length between calls.
//
// As a bare message (Framing::Message: a Maildir file, an IMAP APPEND) the
// start and the line ends are made the same way, but nothing is quoted and
// no empty line is added: the message ends where its last line ends.
class RecordEncoder {
public:
    enum class Framing { MboxRecord, Message };

    explicit RecordEncoder(LineEnding ending = LineEnding::CrLf,
                           Framing framing = Framing::MboxRecord);

    // Appends to `out` what `in` gives.
    void Feed(std::string_view in, RecordOutput& out);
    // Ends the last line if it has no line end, adds the empty line a message
    // without one needs and the closing empty line. Ready for the next message.
    void Finish(RecordOutput& out);

private:
    // Top: before the message's first line (blanks and line ends dropped);
    // Envelope: in a first line that began with "F", held until it is known
    // to be an envelope line or not; Prefix: at a line's start, where ">"s and
    // "From " are still being matched; Body: in a line's text.
    enum class State { Top, Envelope, Prefix, Body };

    // Copies body lines from `in` at `i` on, up to the end of `in` or to the
    // start of a line that may need quoting.
    void CopyBody(std::string_view in, std::size_t& i, RecordOutput& out);
    template <LineEnding kEnding>
    void CopyBodyAs(std::string_view in, std::size_t& i, RecordOutput& out);
    void Step(char byte, RecordOutput& out);
    void EndLine(char lineEnd, RecordOutput& out);
    void EndEnvelopeCandidate(RecordOutput& out);
    void ReplayHeldBytes(RecordOutput& out);
    void FlushPrefix(RecordOutput& out);
    void AppendLineEnd(RecordOutput& out) const;
    static void AppendWithoutCrs(std::string_view lines, RecordOutput& out);

    LineEnding ending_;
    Framing framing_;
    State state_ = State::Top;
    bool envelopeChecked_ = false; // the first line has been looked at
    std::string held_;             // the first line while it may be an envelope line
    std::size_t matched_ = 0;      // bytes of "From " matched at the line's start
    std::size_t quoteDepth_ = 0;   // ">" seen at the line's start
    bool skipLineFeed_ = false;    // the last byte was a CR
    bool lineHasBytes_ = false;    // the current line has taken any byte
    bool sawEmptyLine_ = false;    // the message has had an empty line
};

} // namespace marrowgate
