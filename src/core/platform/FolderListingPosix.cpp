#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

namespace marrowgate::platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
// Closed however the listing ends, a caller's exception included.
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The entry's type as readdir gave it, or as a look at the entry tells when
// the file system gives none; DT_UNKNOWN when it is gone since it was listed.
unsigned char TypeOf(int folder, const dirent& entry) {
    if (entry.d_type != DT_UNKNOWN) {
        return entry.d_type;
    }
    struct stat info {};
    if (::fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return DT_UNKNOWN;
    }
    return S_ISLNK(info.st_mode)   ? DT_LNK
           : S_ISDIR(info.st_mode) ? DT_DIR
           : S_ISREG(info.st_mode) ? DT_REG
                                   : DT_UNKNOWN;
}

EntryKind KindOf(int folder, const dirent& entry) {
    switch (TypeOf(folder, entry)) {
    case DT_REG:
        return EntryKind::File;
    case DT_DIR:
        return EntryKind::Folder;
    case DT_LNK: {
        // A link to a file counts as the file; one whose target cannot be
        // looked at too, so that the conversion reports it.
        struct stat target {};
        const bool looked = ::fstatat(folder, entry.d_name, &target, 0) == 0;
        return !looked || S_ISREG(target.st_mode) ? EntryKind::File : EntryKind::Other;
    }
    default:
        return EntryKind::Other;
    }
}

} // namespace

// readdir() rather than std::filesystem: the entry's type comes with its name,
// and no path object is made per entry (a store walk took a third of the
// time). Only links, and entries of a file system that gives no type, cost a
// look at their target.
int ListFolder(const std::string& path, const EachEntry& each) {
    const DirHandle dir(::opendir(path.c_str()));
    if (!dir) {
        return -1;
    }
    const int fd = ::dirfd(dir.get());
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            return errno == 0 ? 0 : -1;
        }
        if (!IsDotOrDotDot(entry->d_name)) {
            each(entry->d_name, KindOf(fd, *entry));
        }
    }
}

} // namespace marrowgate::platform
