#pragma once

#include "list/FolderListing.h"
#include "list/OutputFolders.h"

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace marrowgate {

// The walk of a store, one file at a time: breadth first, the starting
// folder's files, then its subfolders' level by level, each folder's entries
// in NameOrder. It keeps only the folders still to visit and part of the
// listing of the folder being visited: a large folder is listed again for each
// part of its files, a sixteenth of them or `filesPerPart` at a time,
// whichever is more. So its memory grows neither with the number of files in
// the store nor much with the largest folder's. (pathLogger collects the same
// walk into a list.) Output folders inside the store are passed over
// (OutputFolders).
class StoreWalk {
public:
    // Nothing is listed until the first Next(). A folder that does not exist
    // yields no file.
    static constexpr std::size_t kFilesPerPart = 4096;

    explicit StoreWalk(const std::string& folder, std::size_t filesPerPart = kFilesPerPart,
                       std::string outputRoot = {});

    // The next file's path (the folder's path text, with a separator, then the
    // name) into `path`; false once every file has been given. Throws WalkError
    // naming a folder that cannot be listed (a folder removed since it was
    // queued among them); the walk then ends.
    bool Next(std::string& path);

    // The output folders passed over so far.
    const std::vector<std::string>& PassedOver() const { return outputs_.PassedOver(); }

    // How many message files (IsMessageFilePath) the walk would give, counted
    // from one listing of each folder that keeps no file name; the output
    // folders passed over are added to `passedOver` when given. Throws
    // WalkError as Next() does.
    static std::size_t CountMessageFiles(const std::string& folder, const std::string& outputRoot,
                                         std::vector<std::string>* passedOver = nullptr);

private:
    // Lists the folder's next part; false when it has no more files.
    bool NextPart();

    std::size_t filesPerPart_;
    OutputFolders outputs_;
    bool started_ = false;            // the starting folder was listed
    std::deque<std::string> folders_; // queued, each with its final separator
    std::string folder_;              // the folder whose files are being given
    FolderListing listing_;           // the part of its files at hand
    std::size_t nextFile_ = 0;
    std::size_t part_ = 0; // how many files a part of the folder holds
    bool more_ = false;    // files may follow the part at hand
};

} // namespace marrowgate
