#include "marrowgate/FoundStore.h"

#include "marrowgate/NativePaths.h"
#include "marrowgate/Terminal.h"
#include "platform/FileSystem.h"
#include "platform/UserRegistry.h"

#include <utility>

namespace marrowgate {

std::optional<FoundStore> FindMailStore(const StoreLookups& lookups) {
    using Source = FoundStore::Source;
    if (const auto root = lookups.storeRootSetting(); root && lookups.isFolder(*root)) {
        return FoundStore{*root, Source::LiveMailSettings};
    }
    const auto localAppData = lookups.environment("LOCALAPPDATA");
    if (!localAppData || localAppData->empty()) {
        return std::nullopt;
    }
    const char separator = Separator(NativeSyntax());
    std::string microsoft = *localAppData;
    if (microsoft.back() != separator) {
        microsoft += separator;
    }
    microsoft += std::string("Microsoft") + separator;
    for (const auto& [name, source] : {std::pair{"Windows Live Mail", Source::LiveMailFolder},
                                       std::pair{"Windows Mail", Source::WindowsMailFolder}}) {
        if (const std::string folder = microsoft + name; lookups.isFolder(folder)) {
            return FoundStore{folder, source};
        }
    }
    return std::nullopt;
}

std::optional<FoundStore> FindMailStore() {
    return FindMailStore({
        [] {
            return platform::UserRegistryText(R"(Software\Microsoft\Windows Live Mail)",
                                              "Store Root");
        },
        platform::EnvironmentValue,
        [](const std::string& path) {
            platform::FileStatus status;
            return platform::Status(path, status) == 0 && status.folder;
        },
    });
}

} // namespace marrowgate
