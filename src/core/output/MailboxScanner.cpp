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

// The start of a line is looked at until it shows whether it begins a record:
// five bytes, or fewer when the line ends first.
void MailboxScanner::Decide() {
    deciding_ = false;
    if (head_ == kFrom && previousEmpty_) {
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
    Take(head_);
}

void MailboxScanner::LineEnded(bool empty) {
    previousEmpty_ = empty;
    lastLineEmpty_ = empty;
    atLineStart_ = true;
}

void MailboxScanner::Feed(std::string_view bytes) {
    while (!bytes.empty()) {
        if (atLineStart_) {
            atLineStart_ = false;
            deciding_ = true;
            head_.clear();
            lineBegin_ = offset_;
        }
        if (deciding_) {
            const char c = bytes.front();
            bytes.remove_prefix(1);
            head_ += c;
            if (head_.size() == kFrom.size() || c == '\n') {
                Decide();
                if (c == '\n') {
                    LineEnded(head_ == "\n" || head_ == "\r\n");
                }
            }
            continue;
        }
        const void* lf = std::memchr(bytes.data(), '\n', bytes.size());
        const std::size_t take =
            lf == nullptr
                ? bytes.size()
                : static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data()) + 1;
        Take(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (lf != nullptr) {
            LineEnded(false); // longer than "From ": not empty
        }
    }
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
