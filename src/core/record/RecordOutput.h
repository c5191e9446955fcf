#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace marrowgate {

// The bytes of a record on their way to the mailbox: bytes of its own (the
// From_ line, line ends, quoting) and long runs of the message file's bytes
// that pass through unchanged. Those runs are pointed at, not copied, so the
// bulk of a message goes from the read buffer to the mailbox file directly.
class RecordOutput {
public:
    void append(std::string_view bytes) { owned_.append(bytes); }
    void append(std::size_t count, char byte) { owned_.append(count, byte); }
    void push_back(char byte) { owned_.push_back(byte); }
    // Bytes of the input that go into the record as they are. A long run is
    // pointed at, so it must stay unchanged until Clear(); a short one is copied.
    void PassThrough(std::string_view input);
    // Room for `count` bytes of its own at the end, to be written in place;
    // Shrink() gives back what was not used.
    char* Grow(std::size_t count) {
        const std::size_t size = owned_.size();
        owned_.resize(size + count);
        return owned_.data() + size;
    }
    void Shrink(std::size_t unused) { owned_.resize(owned_.size() - unused); }

    std::size_t size() const { return owned_.size() + passedBytes_; }
    // True when the record points into input that is about to change.
    bool PointsIntoInput() const { return !passed_.empty(); }
    // The bytes, in order, as pieces; valid until the next change.
    const std::vector<std::string_view>& Pieces();
    std::string Joined();
    void Clear();
    void Reserve(std::size_t ownBytes) { owned_.reserve(ownBytes); }

private:
    struct Passed {
        std::size_t ownedBefore; // how much of owned_ comes before this run
        std::string_view bytes;
    };

    std::string owned_;
    std::vector<Passed> passed_;
    std::size_t passedBytes_ = 0;
    std::vector<std::string_view> pieces_;
};

} // namespace marrowgate
