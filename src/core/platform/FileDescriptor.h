#pragma once

#include "platform/FileSystem.h"

#include <utility>

namespace marrowgate {

// An open file or folder descriptor, closed when this object goes away.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            platform::Close(fd_);
        }
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it (to close it and see the
    // result); -1 when none is open.
    int Release() { return std::exchange(fd_, -1); }
    // Closes the descriptor now, when one is open.
    void Reset() {
        if (fd_ >= 0) {
            platform::Close(Release());
        }
    }

private:
    int fd_ = -1;
};

} // namespace marrowgate
