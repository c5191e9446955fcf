#include "list/WalkedRows.h"

#include "marrowgate/MessageFileFilter.h"
#include "marrowgate/WalkError.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

namespace marrowgate {

WalkedRows::WalkedRows(std::vector<std::string> stores, std::string outputRoot)
    : stores_(std::move(stores)), outputRoot_(std::move(outputRoot)) {
    std::size_t count = 0;
    for (const std::string& store : stores_) {
        count += StoreWalk::CountMessageFiles(store, outputRoot_, &passedOver_);
    }
    count_ = static_cast<int>(std::min<std::size_t>(count, INT_MAX));
}

bool WalkedRows::NextMessage(std::string& path) const {
    if (!failure_.empty()) {
        return false;
    }
    try {
        while (store_ < stores_.size()) {
            if (!walk_) {
                walk_ = std::make_unique<StoreWalk>(stores_[store_], StoreWalk::kFilesPerPart,
                                                    outputRoot_);
            }
            while (walk_->Next(path)) {
                if (IsMessageFilePath(path)) {
                    return true;
                }
            }
            walk_.reset();
            ++store_;
        }
    } catch (const WalkError& error) {
        failure_ = error.what();
        walk_.reset();
    }
    return false;
}

std::string WalkedRows::RowText(int row) const {
    if (row <= row_ - static_cast<int>(recent_.size())) {
        throw std::logic_error("walked rows are read in increasing order");
    }
    while (row_ < row) {
        std::string path;
        if (!NextMessage(path)) {
            path.clear();
        }
        recent_.push_back(std::move(path));
        if (recent_.size() > kRecall) {
            recent_.pop_front();
        }
        ++row_;
    }
    return recent_[recent_.size() - 1 - static_cast<std::size_t>(row_ - row)];
}

std::vector<std::string> WalkedRows::TakeRest() {
    std::vector<std::string> rest;
    std::string path;
    while (NextMessage(path)) {
        rest.push_back(path);
    }
    row_ = INT_MAX;
    return rest;
}

} // namespace marrowgate
