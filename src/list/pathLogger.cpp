#include "list/pathLogger.h"

#include "list/WalkError.h"
#include "shell/registry.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace marrowgate {
namespace {

namespace fs = std::filesystem;

template <typename T> CollectionHandle<T>& Ensure(CollectionHandle<T>& collection) {
    if (!collection) {
        collection = std::make_shared<KeyedCollection<T>>();
    }
    return collection;
}

std::string WithTrailingSeparator(const std::string& path) {
    const char separator = Separator(NativeSyntax());
    if (!path.empty() && path.back() == separator) {
        return path;
    }
    return path + separator;
}

std::string Key(std::int32_t number) {
    std::string key = "K";
    key += std::to_string(number);
    return key;
}

struct FolderListing {
    std::vector<std::string> subfolders;
    std::vector<std::string> files;
};

[[noreturn]] void ThrowCannotList(const std::string& folder, const std::error_code& error) {
    throw WalkError("Cannot list the folder " + folder + ": " + error.message());
}

// One pass over the folder, in the file system's order. Regular files count,
// and links to them; folders are queued, links to folders are not. Pipes,
// devices and sockets are left out, and links to them, as reading them could
// block or never end. A link whose target cannot be looked at (dangling, a
// loop) counts as a file, so that the conversion reports it.
FolderListing ListFolder(const std::string& folder) {
    FolderListing listing;
    std::error_code error;
    fs::directory_iterator it(NativePath(folder), error);
    if (error) {
        ThrowCannotList(folder, error);
    }
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            ThrowCannotList(folder, error);
        }
        std::error_code statusError;
        const std::string name = PathText(it->path().filename());
        if (it->is_symlink(statusError)) {
            const auto target = fs::status(it->path(), statusError);
            if (fs::is_regular_file(target) || !fs::exists(target)) {
                listing.files.push_back(name);
            }
        } else if (it->is_directory(statusError)) {
            listing.subfolders.push_back(name);
        } else if (it->is_regular_file(statusError)) {
            listing.files.push_back(name);
        }
    }
    if (error) {
        ThrowCannotList(folder, error);
    }
    return listing;
}

} // namespace

void pathLogger::PathLogInit() {
    fullFileNamesOnly_ = true;
    fileNames_.reset();
    pathPointers_.reset();
    pathNames_.reset();
    fullFileNames_.reset();
}

void pathLogger::Terminate() {
    fileNames_.reset();
    pathPointers_.reset();
    pathNames_.reset();
    fullFileNames_.reset();
}

CollectionHandle<std::string> pathLogger::fileNames() {
    return Ensure(fileNames_);
}
CollectionHandle<std::string> pathLogger::pathNames() {
    return Ensure(pathNames_);
}
CollectionHandle<std::int32_t> pathLogger::pathPointers() {
    return Ensure(pathPointers_);
}
CollectionHandle<std::string> pathLogger::fullFileNames() {
    return Ensure(fullFileNames_);
}

void pathLogger::LogPath(const std::string& folder) {
    std::error_code error;
    if (!fs::is_directory(NativePath(folder), error)) {
        return;
    }
    std::int32_t queueLength = 1;
    fileCounter_ = 1;
    Ensure(pathNames_)->Add("K0", WithTrailingSeparator(folder));
    for (std::int32_t position = 1; position <= queueLength; ++position) {
        VisitFolder(position, queueLength);
    }
}

void pathLogger::VisitFolder(std::int32_t position, std::int32_t& queueLength) {
    const std::string folder = Ensure(pathNames_)->Item(static_cast<std::size_t>(position));
    const FolderListing listing = ListFolder(folder);
    for (const auto& name : listing.subfolders) {
        ++queueLength;
        pathNames_->Add(Key(queueLength), WithTrailingSeparator(folder + name));
    }
    for (const auto& name : listing.files) {
        const std::string key = Key(fileCounter_);
        Ensure(fullFileNames_)->Add(key, folder + name);
        if (!fullFileNamesOnly_) {
            Ensure(fileNames_)->Add(key, name);
            Ensure(pathPointers_)->Add(key, position);
        }
        ++fileCounter_;
    }
}

} // namespace marrowgate
