#pragma once

#include "list/FolderListing.h"

#include <cstddef>
#include <deque>
#include <string>

namespace marrowgate {

// The walk of a store, one file at a time: breadth first, the starting
// folder's files, then its subfolders' level by level, each folder's entries
// in NameOrder. It keeps only the folders still to visit and part of the
// listing of the folder being visited: a large folder is listed again for each
// part of its files, a sixteenth of them or `filesPerPart` at a time,
// whichever is more. So its memory grows neither with the number of files in
// the store nor much with the largest folder's. (pathLogger collects the same
// walk into a list.)
class StoreWalk {
public:
    // Nothing is listed until the first Next(). A folder that does not exist
    // yields no file.
    static constexpr std::size_t kFilesPerPart = 4096;

    explicit StoreWalk(const std::string& folder, std::size_t filesPerPart = kFilesPerPart);

    // The next file's path (the folder's path text, with a separator, then the
    // name) into `path`; false once every file has been given. Throws WalkError
    // naming a folder that cannot be listed (a folder removed since it was
    // queued among them); the walk then ends.
    bool Next(std::string& path);

private:
    // Lists the folder's next part; false when it has no more files.
    bool NextPart();

    std::size_t filesPerPart_;
    std::deque<std::string> folders_; // queued, each with its final separator
    std::string folder_;              // the folder whose files are being given
    FolderListing listing_;           // the part of its files at hand
    std::size_t nextFile_ = 0;
    std::size_t part_ = 0; // how many files a part of the folder holds
    bool more_ = false;    // files may follow the part at hand
};

} // namespace marrowgate
