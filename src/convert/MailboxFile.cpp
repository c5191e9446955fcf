#include "convert/MailboxFile.h"

#include "convert/ConversionError.h"
#include "convert/MailboxLock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <vector>

namespace marrowgate {

MailboxFile::MailboxFile(const std::string& path) : path_(path) {
    constexpr int kFlags = O_RDWR | O_APPEND | O_CLOEXEC | O_NONBLOCK;
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
    try {
        LockMailbox(fd_, path);
    } catch (...) {
        ::close(fd_);
        fd_ = -1;
        throw;
    }
    // The size may have changed while the lock was waited for.
    if (::fstat(fd_, &info) != 0) {
        info.st_size = 0;
    }
    recordStart_ = end_ = static_cast<std::uint64_t>(info.st_size);
    FindLead();
}

void MailboxFile::FindLead() {
    lead_ = {};
    if (end_ == 0) {
        return;
    }
    // The last three bytes tell: an empty line ends in LF LF or LF CR LF.
    char tail[3] = {'\n', '\n', '\n'};
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(end_, 3));
    const ssize_t got = ::pread(fd_, tail + 3 - want, want, static_cast<off_t>(end_ - want));
    const std::string_view last(tail, 3);
    if (got != static_cast<ssize_t>(want) || last.back() != '\n') {
        lead_ = "\r\n\r\n"; // what cannot be read is taken as torn: an empty line more is harmless
    } else if (!last.ends_with("\n\n") && last != "\n\r\n") {
        lead_ = "\r\n"; // a line end, but no empty line before the next record
    }
}

void MailboxFile::CutBackTo(std::uint64_t size) {
    if (size < end_) {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
            throw ConversionError::FromErrno("Cannot write mailbox file", path_, errno);
        }
        recordStart_ = end_ = size;
        FindLead();
    }
}

void MailboxFile::Sync() {
    if (fd_ >= 0 && ::fsync(fd_) != 0) {
        throw ConversionError::FromErrno("Cannot write mailbox file", path_, errno);
    }
}

MailboxFile::~MailboxFile() {
    if (fd_ >= 0) {
        TakeBackRecord();
        ::close(fd_);
    }
}

void MailboxFile::Write(std::span<const std::string_view> pieces) {
    std::vector<iovec> vectors;
    vectors.reserve(pieces.size() + 1);
    if (end_ == recordStart_ && !lead_.empty()) {
        vectors.push_back({const_cast<char*>(lead_.data()), lead_.size()});
    }
    for (const std::string_view piece : pieces) {
        if (!piece.empty()) {
            vectors.push_back({const_cast<char*>(piece.data()), piece.size()});
        }
    }
    std::span<iovec> left(vectors);
    while (!left.empty()) {
        const int count = static_cast<int>(std::min<std::size_t>(left.size(), IOV_MAX));
        const ssize_t put = ::writev(fd_, left.data(), count);
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
        end_ += static_cast<std::uint64_t>(put);
        // A short write: go on from the first byte not written.
        auto done = static_cast<std::size_t>(put);
        while (!left.empty() && done >= left.front().iov_len) {
            done -= left.front().iov_len;
            left = left.subspan(1);
        }
        if (done > 0) {
            left.front().iov_base = static_cast<char*>(left.front().iov_base) + done;
            left.front().iov_len -= done;
        }
    }
}

void MailboxFile::EndRecord() {
    if (end_ > recordStart_) {
        lead_ = {}; // a record ends with an empty line
    }
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
