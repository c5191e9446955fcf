#include "list/OutputFolders.h"

#include "platform/FileSystem.h"

namespace marrowgate {

bool OutputFolders::PassOver(const std::string& folder, bool holdsLedger) {
    if (!holdsLedger && !IsOutputRoot(folder)) {
        return false;
    }
    passedOver_.push_back(folder);
    return true;
}

// Two looks at the file system a folder, and only when an output folder is
// named: a store holds few folders beside its files.
bool OutputFolders::IsOutputRoot(const std::string& folder) {
    if (outputRoot_.empty()) {
        return false;
    }
    platform::FileStatus info;
    if (!outputIdentity_) {
        if (platform::Status(outputRoot_, info) != 0 || !info.folder ||
            (info.device == 0 && info.inode == 0)) {
            return false; // not there (yet): nothing of it can be walked
        }
        outputIdentity_ = FileIdentity{info.device, info.inode};
    }
    return platform::Status(folder, info) == 0 &&
           FileIdentity{info.device, info.inode} == *outputIdentity_;
}

} // namespace marrowgate
