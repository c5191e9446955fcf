#include "convert/MessageFile.h"

#include "convert/ConversionError.h"
#include "convert/HeaderBlock.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace marrowgate {
namespace {

constexpr std::size_t kStartChunk = 64 * 1024;

} // namespace

MessageFile::MessageFile(const std::string& path) : path_(path) {
    // The system would read the path only up to the NUL, and open another file.
    if (path.find('\0') != std::string::npos) {
        throw ConversionError("Cannot open message file " + path +
                              ": the path holds a NUL character");
    }
    // Non-blocking, so that opening a FIFO cannot hang; only regular files
    // are read, and for them the flag changes nothing, so it stays set.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        throw ConversionError::FromErrno("Cannot open message file", path, errno);
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        const int error = errno;
        ::close(fd_);
        throw ConversionError::FromErrno("Cannot open message file", path, error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd_);
        throw ConversionError("Cannot open message file " + path + ": not a regular file");
    }
    modified_ = std::chrono::sys_seconds(std::chrono::seconds(info.st_mtime));
    sizeAtOpen_ = static_cast<std::uint64_t>(info.st_size);
}

MessageFile::~MessageFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::size_t MessageFile::Read(char* data, std::size_t size) {
    if (atEnd_) {
        return 0;
    }
    ssize_t got;
    do {
        got = ::read(fd_, data, size);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        throw ConversionError::FromErrno("Cannot read message file", path_, errno);
    }
    offset_ += static_cast<std::uint64_t>(got);
    // A short read that reaches the size the file had when opened is the end:
    // this saves asking again only to be told so, once per message. A file
    // that has grown since is read on to its new end.
    atEnd_ = got == 0 ||
             (static_cast<std::size_t>(got) < size && sizeAtOpen_ > 0 && offset_ >= sizeAtOpen_);
    return static_cast<std::size_t>(got);
}

std::size_t MessageFile::ReadStart(char* buffer, std::size_t capacity) {
    std::size_t filled = 0;
    while (filled < capacity) {
        const std::size_t got = Read(buffer + filled, std::min(kStartChunk, capacity - filled));
        if (got == 0) {
            break;
        }
        // An empty line may straddle two reads: look from the last byte before.
        const std::size_t scanFrom = filled == 0 ? 0 : filled - 1;
        filled += got;
        if (HeaderBlock::IsComplete(std::string_view(buffer + scanFrom, filled - scanFrom))) {
            break;
        }
    }
    return filled;
}

std::string MessageFile::ReadStart() {
    const auto buffer = std::make_unique_for_overwrite<char[]>(kStartLimit);
    return std::string(buffer.get(), ReadStart(buffer.get(), kStartLimit));
}

} // namespace marrowgate
