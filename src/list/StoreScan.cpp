#include "list/StoreScan.h"

#include "list/MessageFileFilter.h"
#include "list/pathLogger.h"

namespace marrowgate {

CollectionHandle<std::string> CollectFiles(const std::string& folder) {
    pathLogger walker;
    walker.PathLogInit();
    walker.fullFileNamesOnly(true);
    walker.LogPath(folder);
    auto files = walker.fullFileNames();
    walker.Terminate();
    return files;
}

std::vector<std::string> CollectMessageFiles(const std::string& storeFolder) {
    // The paths are moved, not copied: a store can hold a great many.
    std::vector<std::string> messages = CollectFiles(storeFolder)->TakeItems();
    std::erase_if(messages, [](const std::string& path) { return !IsMessageFilePath(path); });
    messages.shrink_to_fit();
    return messages;
}

} // namespace marrowgate
