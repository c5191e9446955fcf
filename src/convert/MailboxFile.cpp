#include "convert/MailboxFile.h"

#include "convert/ConversionError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marrowgate {

MailboxFile::MailboxFile(const std::string& path) : path_(path) {
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK;
    // Most opens are of a mailbox an earlier message created: try that first.
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
    recordStart_ = end_ = static_cast<std::uint64_t>(info.st_size);
}

MailboxFile::~MailboxFile() {
    if (fd_ >= 0) {
        TakeBackRecord();
        ::close(fd_);
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
            TakeBackRecord();
            ::close(fd_);
            fd_ = -1;
            throw ConversionError::FromErrno("Cannot write mailbox file", path_, error);
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
        end_ += static_cast<std::uint64_t>(put);
    }
}

void MailboxFile::EndRecord() {
    recordStart_ = end_;
}

void MailboxFile::Close() {
    if (fd_ < 0) {
        return;
    }
    TakeBackRecord();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        throw ConversionError::FromErrno("Cannot write mailbox file", path_, errno);
    }
}

bool MailboxFile::StillLinked() const {
    struct stat info {};
    return fd_ >= 0 && ::fstat(fd_, &info) == 0 && info.st_nlink > 0;
}

void MailboxFile::TakeBackRecord() noexcept {
    if (end_ == recordStart_) {
        return;
    }
    if (created_ && recordStart_ == 0) {
        ::unlink(path_.c_str());
    } else if (::ftruncate(fd_, static_cast<off_t>(recordStart_)) != 0) {
        // Nothing more can be done: the error that brought us here is reported.
    }
    end_ = recordStart_;
}

} // namespace marrowgate
