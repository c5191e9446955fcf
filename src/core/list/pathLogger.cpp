#include "list/pathLogger.h"

#include "list/StoreWalk.h"
#include "marrowgate/NativePaths.h"

#include <filesystem>
#include <system_error>

namespace marrowgate {

void pathLogger::PathLogInit() {
    fullFileNamesOnly_ = true;
    fullFileNames_.reset();
}

void pathLogger::Terminate() {
    fullFileNames_.reset();
}

pathLogger::FileList pathLogger::fullFileNames() {
    if (!fullFileNames_) {
        fullFileNames_ = std::make_shared<std::vector<std::string>>();
    }
    return fullFileNames_;
}

void pathLogger::LogPath(const std::string& folder) {
    // A missing folder leaves even the counter as it was.
    std::error_code error;
    if (!std::filesystem::is_directory(NativePath(folder), error)) {
        return;
    }
    fileCounter_ = 1;
    const FileList files = fullFileNames();
    StoreWalk walk(folder);
    for (std::string path; walk.Next(path); ++fileCounter_) {
        files->push_back(path);
    }
}

} // namespace marrowgate
