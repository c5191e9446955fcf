#pragma once

#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The file operations the core needs, with one meaning on every system. Paths
// and names are UTF-8 text. Open files and folders are plain int descriptors
// (on Windows, C runtime descriptors over the system's handles, always in
// binary mode), closed with Close(). Like the POSIX calls they stand for,
// functions report failure with -1 (or false) and an errno value in errno,
// so that ConversionError::FromErrno gives the same reasons everywhere.
//
// One implementation per system family: FileSystemPosix.cpp and
// FileSystemWin32.cpp. On Windows, paths longer than the classic 260
// characters work (they are handed to the system in their \\?\ form).
namespace marrowgate::platform {

// The longest path the system opens, in bytes of UTF-8 (on Windows, in
// UTF-16 units, which UTF-8 never has fewer of).
#ifdef _WIN32
constexpr std::size_t kPathLimit = 32767;
#else
constexpr std::size_t kPathLimit = PATH_MAX;
#endif

// The form of a path to hand the system. On Windows an absolute path gets
// the extended form ("\\?\C:\...", "\\?\UNC\server\share\..."), which
// takes any length and every name as it stands ("CON" a folder, not the
// console; "Inbox." not "Inbox"); paths with "/" or a "." or ".." part keep
// the classic form, which resolves them. Elsewhere paths stay as they are.
std::string SystemPath(const std::string& path);
// The form users know: without the extended form's prefix.
std::string UserPath(const std::string& path);

// How Open()/OpenAt() open. Every open is close-on-exec and never blocks on a
// pipe or device.
enum OpenMode : unsigned {
    kRead = 1u << 0,
    kWrite = 1u << 1, // with kAppend: every write goes to the end
    kAppend = 1u << 2,
    kCreateNew = 1u << 3, // create; fail with EEXIST when the name is taken
    kNoFollow = 1u << 4,  // fail with ELOOP when the name is a link
    kFolder = 1u << 5,    // open a folder, for the *At() functions
};

int Open(const std::string& path, unsigned mode);
// `name` is one name inside the open folder `folder`.
int OpenAt(int folder, const std::string& name, unsigned mode);
int Close(int fd);

// Reads at the current offset, or at `offset` without moving it; retries
// interrupted calls.
long long Read(int fd, char* data, std::size_t size);
long long ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset);
// Writes all of `pieces`, in order, in as few calls as the system allows;
// false (errno set) on the first failure, `written` then telling how much
// got through.
bool WriteAll(int fd, std::span<const std::string_view> pieces, std::uint64_t& written);

int Truncate(int fd, std::uint64_t size);
// Flushes the file's data (and, where the system has it, a folder's entries)
// to disk.
int Sync(int fd);
// Starts writing bytes [offset, offset + length) of the file to disk without
// waiting for them, so that a later Sync() finds little left to do. Only a
// hint: where the system has no such call it does nothing. 0, or -1 and
// errno.
int StartWriteBack(int fd, std::uint64_t offset, std::uint64_t length);

// The whole-file write lock that mail programs on the system honour (POSIX
// record locks; on Windows, a byte-range lock over the whole file). Does not
// wait: EAGAIN when another program holds it, ENOLCK when the file system
// has no locks.
int LockWhole(int fd);
// The lock that lets one program at a time own a file (BSD flock on POSIX
// systems; on Windows, a lock on the last byte a file could have, which
// holds no data and so blocks no reader). Does not wait; EAGAIN when held.
int LockOwner(int fd);

// Gives the file `fromName` of the open folder `fromFolder` the name `toName`
// in `toFolder`, in one step; fails with EEXIST when that name is taken
// (never replaces a file).
int RenameAt(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName);
// Sets an open file's modification time (mail stores read a message file's
// time as the date it was received).
int SetModificationTime(int fd, std::chrono::sys_seconds time);

int MakeFolder(const std::string& path);
int MakeFolderAt(int folder, const std::string& name);
int Remove(const std::string& path);
int RemoveAt(int folder, const std::string& name);
// Gives the file `from` the name `to`, in one step, replacing a file of that
// name.
int Rename(const std::string& from, const std::string& to);

struct FileStatus {
    bool regular = false;
    bool folder = false;
    bool link = false; // a symbolic link or other redirection (not followed)
    std::uint64_t size = 0;
    std::chrono::sys_seconds modified{};
    long modifiedNanoseconds = 0;
    std::uint64_t links = 1; // names the file has
    std::uint64_t device = 0;
    std::uint64_t inode = 0; // with `device`, which file it is
};

int Status(int fd, FileStatus& status);
// Status() follows a link at `path`; LinkStatus() and StatusAt() do not.
int Status(const std::string& path, FileStatus& status);
int LinkStatus(const std::string& path, FileStatus& status);
int StatusAt(int folder, const std::string& name, FileStatus& status);

// The absolute path with every link resolved, or nothing (errno set).
std::optional<std::string> RealPath(const std::string& path);

// Whether the program makes a file or folder of this name: on Windows not
// "CON" and the other device names, which other programs would open as the
// device (a final dot or space is kept, see StorableWindowsName); POSIX takes
// every name without "/" or NUL.
bool StorableName(std::string_view name);

// What a folder listing tells of an entry: a regular file, or a link to one
// (or to nothing, or to what cannot be looked at, which opening it then
// reports); a folder; anything else (a link to a folder, a pipe, a device, a
// socket, an entry gone since it was listed), which walks pass over.
enum class EntryKind { File, Folder, Other };
using EachEntry = std::function<void(std::string_view name, EntryKind kind)>;
// Calls `each` with the name and kind of every entry of the folder `path` but
// "." and "..", names as the system stores them (on Windows "Inbox." and
// "CON" too). 0, or -1 and errno. What `each` throws ends the listing.
int ListFolder(const std::string& path, const EachEntry& each);

// The first name of `path`, below its root, that StorableName() refuses; the
// empty text when there is none.
std::string UnstorableName(const std::string& path);

} // namespace marrowgate::platform
