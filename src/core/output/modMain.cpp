#include "output/modMain.h"

#include "marrowgate/NativePaths.h"
#include "output/OutputTree.h"
#include "platform/FileSystem.h"

#include <filesystem>
#include <system_error>

namespace marrowgate {

bool EnsureDirectoryPath(const std::string& path) {
    // Windows would make such a folder under another name, or one that no
    // other program can open.
    if (!platform::UnstorableName(path).empty()) {
        return false;
    }
    std::error_code error;
    const auto folder = NativePath(path);
    std::filesystem::create_directories(folder, error);
    return !error && std::filesystem::is_directory(folder, error);
}

void EnsureDirectoryPath(OutputTree& tree, const std::string& path) {
    tree.EnsureFolder(path);
}

} // namespace marrowgate
