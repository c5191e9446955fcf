#include "platform/FileSystem.h"

#include "pathtext/WindowsPaths.h"
#include "platform/Win32Support.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace marrowgate::platform {

using win32::Fail;
using win32::HandleOf;
using win32::LongPath;
using win32::Narrow;
using win32::PathOf;
using win32::Wide;

namespace {

// The paths of the folders open as descriptors, for the *At() functions: the
// system gives them back for a handle, but not at every length everywhere.
std::mutex folderPathsLock;
std::unordered_map<int, std::wstring> folderPaths;

void RememberFolder(int fd, const std::wstring& path) {
    const std::lock_guard lock(folderPathsLock);
    folderPaths[fd] = path;
}

// Opens a handle, as CreateFileW does, and refuses a link when asked to.
HANDLE OpenHandle(const std::wstring& path, DWORD access, DWORD creation, unsigned mode) {
    DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS;
    if (mode & kNoFollow) {
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    }
    // Others may go on reading, writing, renaming and removing the file, as
    // they may on POSIX systems.
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle = CreateFileW(path.c_str(), access, kShare, nullptr, creation, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return handle;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    const bool isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((mode & kNoFollow) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(handle);
        errno = ELOOP;
        return nullptr;
    }
    // Windows refuses to write a read-only file, but wine lets its
    // administrator (root) do it: the attribute is honoured here too.
    if ((access & GENERIC_WRITE) && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
        CloseHandle(handle);
        errno = EACCES;
        return nullptr;
    }
    if (isFolder != ((mode & kFolder) != 0)) {
        CloseHandle(handle);
        errno = isFolder ? EISDIR : ENOTDIR;
        return nullptr;
    }
    return handle;
}

// A new entry whose name the system would not show or open as it stands
// (it takes such names in the \\?\ form) is refused.
bool StorableLast(const std::wstring& path) {
    const auto cut = path.find_last_of(L'\\');
    return StorableName(Narrow(cut == std::wstring::npos ? path : path.substr(cut + 1)));
}

int OpenPath(const std::wstring& path, unsigned mode) {
    DWORD access = 0;
    int crtFlags = 0;
    if (mode & kFolder) {
        access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
        crtFlags = _O_RDONLY;
    } else if (mode & kWrite) {
        // Reading too: appends look at the file's last bytes.
        access = GENERIC_READ | GENERIC_WRITE;
        crtFlags = (mode & kAppend) ? _O_RDWR | _O_APPEND : _O_RDWR;
    } else {
        access = GENERIC_READ;
        crtFlags = _O_RDONLY;
    }
    if ((mode & kCreateNew) && !StorableLast(path)) {
        errno = EINVAL;
        return -1;
    }
    const DWORD creation = (mode & kCreateNew) ? CREATE_NEW : OPEN_EXISTING;
    HANDLE handle = OpenHandle(path, access, creation, mode);
    if (handle == INVALID_HANDLE_VALUE) {
        return Fail();
    }
    if (handle == nullptr) {
        return -1; // errno set
    }
    // A descriptor without _O_TEXT is binary: line ends pass unchanged.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), crtFlags);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
    } else if (mode & kFolder) {
        RememberFolder(fd, path);
    }
    return fd;
}

// The path of `name` inside the open folder `folder`, or empty (errno set).
std::wstring PathAt(int folder, const std::string& name) {
    if (name.empty() || name.find_first_of("\\/") != std::string::npos) {
        errno = EINVAL;
        return {};
    }
    std::wstring path;
    {
        const std::lock_guard lock(folderPathsLock);
        const auto known = folderPaths.find(folder);
        if (known != folderPaths.end()) {
            path = known->second;
        }
    }
    if (path.empty()) {
        const HANDLE handle = HandleOf(folder);
        path = handle == INVALID_HANDLE_VALUE ? std::wstring() : PathOf(handle);
    }
    if (path.empty()) {
        errno = EBADF;
        return {};
    }
    if (path.back() != L'\\') {
        path += L'\\';
    }
    return path + Wide(name);
}

// FILETIME counts 100 ns from 1601; the Unix epoch is 11644473600 s later.
void SetModified(const FILETIME& time, FileStatus& status) {
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    constexpr std::uint64_t kTicksPerSecond = 10'000'000;
    constexpr std::int64_t kEpochOffset = 11'644'473'600;
    status.modified = std::chrono::sys_seconds(
        std::chrono::seconds(static_cast<std::int64_t>(ticks / kTicksPerSecond) - kEpochOffset));
    status.modifiedNanoseconds = static_cast<long>(ticks % kTicksPerSecond) * 100;
}

int StatusOf(HANDLE handle, FileStatus& status) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return Fail();
    }
    status.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    status.regular = !status.folder && !status.link && GetFileType(handle) == FILE_TYPE_DISK;
    status.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    SetModified(info.ftLastWriteTime, status);
    status.links = info.nNumberOfLinks;
    // A removed file that is still open is only marked for deletion.
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) &&
        standard.DeletePending) {
        status.links = 0;
    }
    status.device = info.dwVolumeSerialNumber;
    status.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return 0;
}

int StatusOfPath(const std::wstring& path, FileStatus& status, bool follow) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Fail();
    }
    const int result = StatusOf(handle, status);
    CloseHandle(handle);
    return result;
}

