#include "list/pathLogger.h"

#include "convert/registry.h"
#include "list/FolderListing.h"

#include <filesystem>
#include <system_error>

namespace marrowgate {
namespace {

namespace fs = std::filesystem;

template <typename T> CollectionHandle<T>& Ensure(CollectionHandle<T>& collection) {
    if (!collection) {
        collection = std::make_shared<KeyedCollection<T>>();
    }
    return collection;
}

std::string Key(std::int32_t number) {
    std::string key = "K";
    key += std::to_string(number);
    return key;
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
    for (std::size_t i = 0; i < listing.subfolders.size(); ++i) {
        ++queueLength;
        pathNames_->Add(Key(queueLength),
                        WithTrailingSeparator(std::string(folder).append(listing.subfolders[i])));
    }
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        const std::string name(listing.files[i]);
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
