#include "convert/MessageFile.h"

#include "convert/ConversionError.h"
#include "convert/HeaderBlock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marrowgate {
namespace {

constexpr std::size_t kStartChunk = 64 * 1024;
constexpr std::size_t kStartLimit = 4 * 1024 * 1024;

} // namespace

MessageFile::MessageFile(const std::string& path) : path_(path) {
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
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    modified_ = std::chrono::sys_seconds(std::chrono::seconds(info.st_mtime));
}

MessageFile::~MessageFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::size_t MessageFile::ReadInto(std::string& buffer, std::size_t maxBytes) {
    const std::size_t oldSize = buffer.size();
    buffer.resize(oldSize + maxBytes);
    ssize_t got;
    do {
        got = ::read(fd_, buffer.data() + oldSize, maxBytes);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        const int error = errno;
        buffer.resize(oldSize);
        throw ConversionError::FromErrno("Cannot read message file", path_, error);
    }
    buffer.resize(oldSize + static_cast<std::size_t>(got));
    return static_cast<std::size_t>(got);
}

std::string MessageFile::ReadStart() {
    std::string start;
    while (start.size() < kStartLimit) {
        const std::size_t scanFrom = start.empty() ? 0 : start.size() - 1;
        if (ReadInto(start, kStartChunk) == 0 ||
            HeaderBlock::IsComplete(std::string_view(start).substr(scanFrom))) {
            break;
        }
    }
    return start;
}

} // namespace marrowgate