int MakeFolderPath(const std::wstring& path) {
    if (!StorableLast(path)) {
        errno = EINVAL;
        return -1;
    }
    return CreateDirectoryW(path.c_str(), nullptr) ? 0 : Fail();
}

int RemovePath(const std::wstring& path) {
    return DeleteFileW(path.c_str()) ? 0 : Fail();
}

} // namespace

std::string SystemPath(const std::string& path) {
    return ExtendedWindowsPath(path);
}

std::string UserPath(const std::string& path) {
    return WithoutExtendedPrefix(path);
}

int Open(const std::string& path, unsigned mode) {
    return OpenPath(LongPath(path), mode);
}

int OpenAt(int folder, const std::string& name, unsigned mode) {
    const std::wstring path = PathAt(folder, name);
    return path.empty() ? -1 : OpenPath(path, mode);
}

int Close(int fd) {
    {
        const std::lock_guard lock(folderPathsLock);
        folderPaths.erase(fd);
    }
    return _close(fd);
}

long long Read(int fd, char* data, std::size_t size) {
    return _read(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}

long long ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset) {
    // Like pread: the offset of later reads and writes stays where it was.
    const long long before = _lseeki64(fd, 0, SEEK_CUR);
    if (before < 0 || _lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0) {
        return -1;
    }
    const long long got = Read(fd, data, size);
    const int error = errno;
    _lseeki64(fd, before, SEEK_SET);
    errno = error;
    return got;
}

bool WriteAll(int fd, std::span<const std::string_view> pieces, std::uint64_t& written) {
    written = 0;
    for (std::string_view piece : pieces) {
        while (!piece.empty()) {
            const std::size_t chunk = std::min<std::size_t>(piece.size(), INT_MAX);
            const int put = _write(fd, piece.data(), static_cast<unsigned>(chunk));
            if (put <= 0) {
                if (put == 0) {
                    errno = ENOSPC;
                }
                return false;
            }
            written += static_cast<std::uint64_t>(put);
            piece.remove_prefix(static_cast<std::size_t>(put));
        }
    }
    return true;
}

int Truncate(int fd, std::uint64_t size) {
    const errno_t error = _chsize_s(fd, static_cast<long long>(size));
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

int Sync(int fd) {
    FileStatus status;
    if (Status(fd, status) == 0 && status.folder) {
        return 0; // a folder's entries are written through by the system
    }
    return _commit(fd);
}

// Windows has no call that starts a file's write-back without waiting for it.
int StartWriteBack(int /*fd*/, std::uint64_t /*offset*/, std::uint64_t /*length*/) {
    return 0;
}

int LockWhole(int fd) {
    const HANDLE handle = HandleOf(fd);
    OVERLAPPED from{};
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                   MAXDWORD, &from)) {
        return 0;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
        errno = EAGAIN;
        return -1;
    }
    return Fail(error);
}

int LockOwner(int fd) {
    OVERLAPPED last{};
    last.Offset = MAXDWORD - 1;
    last.OffsetHigh = 0x7FFFFFFF;
    if (LockFileEx(HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &last)) {
        return 0;
    }
    return Fail();
}

int MakeFolder(const std::string& path) {
    return MakeFolderPath(LongPath(path));
}

int MakeFolderAt(int folder, const std::string& name) {
    const std::wstring path = PathAt(folder, name);
    return path.empty() ? -1 : MakeFolderPath(path);
}

int Remove(const std::string& path) {
    return RemovePath(LongPath(path));
}

int RemoveAt(int folder, const std::string& name) {
    const std::wstring path = PathAt(folder, name);
    return path.empty() ? -1 : RemovePath(path);
}

int Rename(const std::string& from, const std::string& to) {
    return MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : Fail();
}

int Status(int fd, FileStatus& status) {
    const HANDLE handle = HandleOf(fd);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    return StatusOf(handle, status);
}

int Status(const std::string& path, FileStatus& status) {
    return StatusOfPath(LongPath(path), status, true);
}

int LinkStatus(const std::string& path, FileStatus& status) {
    return StatusOfPath(LongPath(path), status, false);
}

int StatusAt(int folder, const std::string& name, FileStatus& status) {
    const std::wstring path = PathAt(folder, name);
    return path.empty() ? -1 : StatusOfPath(path, status, false);
}

std::optional<std::string> RealPath(const std::string& path) {
    HANDLE handle = CreateFileW(LongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Fail();
        return std::nullopt;
    }
    std::wstring real = PathOf(handle);
    CloseHandle(handle);
    if (real.empty()) {
        real = LongPath(path); // absolute, but links not resolved
    }
    return UserPath(Narrow(real)); // shown to users
}

bool StorableName(std::string_view name) {
    return StorableWindowsName(name);
}

std::string UnstorableName(const std::string& path) {
    return FirstUnstorableWindowsName(path);
}

int RenameAt(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName) {
    const std::wstring from = PathAt(fromFolder, fromName);
    const std::wstring to = PathAt(toFolder, toName);
    if (from.empty() || to.empty()) {
        return -1;
    }
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : Fail();
}

// FILETIME counts 100-nanosecond steps since 1601.
int SetModificationTime(int fd, std::chrono::sys_seconds time) {
    constexpr long long kFrom1601 = 11644473600LL;
    const auto ticks =
        static_cast<unsigned long long>((time.time_since_epoch().count() + kFrom1601) * 10000000LL);
    FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    return SetFileTime(handle, nullptr, nullptr, &written) ? 0 : Fail();
}

} // namespace marrowgate::platform
