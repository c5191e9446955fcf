#include "record/RecordOutput.h"

namespace marrowgate {
namespace {

// Shorter runs cost less to copy than the extra piece they would make.
constexpr std::size_t kShortestPointedRun = 4096;

} // namespace

void RecordOutput::PassThrough(std::string_view input) {
    if (input.size() < kShortestPointedRun) {
        owned_.append(input);
        return;
    }
    passed_.push_back({owned_.size(), input});
    passedBytes_ += input.size();
}

const std::vector<std::string_view>& RecordOutput::Pieces() {
    pieces_.clear();
    std::size_t ownedDone = 0;
    for (const Passed& run : passed_) {
        if (run.ownedBefore > ownedDone) {
            pieces_.push_back(
                std::string_view(owned_).substr(ownedDone, run.ownedBefore - ownedDone));
            ownedDone = run.ownedBefore;
        }
        pieces_.push_back(run.bytes);
    }
    if (owned_.size() > ownedDone) {
        pieces_.push_back(std::string_view(owned_).substr(ownedDone));
    }
    return pieces_;
}

std::string RecordOutput::Joined() {
    std::string joined;
    joined.reserve(size());
    for (const std::string_view piece : Pieces()) {
        joined.append(piece);
    }
    return joined;
}

void RecordOutput::Clear() {
    owned_.clear();
    passed_.clear();
    passedBytes_ = 0;
}

} // namespace marrowgate
