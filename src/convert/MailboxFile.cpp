#include "convert/MailboxFile.h"

#include "convert/ConversionError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marrowgate {

MailboxFile::MailboxFile(const std::string& path) : path_(path) {
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK;
    // Most calls append to a mailbox an earlier message created: try that first.
    fd_ = ::open(path.c_str(), kFlags);
    if (fd_ < 0 && errno == ENOENT) {
        fd_ = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
        created_ = fd_ >= 0;
    }
    if (fd_ < 0) {
        throw ConversionError::FromErrno("Cannot open mailbox file", path, errno);
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw ConversionError("Cannot open mailbox file " + path + ": not a regular file");
    }
    formerSize_ = static_cast<std::uint64_t>(info.st_size);
}

MailboxFile::~MailboxFile() {
    if (fd_ >= 0) {
        RollBack();
    }
}

void MailboxFile::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            const int error = put < 0 ? errno : ENOSPC;
            RollBack();
            throw ConversionError::FromErrno("Cannot write mailbox file", path_, error);
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
        written_ += static_cast<std::uint64_t>(put);
    }
}

void MailboxFile::Commit() {
    if (fd_ < 0) {
        throw ConversionError("Cannot write mailbox file " + path_ + ": already closed");
    }
    const int fd = fd_;
    if (::close(fd) != 0) {
        const int error = errno;
        fd_ = -1;
        // The descriptor is gone; cut the file back through its path.
        if (created_) {
            ::unlink(path_.c_str());
        } else if (::truncate(path_.c_str(), static_cast<off_t>(formerSize_)) != 0) {
            // The close error is the one worth reporting.
        }
        throw ConversionError::FromErrno("Cannot write mailbox file", path_, error);
    }
    fd_ = -1;
}

void MailboxFile::RollBack() noexcept {
    if (fd_ < 0) {
        return;
    }
    if (created_) {
        ::unlink(path_.c_str());
    } else if (::ftruncate(fd_, static_cast<off_t>(formerSize_)) != 0) {
        // Nothing more can be done: the error that brought us here is reported.
    }
    ::close(fd_);
    fd_ = -1;
}

} // namespace marrowgate
