#pragma once

#include "list/FolderListing.h"

#include <cstddef>
#include <deque>
#include <string>

namespace marrowgate {

// The walk of a store, one file at a time: breadth first, the starting
// folder's files, then its subfolders' level by level, each folder's entries
// in NameOrder. It keeps only the folders still to visit and the listing of
// the folder being visited, so its memory does not grow with the number of
// files in the store. (pathLogger collects the same walk into a list.)
class StoreWalk {
public:
    // Nothing is listed until the first Next(). A folder that does not exist
    // yields no file.
    explicit StoreWalk(const std::string& folder);

    // The next file's path (the folder's path text, with a separator, then the
    // name) into `path`; false once every file has been given. Throws WalkError
    // naming a folder that cannot be listed (a folder removed since it was
    // queued among them); the walk then ends.
    bool Next(std::string& path);

private:
    std::deque<std::string> folders_; // queued, each with its final separator
    std::string folder_;              // the folder whose files are being given
    FolderListing listing_;
    std::size_t nextFile_ = 0;
};

} // namespace marrowgate
