#include "convert/MessageFile.h"

#include "convert/ConversionError.h"
#include "convert/HeaderBlock.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <memory>

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
    // The open never blocks, so that a FIFO cannot hang the run; only
    // regular files are read.
    fd_ = platform::Open(path, platform::kRead);
    if (fd_ < 0) {
        throw ConversionError::FromErrno("Cannot open message file", path, errno);
    }
    platform::FileStatus info;
    if (platform::Status(fd_, info) != 0) {
        const int error = errno;
        platform::Close(fd_);
        throw ConversionError::FromErrno("Cannot open message file", path, error);
    }
    if (!info.regular) {
        platform::Close(fd_);
        throw ConversionError("Cannot open message file " + path + ": not a regular file");
    }
    modified_ = info.modified;
    sizeAtOpen_ = info.size;
}

MessageFile::~MessageFile() {
    if (fd_ >= 0) {
        platform::Close(fd_);
    }
}

std::size_t MessageFile::Read(char* data, std::size_t size) {
    if (atEnd_) {
        return 0;
    }
    const long long got = platform::Read(fd_, data, size);
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
