#include "list/StoreWalk.h"

#include "marrowgate/NativePaths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace marrowgate {

StoreWalk::StoreWalk(const std::string& folder, std::size_t filesPerPart)
    : filesPerPart_(std::max<std::size_t>(1, filesPerPart)) {
    std::error_code error;
    if (std::filesystem::is_directory(NativePath(folder), error)) {
        folders_.push_back(WithTrailingSeparator(folder));
    }
}

bool StoreWalk::Next(std::string& path) {
    while (nextFile_ == listing_.files.size()) {
        if (more_ && NextPart()) {
            break;
        }
        if (folders_.empty()) {
            return false;
        }
        folder_ = std::move(folders_.front());
        folders_.pop_front();
        listing_ = {};
        nextFile_ = 0;
        std::size_t files = 0;
        try {
            listing_ = ListFolderPart(folder_, nullptr, filesPerPart_, &files);
        } catch (...) {
            folders_.clear();
            throw;
        }
        // At most about sixteen listings of a folder, however large.
        part_ = std::max(filesPerPart_, files / 16 + 1);
        more_ = listing_.files.size() < files;
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

// The files after the last one given, as the folder is now: one added since
// the part before, or removed, is given or not as a single listing would.
bool StoreWalk::NextPart() {
    const std::string last(listing_.files[listing_.files.size() - 1]);
    listing_ = {};
    nextFile_ = 0;
    try {
        listing_ = ListFolderPart(folder_, &last, part_);
    } catch (...) {
        folders_.clear();
        more_ = false;
        throw;
    }
    more_ = listing_.files.size() == part_;
    return listing_.files.size() > 0;
}

} // namespace marrowgate
