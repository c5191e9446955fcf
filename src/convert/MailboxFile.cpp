#include "convert/MailboxFile.h"

#include "convert/ConversionError.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace marrowgate {
namespace {

constexpr int kLockAttempts = 50; // 5 s in all

} // namespace

MailboxFile::MailboxFile(const std::string& path) : path_(path) {
    if (const std::string name = platform::UnstorableName(path); !name.empty()) {
        throw ConversionError("Cannot open mailbox file " + path +
                              ": the system reserves the name \"" + name + "\"");
    }
    constexpr unsigned kMode = platform::kWrite | platform::kAppend;
    // Most opens are of a mailbox an earlier message created: try that first.
    fd_ = platform::Open(path, kMode);
    if (fd_ < 0 && errno == ENOENT) {
        fd_ = platform::Open(path, kMode | platform::kCreateNew);
        created_ = fd_ >= 0;
    }
    if (fd_ < 0) {
        throw ConversionError::FromErrno("Cannot open mailbox file", path, errno);
    }
    platform::FileStatus info;
    if (platform::Status(fd_, info) != 0 || !info.regular) {
        platform::Close(fd_);
        fd_ = -1;
        throw ConversionError("Cannot open mailbox file " + path + ": not a regular file");
    }
    // The whole file is locked as mail programs lock it, so that none writes
    // into it meanwhile; one that holds it is waited for a few seconds.
    for (int attempt = 0; platform::LockWhole(fd_) != 0; ++attempt) {
        const int error = errno;
        if (error == ENOLCK) {
            break; // no locks on this file system: nobody can take one either
        }
        if (error != EAGAIN || attempt == kLockAttempts) {
            platform::Close(fd_);
            fd_ = -1;
            if (error == EAGAIN) {
                throw ConversionError("Cannot lock mailbox file " + path +
                                      ": another program holds it");
            }
            throw ConversionError::FromErrno("Cannot lock mailbox file", path, error);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // The size may have changed while the lock was waited for.
    if (platform::Status(fd_, info) != 0) {
        info.size = 0;
    }
    recordStart_ = end_ = info.size;
}

MailboxFile::~MailboxFile() {
    if (fd_ >= 0) {
        TakeBackRecord();
        platform::Close(fd_);
    }
}

void MailboxFile::Write(std::span<const std::string_view> pieces) {
    std::uint64_t written = 0;
    const bool whole = platform::WriteAll(fd_, pieces, written);
    end_ += written;
    if (!whole) {
        const int error = errno;
        TakeBackRecord();
        platform::Close(fd_);
        fd_ = -1;
        throw ConversionError::FromErrno("Cannot write mailbox file", path_, error);
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
    if (platform::Close(fd) != 0) {
        throw ConversionError::FromErrno("Cannot write mailbox file", path_, errno);
    }
}

bool MailboxFile::StillLinked() const {
    platform::FileStatus info;
    return fd_ >= 0 && platform::Status(fd_, info) == 0 && info.links > 0;
}

void MailboxFile::TakeBackRecord() noexcept {
    if (end_ == recordStart_) {
        return;
    }
    if (created_ && recordStart_ == 0) {
        platform::Remove(path_);
    } else if (platform::Truncate(fd_, recordStart_) != 0) {
        // Nothing more can be done: the error that brought us here is reported.
    }
    end_ = recordStart_;
}

} // namespace marrowgate
