#include "convert/RecordEncoder.h"

#include "convert/LineEndScanner.h"

namespace marrowgate {
namespace {

constexpr std::string_view kFrom = "From ";
constexpr std::string_view kCrLf = "\r\n";

bool IsLineEnd(char byte) {
    return byte == '\r' || byte == '\n';
}

} // namespace

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
    // Lines that are already ended by CR LF and do not begin with "F" or ">"
    // pass unchanged, so a run of them is copied in one piece.
    std::size_t runStart = i;
    // After a line that had to be mended, the next one most likely must be too
    // (a file ended by LF or CR alone throughout): the wide scan is not tried.
    bool lastLineMended = false;
    while (true) {
        const std::size_t plainEnd = lastLineMended ? i : LineEndScanner::PlainLinesEnd(in, i);
        lastLineMended = false;
        if (plainEnd > i) {
            i = plainEnd;
        } else {
            // One line the wide scan could not vouch for.
            const std::size_t end = LineEndScanner::Next(in, i);
            if (end == in.size()) {
                lineHasBytes_ = lineHasBytes_ || end > i;
                out.PassThrough(in.substr(runStart, end - runStart));
                i = end;
                return;
            }
            i = end + 1;
            if (in[end] == '\r' && i < in.size() && in[i] == '\n') {
                ++i;
            } else {
                out.PassThrough(in.substr(runStart, end - runStart));
                out.append(kCrLf);
                runStart = i;
                lastLineMended = true;
                // A CR at the end of the piece: the next piece may begin with its LF.
                skipLineFeed_ = in[end] == '\r' && i == in.size();
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

void RecordEncoder::Finish(RecordOutput& out) {
    if (state_ == State::Envelope) {
        ReplayHeldBytes(out);
    }
    if (state_ != State::SkipEnvelope && state_ != State::EnvelopeCheck && lineHasBytes_) {
        FlushPrefix(out);
        out.append(kCrLf);
    }
    out.append(kCrLf);
    *this = RecordEncoder();
}

void RecordEncoder::Step(char byte, RecordOutput& out) {
    if (IsLineEnd(byte)) {
        if (state_ == State::Envelope) {
            ReplayHeldBytes(out);
        } else if (state_ == State::EnvelopeCheck) {
            held_.clear();
            state_ = State::SkipEnvelope;
        }
        EndLine(byte, out);
        return;
    }
    switch (state_) {
    case State::Envelope:
        if (byte == kFrom[held_.size()]) {
            held_.push_back(byte);
            if (held_.size() == kFrom.size()) {
                state_ = State::EnvelopeCheck;
            }
            return;
        }
        ReplayHeldBytes(out);
        Step(byte, out);
        return;
    case State::EnvelopeCheck:
        // "From  : x" is an old form of the From field, not an envelope line.
        if (byte == ' ' || byte == '\t') {
            held_.push_back(byte);
            return;
        }
        if (byte == ':') {
            ReplayHeldBytes(out);
            Step(byte, out);
            return;
        }
        held_.clear();
        state_ = State::SkipEnvelope;
        return;
    case State::SkipEnvelope:
        return;
    case State::Trim:
        lineHasBytes_ = true;
        if (byte != ' ') {
            state_ = State::Prefix;
            Step(byte, out);
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
                out.push_back('>');
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
    if (state_ != State::SkipEnvelope) {
        FlushPrefix(out);
        out.append(kCrLf);
        state_ = State::Prefix;
    } else {
        state_ = State::Trim;
    }
    skipLineFeed_ = lineEnd == '\r';
    lineHasBytes_ = false;
}

// The bytes held at the top turned out to belong to the first line, so they go
// through the first line's handling.
void RecordEncoder::ReplayHeldBytes(RecordOutput& out) {
    const std::string held = std::move(held_);
    held_.clear();
    state_ = State::Trim;
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
