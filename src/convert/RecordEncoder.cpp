#include "convert/RecordEncoder.h"

#include <cstring>

namespace marrowgate {
namespace {

constexpr std::string_view kFrom = "From ";
constexpr std::string_view kCrLf = "\r\n";

bool IsLineEnd(char byte) {
    return byte == '\r' || byte == '\n';
}

// Position of the next CR or LF at or after `from`, or `text.size()`.
class LineEndFinder {
public:
    explicit LineEndFinder(std::string_view text) : text_(text) {}

    std::size_t Next(std::size_t from) {
        if (!primed_ || cr_ < from) {
            cr_ = Find('\r', from);
        }
        if (!primed_ || lf_ < from) {
            lf_ = Find('\n', from);
        }
        primed_ = true;
        return cr_ < lf_ ? cr_ : lf_;
    }

private:
    std::size_t Find(char byte, std::size_t from) const {
        const void* hit = std::memchr(text_.data() + from, byte, text_.size() - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data())
                   : text_.size();
    }

    std::string_view text_;
    std::size_t cr_ = 0;
    std::size_t lf_ = 0;
    bool primed_ = false;
};

} // namespace

void RecordEncoder::Feed(std::string_view in, std::string& out) {
    LineEndFinder finder(in);
    std::size_t i = 0;
    while (i < in.size()) {
        if (skipLineFeed_) {
            skipLineFeed_ = false;
            if (in[i] == '\n') {
                ++i;
                continue;
            }
        }
        if (state_ != State::Body) {
            Step(in[i++], out);
            continue;
        }
        const std::size_t end = finder.Next(i);
        if (end > i) {
            out.append(in.data() + i, end - i);
            lineHasBytes_ = true;
        }
        i = end;
        if (i < in.size()) {
            EndLine(in[i++], out);
        }
    }
}

void RecordEncoder::Finish(std::string& out) {
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

void RecordEncoder::Step(char byte, std::string& out) {
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

void RecordEncoder::EndLine(char lineEnd, std::string& out) {
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
void RecordEncoder::ReplayHeldBytes(std::string& out) {
    const std::string held = std::move(held_);
    held_.clear();
    state_ = State::Trim;
    for (const char byte : held) {
        Step(byte, out);
    }
}

void RecordEncoder::FlushPrefix(std::string& out) {
    if (state_ != State::Prefix) {
        return;
    }
    out.append(quoteDepth_, '>');
    out.append(kFrom.substr(0, matched_));
    quoteDepth_ = 0;
    matched_ = 0;
}

} // namespace marrowgate
