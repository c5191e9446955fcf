#include "ledger/LedgerFile.h"

#include "marrowgate/ConversionError.h"
#include "platform/FileIdentity.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <string_view>

namespace marrowgate {
namespace {

constexpr std::string_view kFirstLine = "marrowgate-ledger ";
constexpr int kNewestVersion = 2;

FileIdentity IdentityOf(const platform::FileStatus& info) {
    return {info.device, info.inode};
}

// Text fit to quote in a message: control bytes escaped.
std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text.substr(0, 40)) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            constexpr char kHex[] = "0123456789abcdef";
            quoted += "\\x";
            quoted += kHex[(static_cast<unsigned char>(c) >> 4) & 0xF];
            quoted += kHex[static_cast<unsigned char>(c) & 0xF];
        } else {
            quoted += c;
        }
    }
    return quoted + (text.size() > 40 ? "...\"" : "\"");
}

} // namespace

LedgerFile::LedgerFile(const std::string& path, const std::string& outputRoot)
    : path_(path), root_(outputRoot) {
    // A compaction by the run that holds the lock renames a new file over
    // the one opened here: the lock taken on the old one means nothing then,
    // and the path is opened again.
    for (int attempt = 0; attempt < 20; ++attempt) {
        fd_ = OpenAndLock();
        platform::FileStatus mine;
        platform::FileStatus named;
        if (platform::Status(fd_, mine) == 0 && platform::LinkStatus(path_, named) == 0 &&
            IdentityOf(mine) == IdentityOf(named)) {
            try {
                CheckFirstLine();
            } catch (...) {
                platform::Close(fd_);
                fd_ = -1;
                throw;
            }
            return;
        }
        platform::Close(fd_);
        fd_ = -1;
        created_ = false;
    }
    throw ConversionError("Another conversion is writing into " + root_ +
                          "; run this one again when it has ended");
}

LedgerFile::~LedgerFile() {
    if (fd_ >= 0) {
        platform::Close(fd_); // releases the lock
    }
}

int LedgerFile::OpenAndLock() {
    constexpr unsigned kFlags =
        platform::kRead | platform::kWrite | platform::kAppend | platform::kNoFollow;
    int fd = -1;
    // Another run may make it between the two opens: then it is opened again.
    do {
        fd = platform::Open(path_, kFlags);
        if (fd < 0 && errno == ENOENT) {
            fd = platform::Open(path_, kFlags | platform::kCreateNew);
            created_ = fd >= 0;
        }
    } while (fd < 0 && errno == EEXIST);
    const std::string refused = "Cannot use the conversion ledger " + path_ + ": ";
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP) {
            throw ConversionError(refused + "it is a symbolic link");
        }
        if (error == EISDIR) {
            throw ConversionError(refused + "it is not a regular file");
        }
        throw ConversionError::FromErrno("Cannot open the conversion ledger", path_, error);
    }
    platform::FileStatus info;
    std::string refusal;
    if (platform::Status(fd, info) != 0 || !info.regular) {
        refusal = "it is not a regular file";
    } else if (info.links > 1) {
        // Lines appended through this name would land wherever the others lie.
        refusal = "it has " + std::to_string(info.links) + " hard links";
    }
    if (!refusal.empty()) {
        platform::Close(fd);
        throw ConversionError(refused + refusal);
    }
    if (platform::LockOwner(fd) != 0) {
        const int error = errno;
        platform::Close(fd);
        if (error == EAGAIN) {
            throw ConversionError("Another conversion is writing into " + root_ +
                                  "; run this one again when it has ended");
        }
        throw ConversionError::FromErrno("Cannot lock the conversion ledger", path_, error);
    }
    return fd;
}

