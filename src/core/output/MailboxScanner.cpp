#include "output/MailboxScanner.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace marrowgate {
namespace {

constexpr std::string_view kFrom = "From ";
constexpr std::size_t kFromLineKept = 1024;
constexpr std::size_t kChunk = 256 * 1024;

} // namespace

bool MailboxScanner::Scan(int fd, std::uint64_t from, std::uint64_t to, const Each& each) {
    MailboxScanner scanner(from, each);
    const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
    bool read = true;
    for (std::uint64_t at = from; at < to;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, to - at));
        const long long got = platform::ReadAt(fd, buffer.get(), want, at);
        if (got <= 0) {
            read = got == 0;
            break;
        }
        scanner.Feed(std::string_view(buffer.get(), static_cast<std::size_t>(got)));
        at += static_cast<std::uint64_t>(got);
    }
    scanner.Finish();
    return read;
}

MailboxScanner::MailboxScanner(std::uint64_t from, Each each)
    : each_(std::move(each)), offset_(from) {
    record_.begin = from;
    record_.leading = true;
}

// Bytes go to the record at hand; its From_ line is kept as text.
void MailboxScanner::Take(std::string_view bytes) {
    if (inFirstLine_ && record_.fromLine.size() < kFromLineKept) {
        const std::string_view line = bytes.substr(0, bytes.find('\n'));
        record_.fromLine.append(line.substr(0, kFromLineKept - record_.fromLine.size()));
    }
    if (inFirstLine_ && bytes.find('\n') != std::string_view::npos) {
        inFirstLine_ = false;
        if (record_.fromLine.ends_with('\r')) {
            record_.fromLine.pop_back();
        }
    }
    hasher_.Feed(bytes);
    offset_ += bytes.size();
}

// A record begins at the line at lineBegin_: the one before is whole.
void MailboxScanner::StartRecord() {
    record_.end = lineBegin_;
    if (!record_.leading || record_.end > record_.begin) {
        record_.hash = hasher_.Digest();
        record_.endsWithEmptyLine = lastLineEmpty_;
        each_(record_);
    }
    record_ = Record{};
    record_.begin = lineBegin_;
    hasher_.Reset();
    inFirstLine_ = true;
}

// The start of a line carried over from one piece to the next is looked at
// a byte at a time until it shows whether it begins a record: five bytes, or
// fewer when the line ends first.
void MailboxScanner::Decide() {
    deciding_ = false;
    if (head_ == kFrom && previousEmpty_) {
        StartRecord();
    }
    Take(head_);
}

void MailboxScanner::LineEnded(bool empty) {
    previousEmpty_ = empty;
    lastLineEmpty_ = empty;
    atLineStart_ = true;
}

// Bytes go to the record at hand in spans as long as the piece allows, so
// that the hash is fed in large pieces; a line's start is looked at where
// it lies, unless the piece ends before it tells.
void MailboxScanner::Feed(std::string_view bytes) {
    std::size_t from = 0; // bytes [from, at) belong to the record at hand, not yet taken
    std::size_t at = 0;
    const auto take = [&] {
        Take(bytes.substr(from, at - from));
        from = at;
    };
    while (at < bytes.size()) {
        if (deciding_) {
            const char c = bytes[at++];
            from = at;
            head_ += c;
            if (head_.size() == kFrom.size() || c == '\n') {
                Decide();
                if (c == '\n') {
                    LineEnded(head_ == "\n" || head_ == "\r\n");
                }
            }
            continue;
        }
        std::size_t lineStart = std::string_view::npos; // in this piece
        if (atLineStart_) {
            atLineStart_ = false;
            lineBegin_ = offset_ + (at - from);
            const std::string_view rest = bytes.substr(at);
            if (rest.size() < kFrom.size() && rest.find('\n') == std::string_view::npos) {
                take();
                deciding_ = true; // too little of the line to tell
                head_.clear();
                continue;
            }
            if (previousEmpty_ && rest.starts_with(kFrom)) {
                take();
                StartRecord();
            }
            lineStart = at;
        }
        const void* lf = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
        if (lf == nullptr) {
            at = bytes.size(); // goes on in the next piece, five bytes or more: not empty
            break;
        }
        at = static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data()) + 1;
        const std::size_t length = lineStart == std::string_view::npos ? 3 : at - lineStart;
        LineEnded(length == 1 || (length == 2 && bytes[lineStart] == '\r'));
    }
    take();
}

void MailboxScanner::Finish() {
    if (!atLineStart_ && deciding_) {
        Decide(); // a last line shorter than "From "
    }
    record_.end = offset_;
    if (!record_.leading || record_.end > record_.begin) {
        record_.hash = hasher_.Digest();
        record_.endsWithEmptyLine = lastLineEmpty_ && atLineStart_;
        each_(record_);
    }
}

} // namespace marrowgate
