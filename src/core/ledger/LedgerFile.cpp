#include "ledger/LedgerFile.h"

#include "marrowgate/ConversionError.h"
#include "platform/FileIdentity.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <string_view>

namespace marrowgate {
namespace {

constexpr std::string_view kFirstWord = "marrowgate-ledger ";
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
        if (platform::Status(fd_.Get(), mine) == 0 && platform::LinkStatus(path_, named) == 0 &&
            IdentityOf(mine) == IdentityOf(named)) {
            CheckFirstLine();
            return;
        }
        fd_.Reset();
        created_ = false;
    }
    throw LedgerBusy("Another conversion is writing into " + root_ +
                     "; run this one again when it has ended");
}

FileDescriptor LedgerFile::OpenAndLock() {
    constexpr unsigned kFlags =
        platform::kRead | platform::kWrite | platform::kAppend | platform::kNoFollow;
    FileDescriptor fd;
    // Another run may make it between the two opens: then it is opened again.
    do {
        fd = FileDescriptor(platform::Open(path_, kFlags));
        if (!fd.IsOpen() && errno == ENOENT) {
            fd = FileDescriptor(platform::Open(path_, kFlags | platform::kCreateNew));
            created_ = fd.IsOpen();
        }
    } while (!fd.IsOpen() && errno == EEXIST);
    const std::string refused = "Cannot use the conversion ledger " + path_ + ": ";
    if (!fd.IsOpen()) {
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
    if (platform::Status(fd.Get(), info) != 0 || !info.regular) {
        throw ConversionError(refused + "it is not a regular file");
    }
    if (info.links > 1) {
        // Lines appended through this name would land wherever the others lie.
        throw ConversionError(refused + "it has " + std::to_string(info.links) + " hard links");
    }
    if (platform::LockOwner(fd.Get()) != 0) {
        const int error = errno;
        if (error == EAGAIN) {
            throw LedgerBusy("Another conversion is writing into " + root_ +
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
    const long long got = platform::ReadAt(fd_.Get(), start, sizeof start, 0);
    if (got < 0) {
        throw ConversionError::FromErrno("Cannot read the conversion ledger", path_, errno);
    }
    const std::string_view text(start, static_cast<std::size_t>(got));
    const std::string_view line = text.substr(0, text.find('\n'));
    const std::string newest = std::string(kFirstWord) + std::to_string(kNewestVersion);
    if (text.empty() || (line.size() == text.size() && newest.starts_with(text))) {
        if (!text.empty() && platform::Truncate(fd_.Get(), 0) != 0) {
            throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, errno);
        }
        version_ = 0;
        return;
    }
    const std::string refused = "Cannot use the conversion ledger " + path_ + ": ";
    if (line.size() == text.size() || !line.starts_with(kFirstWord) ||
        line.size() != kFirstWord.size() + 1 || line.back() < '1' || line.back() > '9') {
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
    if (platform::Status(fd_.Get(), mine) == 0 && platform::LinkStatus(path_, named) == 0 &&
        IdentityOf(mine) == IdentityOf(named) && mine.links == 1) {
        return;
    }
    throw ConversionError("The conversion ledger " + path_ +
                          " was removed or replaced while this run was writing into " + root_ +
                          ": another conversion may be writing there; what this run wrote is "
                          "whole, run it again when no other is running");
}

namespace {

// The file a compaction writes beside the ledger: removed again unless it
// took the ledger's place.
class FreshLedger {
public:
    explicit FreshLedger(std::string path) : path_(std::move(path)) {
        platform::Remove(path_); // left by a compaction that was killed
        fd_ = FileDescriptor(platform::Open(path_, platform::kRead | platform::kWrite |
                                                       platform::kAppend | platform::kCreateNew |
                                                       platform::kNoFollow));
        if (!fd_.IsOpen()) {
            throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, errno);
        }
    }
    ~FreshLedger() {
        if (fd_.IsOpen()) {
            fd_.Reset();
            platform::Remove(path_);
        }
    }
    FreshLedger(const FreshLedger&) = delete;
    FreshLedger& operator=(const FreshLedger&) = delete;

    int Fd() const { return fd_.Get(); }
    const std::string& Path() const { return path_; }
    // It is the ledger now: its descriptor is the caller's.
    FileDescriptor Keep() { return std::move(fd_); }

private:
    std::string path_;
    FileDescriptor fd_;
};

// Writes what `write` hands its sink to `fd`, a megabyte at a time: a
// ledger may be larger than is worth holding. False (errno set) on failure.
bool WriteBuffered(int fd, const std::function<void(const LedgerFile::Sink&)>& write) {
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
    write([&](std::string_view bytes) {
        buffer.append(bytes);
        if (buffer.size() >= kBuffer) {
            out();
        }
    });
    out();
    errno = error;
    return done;
}

} // namespace

void LedgerFile::Replace(const std::function<void(const Sink&)>& write) {
    FreshLedger fresh(path_ + ".new");
    bool done = WriteBuffered(fresh.Fd(), write) && platform::Sync(fresh.Fd()) == 0 &&
                platform::LockOwner(fresh.Fd()) == 0;
    int error = errno;
    if (done) {
        // On Windows a file that is open cannot be renamed over; the old
        // lock goes first. A run that opens the old file meanwhile finds
        // its path taken by the new one, which this run holds.
        fd_.Reset();
        done = platform::Rename(fresh.Path(), path_) == 0;
        error = errno;
    }
    if (!done) {
        if (!fd_.IsOpen()) {
            fd_ = OpenAndLock(); // the old file, as it was
        }
        throw ConversionError::FromErrno("Cannot write the conversion ledger", path_, error);
    }
    fd_ = fresh.Keep();
    version_ = kNewestVersion;
    const FileDescriptor folder(platform::Open(root_, platform::kFolder));
    if (folder.IsOpen()) {
        platform::Sync(folder.Get());
    }
}

} // namespace marrowgate
