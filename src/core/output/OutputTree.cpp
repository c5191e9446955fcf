#include "output/OutputTree.h"

#include "marrowgate/ConversionError.h"
#include "marrowgate/NativePaths.h"
#include "platform/FileSystem.h"

#include <cerrno>

#include <string_view>
#include <utility>

namespace marrowgate {
namespace {

// The path as the user reads it: without the final separator, but "/" stays.
std::string Shown(std::string path) {
    const char separator = Separator(NativeSyntax());
    while (path.size() > 1 && path.back() == separator) {
        path.pop_back();
    }
    return path.empty() ? "." : path;
}

// A new entry is only durable once its folder is flushed.
void Sync(int folderFd, const std::string& created) {
    if (platform::Sync(folderFd) != 0) {
        const int error = errno;
        throw ConversionError::FromErrno("Cannot create folder", Shown(created), error);
    }
}

void SyncParentOf(const std::string& path) {
    const std::string parent = PathText(NativePath(Shown(path)).parent_path());
    const FileDescriptor fd(platform::Open(parent.empty() ? "." : parent, platform::kFolder));
    if (fd.IsOpen()) {
        Sync(fd.Get(), path);
    }
}

// The root and its missing parents, following links as the system does.
void MakeFolderWithParents(const std::string& path) {
    const std::string shown = Shown(path);
    if (platform::MakeFolder(shown) == 0) {
        SyncParentOf(shown);
        return;
    }
    if (errno == EEXIST) {
        return;
    }
    const int error = errno;
    const std::string parent = PathText(NativePath(shown).parent_path());
    if (error != ENOENT || parent.empty() || parent == shown) {
        throw ConversionError::FromErrno("Cannot create folder", shown, error);
    }
    MakeFolderWithParents(parent);
    if (platform::MakeFolder(shown) != 0 && errno != EEXIST) {
        const int again = errno;
        throw ConversionError::FromErrno("Cannot create folder", shown, again);
    }
    SyncParentOf(shown);
}

ConversionError CannotOpenFolder(int parentFd, const std::string& name, const std::string& folder,
                                 int error) {
    // Depending on the system, a link opened as a folder without following
    // it reports ELOOP or ENOTDIR: say what it is.
    platform::FileStatus info;
    if ((error == ELOOP || error == ENOTDIR) && platform::StatusAt(parentFd, name, info) == 0 &&
        info.link) {
        return ConversionError("Cannot open folder " + folder + ": it is a symbolic link");
    }
    if (error == ENOTDIR) {
        return ConversionError::FromErrno("Cannot create folder", folder,
                                          error); // a file in the way
    }
    return ConversionError::FromErrno("Cannot open folder", folder, error);
}

} // namespace

OutputTree::OutputTree(std::string root, Root whenMissing)
    : root_(std::move(root)), whenMissing_(whenMissing) {
    const char separator = Separator(NativeSyntax());
    if (root_.empty()) {
        root_.push_back('.'); // the current folder
    }
    if (root_.back() != separator) {
        root_.push_back(separator);
    }
}

FileDescriptor OutputTree::OpenRoot() {
    const std::string shown = Shown(root_);
    if (shown.find('\0') != std::string::npos) {
        throw ConversionError("Cannot open folder " + shown + ": the path holds a NUL character");
    }
    FileDescriptor root(platform::Open(shown, platform::kFolder));
    if (!root.IsOpen() && errno == ENOENT && whenMissing_ == Root::MakeWhenMissing) {
        MakeFolderWithParents(shown);
        root = FileDescriptor(platform::Open(shown, platform::kFolder));
    }
    if (!root.IsOpen()) {
        throw ConversionError::FromErrno("Cannot open folder", shown, errno);
    }
    return root;
}

void OutputTree::EnsureFolder(const std::string& folder) {
    OpenFolder(folder);
}

FileDescriptor OutputTree::OpenFolder(const std::string& folder) {
    const char separator = Separator(NativeSyntax());
    // Names are walked one at a time, so no path is too long for the walk; but
    // a mailbox that no other program could open by its path is of no use.
    if (folder.size() >= platform::kPathLimit) {
        throw ConversionError::FromErrno("Cannot create folder", Shown(folder), ENAMETOOLONG);
    }
    if (!folder.starts_with(root_) && folder + separator != root_) {
        throw ConversionError("Cannot open folder " + Shown(folder) +
                              ": it is not inside the output folder " + Shown(root_));
    }
    FileDescriptor current = OpenRoot();
    std::string shown = Shown(root_);
    std::string_view rest =
        folder.size() > root_.size() ? std::string_view(folder).substr(root_.size()) : "";
    while (!rest.empty()) {
        const auto end = rest.find(separator);
        const std::string name(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (name.empty() || name == ".") {
            continue;
        }
        shown += (shown.back() == separator ? "" : std::string(1, separator)) + name;
        if (name == ".." || name.find('\0') != std::string::npos) {
            throw ConversionError("Cannot open folder " + shown + ": not a plain folder name");
        }
        if (!platform::StorableName(name)) {
            // Other Windows programs would open a device ("CON") under this name.
            throw ConversionError("Cannot create folder " + shown +
                                  ": the system reserves this name");
        }
        constexpr unsigned kBelowRoot = platform::kFolder | platform::kNoFollow;
        FileDescriptor next(platform::OpenAt(current.Get(), name, kBelowRoot));
        if (!next.IsOpen() && errno == ENOENT) {
            if (platform::MakeFolderAt(current.Get(), name) == 0) {
                Sync(current.Get(), shown);
            } else if (errno != EEXIST) {
                throw ConversionError::FromErrno("Cannot create folder", shown, errno);
            }
            next = FileDescriptor(platform::OpenAt(current.Get(), name, kBelowRoot));
        }
        if (!next.IsOpen()) {
            throw CannotOpenFolder(current.Get(), name, shown, errno);
        }
        current = std::move(next);
    }
    return current;
}

} // namespace marrowgate
