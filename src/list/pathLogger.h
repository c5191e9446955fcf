#pragma once

#include "list/KeyedCollection.h"

#include <cstdint>
#include <string>

namespace marrowgate {

// Walks a folder tree breadth first and collects every file below it: the
// starting folder's files, then its subfolders' files level by level, each
// folder's subfolders and files in NameOrder (list/FolderListing.h), so the
// same tree gives the same collections on every system.
//
// Use: PathLogInit, optionally fullFileNamesOnly(false), one LogPath, then
// Count and the collections, then Terminate. Collections handed out stay valid
// after Terminate. A second LogPath without PathLogInit repeats the keys of the
// first walk and fails.
//
// Keys: the starting folder is "K0" in pathNames; each folder found below it is
// "K" + the queue length once it is queued (so "K2" is the first). Files are
// "K" + the file counter, from "K1", the same key in all three file collections.
//
// Which entries count is ListFolder's rule: regular files and links to them
// (and links whose target is missing, for the conversion to report); a link
// to a folder is neither collected nor entered. Folders carry a final
// separator.
class pathLogger {
public:
    // Drops the four collections and sets fullFileNamesOnly to true. The file
    // counter is left as it is.
    void PathLogInit();

    // Walks `folder`. A folder that does not exist is no error: nothing
    // changes. A folder that cannot be listed throws WalkError naming it; the
    // collections keep what was added before.
    void LogPath(const std::string& folder);

    // One more than the number of files collected, after a walk.
    std::int32_t Count() const { return fileCounter_; }

    // Drops the four collections; the counter and the mode stay.
    void Terminate();

    bool fullFileNamesOnly() const { return fullFileNamesOnly_; }
    void fullFileNamesOnly(bool value) { fullFileNamesOnly_ = value; }

    // Each collection is created empty when first read.
    CollectionHandle<std::string> fileNames();
    CollectionHandle<std::string> pathNames();
    CollectionHandle<std::int32_t> pathPointers();
    CollectionHandle<std::string> fullFileNames();

private:
    void VisitFolder(std::int32_t position, std::int32_t& queueLength);

    std::int32_t fileCounter_ = 0;
    bool fullFileNamesOnly_ = false;
    CollectionHandle<std::string> fileNames_;
    CollectionHandle<std::int32_t> pathPointers_;
    CollectionHandle<std::string> pathNames_;
    CollectionHandle<std::string> fullFileNames_;
};

} // namespace marrowgate
