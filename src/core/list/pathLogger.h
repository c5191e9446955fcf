#pragma once

// The store walker the window's import uses: every file below a folder, as
// full paths, in a fixed order.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace marrowgate {

// Walks a folder tree breadth first and collects every file below it, in
// StoreWalk's order: the starting folder's files, then its subfolders' files
// level by level, each folder's entries in NameOrder (list/FolderListing.h),
// so the same tree gives the same list on every system.
//
// Use: PathLogInit, optionally fullFileNamesOnly, one LogPath, then Count and
// fullFileNames, then Terminate. The list handed out stays valid after
// Terminate. A second LogPath without PathLogInit adds its files after the
// first walk's.
//
// Which entries count is ListFolder's rule: regular files and links to them
// (and links whose target is missing, for the conversion to report); a link
// to a folder is neither collected nor entered.
class pathLogger {
public:
    using FileList = std::shared_ptr<std::vector<std::string>>;

    // Drops the list and sets fullFileNamesOnly to true. The file counter is
    // left as it is.
    void PathLogInit();

    // Walks `folder`. A folder that does not exist is no error: nothing
    // changes. A folder that cannot be listed throws WalkError naming it; the
    // list keeps what was added before.
    void LogPath(const std::string& folder);

    // One more than the number of files the last walk collected.
    std::int32_t Count() const { return fileCounter_; }

    // Drops the list; the counter and the mode stay.
    void Terminate();

    // Full paths are all the walker collects, whatever the mode; the mode is
    // kept as its callers set it.
    bool fullFileNamesOnly() const { return fullFileNamesOnly_; }
    void fullFileNamesOnly(bool value) { fullFileNamesOnly_ = value; }

    // The full path of every file collected, in walk order; created empty when
    // first read, shared with the walker until Terminate.
    FileList fullFileNames();

private:
    std::int32_t fileCounter_ = 0;
    bool fullFileNamesOnly_ = false;
    FileList fullFileNames_;
};

} // namespace marrowgate
