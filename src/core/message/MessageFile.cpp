#include "message/MessageFile.h"

#include "marrowgate/ConversionError.h"
#include "message/HeaderBlock.h"
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
    // Non-blocking, so that opening a FIFO cannot hang; only regular files
    // are read, and for them the flag changes nothing, so it stays set.
    fd_ = platform::Open(path, platform::kRead);
    if (fd_ < 0) {
        // Windows refuses a file another program opened without sharing it
        // (a mail program still running); the platform reports that as EAGAIN,
        // whose own text ("Resource temporarily unavailable") says nothing.
        if (errno == EAGAIN) {
            throw ConversionError("Cannot open message file " + path +
                                  ": another program has it open; close that program and "
                                  "convert again");
        }
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
    modifiedNanoseconds_ = info.modifiedNanoseconds;
    sizeAtOpen_ = info.size;
    identity_ = {info.device, info.inode};
}

MessageFile::~MessageFile() {
    if (fd_ >= 0) {
        platform::Close(fd_);
    }
}

std::size_t MessageFile::Read(char* data, std::size_t size) {
    if (atEnd_ || size == 0) {
        return 0;
    }
    // Never past the size the file had when opened: a file that grows while
    // it is read (the mailbox being written, say) would be read for ever.
    const std::uint64_t left = sizeAtOpen_ - offset_;
    long long got = 0;
    if (left > 0) {
        got = platform::Read(fd_, data,
                             static_cast<std::size_t>(std::min<std::uint64_t>(size, left)));
        if (got < 0) {
            throw ConversionError::FromErrno("Cannot read message file", path_, errno);
        }
        if (got == 0) {
            throw Changed(); // cut short since it was opened
        }
        offset_ += static_cast<std::uint64_t>(got);
    }
    if (offset_ == sizeAtOpen_) {
        atEnd_ = true;
        CheckUnchanged();
    }
    return static_cast<std::size_t>(got);
}

void MessageFile::CheckUnchanged() const {
    platform::FileStatus info;
    if (platform::Status(fd_, info) != 0) {
        throw ConversionError::FromErrno("Cannot read message file", path_, errno);
    }
    if (info.size != sizeAtOpen_ || info.modified != modified_ ||
        info.modifiedNanoseconds != modifiedNanoseconds_) {
        throw Changed();
    }
}

ConversionError MessageFile::Changed() const {
    return ConversionError("Cannot read message file " + path_ +
                           ": it changed while it was being read");
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
