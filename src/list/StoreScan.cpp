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
    const auto files = CollectFiles(storeFolder);
    std::vector<std::string> messages;
    for (const auto& path : *files) {
        if (IsMessageFilePath(path)) {
            messages.push_back(path);
        }
    }
    return messages;
}

} // namespace marrowgate
