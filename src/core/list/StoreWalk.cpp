#include "list/StoreWalk.h"

#include "marrowgate/MessageFileFilter.h"
#include "marrowgate/NativePaths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace marrowgate {

StoreWalk::StoreWalk(const std::string& folder, std::size_t filesPerPart, std::string outputRoot)
    : filesPerPart_(std::max<std::size_t>(1, filesPerPart)), outputs_(std::move(outputRoot)) {
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
        if (std::exchange(started_, true) && outputs_.PassOver(folder_, listing_.holdsLedger)) {
            listing_ = {};
            more_ = false;
            continue;
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

// Breadth first as Next() goes; the order of the folders does not change the
// count, but the same folders are passed over.
std::size_t StoreWalk::CountMessageFiles(const std::string& folder, const std::string& outputRoot,
                                         std::vector<std::string>* passedOver) {
    std::error_code error;
    if (!std::filesystem::is_directory(NativePath(folder), error)) {
        return 0;
    }
    OutputFolders outputs(outputRoot);
    std::deque<std::string> folders{WithTrailingSeparator(folder)};
    std::size_t count = 0;
    for (bool start = true; !folders.empty(); start = false) {
        const std::string current = std::move(folders.front());
        folders.pop_front();
        const FolderCount listed =
            CountFolder(current, [](std::string_view name) { return IsMessageFilePath(name); });
        if (!start && outputs.PassOver(current, listed.holdsLedger)) {
            continue;
        }
        count += listed.files;
        for (std::size_t i = 0; i < listed.subfolders.size(); ++i) {
            folders.push_back(
                WithTrailingSeparator(std::string(current).append(listed.subfolders[i])));
        }
    }
    if (passedOver != nullptr) {
        passedOver->insert(passedOver->end(), outputs.PassedOver().begin(),
                           outputs.PassedOver().end());
    }
    return count;
}

} // namespace marrowgate
