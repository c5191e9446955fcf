#include "run/ReadAheadMessage.h"

#include "message/HeaderBlock.h"
#include "message/MessageFile.h"

#include <algorithm>
#include <cstring>

namespace marrowgate {

ReadAheadMessage::ReadAheadMessage(ReadAheadThread& owner,
                                   std::shared_ptr<ReadAheadThread::Entry> entry)
    : owner_(owner), entry_(std::move(entry)) {}

ReadAheadMessage::~ReadAheadMessage() {
    owner_.GiveBack(held_);
    owner_.Done(entry_);
}

void ReadAheadMessage::Advance() {
    owner_.GiveBack(std::exchange(held_, {}));
    held_ = owner_.NextChunk(*entry_);
    atEnd_ = held_.last;
}

// The reader read the first chunk as MessageFile::ReadStart() does, so it holds
// the whole header block unless that is longer than a chunk: then the start is
// put together from the chunks that follow, as far as the same limit.
std::string_view ReadAheadMessage::Start() {
    Advance();
    const std::string_view first(held_.data, held_.size);
    if (atEnd_ || HeaderBlock::IsComplete(first)) {
        return first;
    }
    start_ = std::make_unique_for_overwrite<char[]>(MessageFile::kStartLimit);
    std::memcpy(start_.get(), first.data(), first.size());
    std::size_t filled = first.size();
    while (!atEnd_ && filled < MessageFile::kStartLimit) {
        Advance();
        const std::size_t take = std::min(held_.size, MessageFile::kStartLimit - filled);
        std::memcpy(start_.get() + filled, held_.data, take);
        rest_ = std::string_view(held_.data + take, held_.size - take);
        const std::size_t scanFrom = filled - 1;
        filled += take;
        if (HeaderBlock::IsComplete(std::string_view(start_.get() + scanFrom, filled - scanFrom))) {
            break;
        }
    }
    if (!rest_.empty()) {
        atEnd_ = false; // the held chunk's end is not given yet
    }
    return {start_.get(), filled};
}

std::string_view ReadAheadMessage::Next() {
    if (!rest_.empty()) {
        atEnd_ = held_.last;
        return std::exchange(rest_, {});
    }
    if (atEnd_) {
        return {};
    }
    Advance();
    return {held_.data, held_.size};
}

} // namespace marrowgate
