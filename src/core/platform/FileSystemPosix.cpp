#include "platform/FileSystem.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace marrowgate::platform {
namespace {

int Flags(unsigned mode) {
    int flags = O_CLOEXEC | O_NONBLOCK;
    if (mode & kFolder) {
        return flags | O_RDONLY | O_DIRECTORY | ((mode & kNoFollow) ? O_NOFOLLOW : 0);
    }
    flags |= (mode & kRead) && (mode & kWrite) ? O_RDWR : (mode & kWrite) ? O_WRONLY : O_RDONLY;
    if (mode & kAppend) {
        flags |= O_APPEND;
    }
    if (mode & kCreateNew) {
        flags |= O_CREAT | O_EXCL;
    }
    if (mode & kNoFollow) {
        flags |= O_NOFOLLOW;
    }
    return flags;
}

void Fill(const struct stat& info, FileStatus& status) {
    status.regular = S_ISREG(info.st_mode);
    status.folder = S_ISDIR(info.st_mode);
    status.link = S_ISLNK(info.st_mode);
    status.size = static_cast<std::uint64_t>(info.st_size);
    status.modified = std::chrono::sys_seconds(std::chrono::seconds(info.st_mtim.tv_sec));
    status.modifiedNanoseconds = info.st_mtim.tv_nsec;
    status.links = static_cast<std::uint64_t>(info.st_nlink);
    status.device = static_cast<std::uint64_t>(info.st_dev);
    status.inode = static_cast<std::uint64_t>(info.st_ino);
}

} // namespace

std::string SystemPath(const std::string& path) {
    return path;
}

std::string UserPath(const std::string& path) {
    return path;
}

int Open(const std::string& path, unsigned mode) {
    return ::open(path.c_str(), Flags(mode), 0666);
}

int OpenAt(int folder, const std::string& name, unsigned mode) {
    return ::openat(folder, name.c_str(), Flags(mode), 0666);
}

int Close(int fd) {
    return ::close(fd);
}

long long Read(int fd, char* data, std::size_t size) {
    ssize_t got;
    do {
        got = ::read(fd, data, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

long long ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset) {
    ssize_t got;
    do {
        got = ::pread(fd, data, size, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got;
}

bool WriteAll(int fd, std::span<const std::string_view> pieces, std::uint64_t& written) {
    written = 0;
    std::vector<iovec> vectors;
    vectors.reserve(pieces.size());
    for (const std::string_view piece : pieces) {
        if (!piece.empty()) {
            vectors.push_back({const_cast<char*>(piece.data()), piece.size()});
        }
    }
    std::span<iovec> left(vectors);
    while (!left.empty()) {
        const int count = static_cast<int>(std::min<std::size_t>(left.size(), IOV_MAX));
        const ssize_t put = ::writev(fd, left.data(), count);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            if (put == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        written += static_cast<std::uint64_t>(put);
        // A short write: go on from the first byte not written.
        auto done = static_cast<std::size_t>(put);
        while (!left.empty() && done >= left.front().iov_len) {
            done -= left.front().iov_len;
            left = left.subspan(1);
        }
        if (done > 0) {
            left.front().iov_base = static_cast<char*>(left.front().iov_base) + done;
            left.front().iov_len -= done;
        }
    }
    return true;
}

int Truncate(int fd, std::uint64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size));
}

int Sync(int fd) {
    // Some file systems cannot flush a folder; its entries are then as safe
    // as they get.
    return ::fsync(fd) == 0 || errno == EINVAL ? 0 : -1;
}

int StartWriteBack(int fd, std::uint64_t offset, std::uint64_t length) {
#ifdef __linux__
    return ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                             SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    (void)offset;
    (void)length;
    return 0;
#endif
}

int LockWhole(int fd) {
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_SETLK, &whole) == 0) {
        return 0;
    }
    if (errno == EACCES) {
        errno = EAGAIN;
    } else if (errno == EINVAL || errno == EOPNOTSUPP) {
        errno = ENOLCK;
    }
    return -1;
}

int LockOwner(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return 0;
    }
    if (errno == EWOULDBLOCK) {
        errno = EAGAIN;
    }
    return -1;
}

int MakeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0777);
}

int MakeFolderAt(int folder, const std::string& name) {
    return ::mkdirat(folder, name.c_str(), 0777);
}

int Remove(const std::string& path) {
    return ::unlink(path.c_str());
}

int Rename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str());
}

int RemoveAt(int folder, const std::string& name) {
    return ::unlinkat(folder, name.c_str(), 0);
}

int Status(int fd, FileStatus& status) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return -1;
    }
    Fill(info, status);
    return 0;
}

int Status(const std::string& path, FileStatus& status) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return -1;
    }
    Fill(info, status);
    return 0;
}

int LinkStatus(const std::string& path, FileStatus& status) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return -1;
    }
    Fill(info, status);
    return 0;
}

int StatusAt(int folder, const std::string& name, FileStatus& status) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return -1;
    }
    Fill(info, status);
    return 0;
}

std::optional<std::string> RealPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    if (!real) {
        return std::nullopt;
    }
    return std::string(real.get());
}

bool StorableName(std::string_view name) {
    return !name.empty() && name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

std::string UnstorableName(const std::string&) {
    return {}; // every name a path can hold
}

// renameat2's RENAME_NOREPLACE where the kernel and the file system have it;
// elsewhere a look first, which leaves only a race no caller of ours runs.
int RenameAt(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName) {
#if defined(SYS_renameat2)
    constexpr unsigned kNoReplace = 1; // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, fromFolder, fromName.c_str(), toFolder, toName.c_str(),
                  kNoReplace) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
#endif
    struct stat info {};
    if (::fstatat(toFolder, toName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(fromFolder, fromName.c_str(), toFolder, toName.c_str());
}

int SetModificationTime(int fd, std::chrono::sys_seconds time) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time.time_since_epoch().count(), 0}};
    return ::futimens(fd, times);
}

} // namespace marrowgate::platform
