#include "list/StoreWalk.h"

#include "convert/registry.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace marrowgate {

StoreWalk::StoreWalk(const std::string& folder) {
    std::error_code error;
    if (std::filesystem::is_directory(NativePath(folder), error)) {
        folders_.push_back(WithTrailingSeparator(folder));
    }
}

bool StoreWalk::Next(std::string& path) {
    while (nextFile_ == listing_.files.size()) {
        if (folders_.empty()) {
            return false;
        }
        folder_ = std::move(folders_.front());
        folders_.pop_front();
        listing_ = {};
        nextFile_ = 0;
        try {
            listing_ = ListFolder(folder_);
        } catch (...) {
            folders_.clear();
            throw;
        }
        for (std::size_t i = 0; i < listing_.subfolders.size(); ++i) {
            folders_.push_back(
                WithTrailingSeparator(std::string(folder_).append(listing_.subfolders[i])));
        }
        listing_.subfolders = {};
    }
    path.assign(folder_);
    path.append(listing_.files[nextFile_++]);
    return true;
}

} // namespace marrowgate
