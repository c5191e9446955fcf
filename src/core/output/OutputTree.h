#pragma once

#include "platform/FileDescriptor.h"

#include <string>

namespace marrowgate {

// The folders below an output root. They are made and opened one name at a
// time, never through a symbolic link, so that a link planted below the root
// (by anyone who can write there) cannot send a mailbox elsewhere. The root
// itself is followed wherever it leads: the user named it.
//
// Folder paths handed in are the root's path followed by names, as the path
// derivation gives them. Errors are ConversionError lines naming the folder
// and the system's reason: "Cannot create folder X: Permission denied".
class OutputTree {
public:
    enum class Root { MakeWhenMissing, MustExist };

    // Nothing is touched until a folder is asked for.
    explicit OutputTree(std::string root, Root whenMissing = Root::MakeWhenMissing);

    // Makes every missing folder of `folder`, from the root down, each new
    // entry flushed to disk in its parent. A link, or a file, where a folder
    // belongs is an error naming it.
    void EnsureFolder(const std::string& folder);
    // The same, and hands out the folder's descriptor for files to be opened in.
    FileDescriptor OpenFolder(const std::string& folder);

    const std::string& RootPath() const { return root_; }

private:
    FileDescriptor OpenRoot();

    std::string root_; // ends with a separator
    Root whenMissing_;
};

} // namespace marrowgate
