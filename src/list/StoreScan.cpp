#include "list/StoreScan.h"

#include "list/MessageFileFilter.h"
#include "list/pathLogger.h"

namespace marrowgate {

std::vector<std::string> CollectMessageFiles(const std::string& storeFolder) {
    pathLogger walker;
    walker.PathLogInit();
    walker.fullFileNamesOnly(true);
    walker.LogPath(storeFolder);
    const auto files = walker.fullFileNames();
    walker.Terminate();

    std::vector<std::string> messages;
    for (const auto& path : *files) {
        if (IsMessageFilePath(path)) {
            messages.push_back(path);
        }
    }
    return messages;
}

} // namespace marrowgate
