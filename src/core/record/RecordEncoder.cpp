#include "record/RecordEncoder.h"

#include "message/HeaderBlock.h"
#include "message/LineEndScanner.h"

namespace marrowgate {
namespace {

constexpr std::string_view kFrom = "From ";
constexpr std::string_view kCrLf = "\r\n";

bool IsLineEnd(char byte) {
    return byte == '\r' || byte == '\n';
}

} // namespace

RecordEncoder::RecordEncoder(LineEnding ending, Framing framing)
    : ending_(ending), framing_(framing) {}

// Spelt out and inlined: the encoder's loop calls it for every line it mends.
inline __attribute__((always_inline)) void RecordEncoder::AppendLineEnd(RecordOutput& out) const {
    if (ending_ == LineEnding::CrLf) {
        out.append(kCrLf);
    } else {
        out.push_back('\n');
    }
}

void RecordEncoder::Feed(std::string_view in, RecordOutput& out) {
    std::size_t i = 0;
    while (i < in.size()) {
        if (skipLineFeed_) {
            skipLineFeed_ = false;
            if (in[i] == '\n') {
                ++i;
                continue;
            }
        }
        if (state_ == State::Body) {
            CopyBody(in, i, out);
        } else {
            Step(in[i++], out);
        }
    }
}

void RecordEncoder::CopyBody(std::string_view in, std::size_t& i, RecordOutput& out) {
    if (ending_ == LineEnding::CrLf) {
        CopyBodyAs<LineEnding::CrLf>(in, i, out);
    } else {
        CopyBodyAs<LineEnding::Lf>(in, i, out);
    }
}

// Written once for each line ending, so that neither pays for the other's
// tests in the loop.
template <LineEnding kEnding>
void RecordEncoder::CopyBodyAs(std::string_view in, std::size_t& i, RecordOutput& out) {
    // Lines that already end as the record wants and do not begin with "F" or
    // ">" pass unchanged, so a run of them is copied in one piece.
    std::size_t runStart = i;
    // After a line that had to be mended, the next one most likely must be too
    // (a file whose line ends differ from the record's throughout): the wide
    // scan is not tried. Nor is it before the first empty line, which must be
    // seen (the header fields are short).
    bool lastLineMended = false;
    while (true) {
        const bool tryWide = !lastLineMended && sawEmptyLine_;
        const std::size_t plainEnd = tryWide ? LineEndScanner::PlainLinesEnd(in, i, kEnding) : i;
        lastLineMended = false;
        if (plainEnd > i) {
            i = plainEnd;
        } else if (const std::size_t crLfEnd = kEnding == LineEnding::Lf && tryWide
                                                   ? LineEndScanner::PlainLinesEnd(in, i)
                                                   : i;
                   crLfEnd > i) {
            // Lines ended by CR LF (a Windows store's) into an LF record: one
            // copy, less the CRs.
            out.PassThrough(in.substr(runStart, i - runStart));
            AppendWithoutCrs(in.substr(i, crLfEnd - i), out);
            i = runStart = crLfEnd;
        } else {
            // One line the wide scan could not vouch for.
            const std::size_t end = LineEndScanner::Next(in, i);
            if (end == in.size()) {
                lineHasBytes_ = lineHasBytes_ || end > i;
                out.PassThrough(in.substr(runStart, end - runStart));
                i = end;
                return;
            }
            sawEmptyLine_ = sawEmptyLine_ || (end == i && !lineHasBytes_);
            i = end + 1;
            const bool crLf = in[end] == '\r' && i < in.size() && in[i] == '\n';
            if (crLf) {
                ++i;
            }
            if (kEnding == LineEnding::CrLf ? !crLf : in[end] != '\n') {
                out.PassThrough(in.substr(runStart, end - runStart));
                AppendLineEnd(out);
                runStart = i;
                // CR LF into LF: the wide scan for those lines may well serve next.
                lastLineMended = kEnding == LineEnding::CrLf || !crLf;
                // A CR at the end of the piece: the next piece may begin with its LF.
                skipLineFeed_ = !crLf && in[end] == '\r' && i == in.size();
            }
        }
        lineHasBytes_ = false;
        if (i == in.size() || in[i] == 'F' || in[i] == '>') {
            // The next line may need quoting: the state machine takes its start.
            out.PassThrough(in.substr(runStart, i - runStart));
            state_ = State::Prefix;
            return;
        }
    }
}

// `lines` are whole lines, each ended by CR LF.
void RecordEncoder::AppendWithoutCrs(std::string_view lines, RecordOutput& out) {
    const std::size_t room = lines.size() + LineEndScanner::kCopySlack;
    char* to = out.Grow(room);
    out.Shrink(room - LineEndScanner::CopyWithoutCrs(lines, to));
}

void RecordEncoder::Finish(RecordOutput& out) {
    if (state_ == State::Envelope) {
        EndEnvelopeCandidate(out);
    }
    if (lineHasBytes_) {
        FlushPrefix(out);
        AppendLineEnd(out);
    }
    if (framing_ == Framing::MboxRecord) {
        if (state_ != State::Top && !sawEmptyLine_) {
            AppendLineEnd(out);
        }
        AppendLineEnd(out);
    }
    *this = RecordEncoder(ending_, framing_);
}

void RecordEncoder::Step(char byte, RecordOutput& out) {
    if (IsLineEnd(byte)) {
        if (state_ == State::Envelope) {
            EndEnvelopeCandidate(out);
        }
        if (state_ != State::Top) {
            EndLine(byte, out);
        }
        return;
    }
    switch (state_) {
    case State::Top:
        if (byte == ' ' || byte == '\t') {
            return;
        }
        if (byte == 'F' && !envelopeChecked_) {
            held_.assign(1, byte);
            state_ = State::Envelope;
            return;
        }
        envelopeChecked_ = true;
        state_ = State::Prefix;
        Step(byte, out);
        return;
    case State::Envelope:
        held_.push_back(byte);
        if ((held_.size() <= kFrom.size() && byte != kFrom[held_.size() - 1]) ||
            held_.size() > HeaderBlock::kLongestEnvelopeLine) {
            ReplayHeldBytes(out);
        }
        return;
    case State::Prefix:
        lineHasBytes_ = true;
        if (matched_ == 0 && byte == '>') {
            ++quoteDepth_;
            return;
        }
        if (byte == kFrom[matched_]) {
            if (++matched_ == kFrom.size()) {
                if (framing_ == Framing::MboxRecord) {
                    out.push_back('>');
                }
                FlushPrefix(out);
                state_ = State::Body;
            }
            return;
        }
        FlushPrefix(out);
        state_ = State::Body;
        out.push_back(byte);
        return;
    case State::Body:
        lineHasBytes_ = true;
        out.push_back(byte);
        return;
    }
}

void RecordEncoder::EndLine(char lineEnd, RecordOutput& out) {
    sawEmptyLine_ = sawEmptyLine_ || !lineHasBytes_;
    FlushPrefix(out);
    AppendLineEnd(out);
    state_ = State::Prefix;
    skipLineFeed_ = lineEnd == '\r';
    lineHasBytes_ = false;
}

// The first line has ended: an envelope line goes, anything else is the
// message's first line.
void RecordEncoder::EndEnvelopeCandidate(RecordOutput& out) {
    if (HeaderBlock::IsEnvelopeLine(held_)) {
        held_.clear();
        envelopeChecked_ = true;
        state_ = State::Top;
    } else {
        ReplayHeldBytes(out);
    }
}

// The bytes held at the top turned out to be the message's first line, so they
// go through a line's handling.
void RecordEncoder::ReplayHeldBytes(RecordOutput& out) {
    const std::string held = std::move(held_);
    held_.clear();
    envelopeChecked_ = true;
    state_ = State::Prefix;
    for (const char byte : held) {
        Step(byte, out);
    }
}

void RecordEncoder::FlushPrefix(RecordOutput& out) {
    if (state_ != State::Prefix) {
        return;
    }
    out.append(quoteDepth_, '>');
    out.append(kFrom.substr(0, matched_));
    quoteDepth_ = 0;
    matched_ = 0;
}

} // namespace marrowgate