// A ledger's first line, or nothing yet (a new file, or one whose first line
// a power cut tore): anything else is someone's file, never written to.
void LedgerFile::CheckFirstLine() {
    char start[64];
    const long long got = platform::ReadAt(fd_, start, sizeof start, 0);
    if (got < 0) {
        throw ConversionError::FromErrno("Cannot read the conversion ledger", path_, errno);
    }
    const std::string_view text(start, static_cast<std::size_t>(got));
    const std::string_view line = text.substr(0, text.find('\n'));
    const std::string newest = std::string(kFirstLine) + std::to_string(kNewestVersion);
    if (text.empty() || (line.size() == text.size() && newest.starts_with(text))) {
        if (!text.empty() && platform::Truncate(fd_, 0) != 0) {
            throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, errno);
        }
        version_ = 0;
        return;
    }
    const std::string refused = "Cannot use the conversion ledger " + path_ + ": ";
    if (line.size() == text.size() || !line.starts_with(kFirstLine) ||
        line.size() != kFirstLine.size() + 1 || line.back() < '1' || line.back() > '9') {
        throw ConversionError(refused + "its first line, " + Quoted(line) +
                              ", is not a conversion ledger's; move it away or convert into "
                              "another folder");
    }
    version_ = line.back() - '0';
    if (version_ > kNewestVersion) {
        throw ConversionError(refused + "a later version of Marrowgate wrote it");
    }
}

void LedgerFile::CheckStillAtItsPath() const {
    platform::FileStatus mine;
    platform::FileStatus named;
    if (platform::Status(fd_, mine) == 0 && platform::LinkStatus(path_, named) == 0 &&
        IdentityOf(mine) == IdentityOf(named) && mine.links == 1) {
        return;
    }
    throw ConversionError("The conversion ledger " + path_ +
                          " was removed or replaced while this run was writing into " + root_ +
                          ": another conversion may be writing there; what this run wrote is "
                          "whole, run it again when no other is running");
}

void LedgerFile::Replace(const std::function<void(const Sink&)>& write) {
    const std::string fresh = path_ + ".new";
    platform::Remove(fresh); // left by a compaction that was killed
    const int fd = platform::Open(fresh, platform::kRead | platform::kWrite | platform::kAppend |
                                             platform::kCreateNew | platform::kNoFollow);
    if (fd < 0) {
        throw ConversionError::FromErrno("Cannot write the conversion ledger", fresh, errno);
    }
    // Written a megabyte at a time: a ledger may be larger than is worth holding.
    constexpr std::size_t kBuffer = 1024 * 1024;
    std::string buffer;
    bool done = true;
    int error = 0;
    const auto out = [&] {
        std::uint64_t written = 0;
        const std::string_view pieces[] = {buffer};
        if (done && !platform::WriteAll(fd, pieces, written)) {
            done = false;
            error = errno;
        }
        buffer.clear();
    };
    try {
        write([&](std::string_view bytes) {
            buffer.append(bytes);
            if (buffer.size() >= kBuffer) {
                out();
            }
        });
    } catch (...) {
        platform::Close(fd);
        platform::Remove(fresh);
        throw;
    }
    out();
    if (done && (platform::Sync(fd) != 0 || platform::LockOwner(fd) != 0)) {
        done = false;
        error = errno;
    }
    if (done) {
        // On Windows a file that is open cannot be renamed over; the old
        // lock goes first. A run that opens the old file meanwhile finds
        // its path taken by the new one, which this run holds.
        platform::Close(fd_);
        fd_ = -1;
        done = platform::Rename(fresh, path_) == 0;
        error = errno;
    }
    if (!done) {
        platform::Close(fd);
        platform::Remove(fresh);
        if (fd_ < 0) {
            fd_ = OpenAndLock(); // the old file, as it was
        }
        throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, error);
    }
    fd_ = fd;
    version_ = kNewestVersion;
    const std::string folder = root_;
    const int folderFd = platform::Open(folder, platform::kFolder);
    if (folderFd >= 0) {
        platform::Sync(folderFd);
        platform::Close(folderFd);
    }
}

} // namespace marrowgate
