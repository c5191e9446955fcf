#include "ledger/SourceIdentifier.h"

#include "marrowgate/NativePaths.h"
#include "platform/FileSystem.h"

namespace marrowgate {
namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind(Separator(NativeSyntax()));
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

} // namespace

std::optional<LedgerSource> SourceIdentifier::Identify(const std::string& sourcePath) {
    platform::FileStatus info;
    if (platform::LinkStatus(sourcePath, info) != 0) {
        return std::nullopt;
    }
    LedgerSource source;
    if (info.link) {
        const auto real = platform::RealPath(sourcePath);
        if (!real || platform::Status(*real, info) != 0) {
            return std::nullopt;
        }
        source.path = *real;
    } else {
        const std::string folder = FolderOf(sourcePath);
        auto known = canonicalFolders_.find(folder);
        if (known == canonicalFolders_.end()) {
            const auto real = platform::RealPath(folder);
            if (!real) {
                return std::nullopt;
            }
            const char separator = Separator(NativeSyntax());
            known = canonicalFolders_
                        .emplace(folder, real->ends_with(separator) ? *real : *real + separator)
                        .first;
        }
        source.path = known->second + sourcePath.substr(folder.size());
    }
    source.size = info.size;
    source.modifiedNs = LedgerTime(info.modified, info.modifiedNanoseconds);
    source.device = info.device;
    source.inode = info.inode;
    return source;
}

} // namespace marrowgate
