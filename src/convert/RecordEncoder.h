#pragma once

#include "convert/RecordOutput.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace marrowgate {

// Turns the bytes of a message file, fed in pieces of any size, into the body
// of an mbox record: every line ended by CR LF (CR LF, a lone CR and a lone LF
// each end a line), an envelope line ("From ...") at the very top dropped, the
// first line's leading spaces dropped, ">"-quoting added to lines that would
// read as a record separator ("From ", ">From ", ">>From " ...), and one empty
// line to close the record. Holds at most a few bytes between calls.
class RecordEncoder {
public:
    // Appends to `out` what `in` gives.
    void Feed(std::string_view in, RecordOutput& out);
    // Ends the last line if it has no line end and adds the closing empty line.
    void Finish(RecordOutput& out);

private:
    enum class State { Envelope, EnvelopeCheck, SkipEnvelope, Trim, Prefix, Body };

    // Copies body lines from `in` at `i` on, up to the end of `in` or to the
    // start of a line that may need quoting.
    void CopyBody(std::string_view in, std::size_t& i, RecordOutput& out);
    void Step(char byte, RecordOutput& out);
    void EndLine(char lineEnd, RecordOutput& out);
    void ReplayHeldBytes(RecordOutput& out);
    void FlushPrefix(RecordOutput& out);

    State state_ = State::Envelope;
    std::string held_;           // "From " and blanks at the top, until they are understood
    std::size_t matched_ = 0;    // bytes of "From " matched at the line's start
    std::size_t quoteDepth_ = 0; // ">" seen at the line's start
    bool skipLineFeed_ = false;  // the last byte was a CR
    bool lineHasBytes_ = false;  // the current line has taken any byte
};

} // namespace marrowgate
