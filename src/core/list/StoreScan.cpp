#include "marrowgate/StoreScan.h"

#include "list/pathLogger.h"
#include "marrowgate/MessageFileFilter.h"

#include <utility>

namespace marrowgate {

std::vector<std::string> CollectFiles(const std::string& folder) {
    pathLogger walker;
    walker.PathLogInit();
    walker.fullFileNamesOnly(true);
    walker.LogPath(folder);
    const pathLogger::FileList files = walker.fullFileNames();
    walker.Terminate();
    // The paths are moved, not copied: a store can hold a great many, and
    // the list is the caller's alone once the walker let go of it.
    return std::move(*files);
}

std::vector<std::string> CollectMessageFiles(const std::string& storeFolder) {
    std::vector<std::string> messages = CollectFiles(storeFolder);
    std::erase_if(messages, [](const std::string& path) { return !IsMessageFilePath(path); });
    messages.shrink_to_fit();
    return messages;
}

} // namespace marrowgate
