#include "output/MailboxLock.h"

#include "marrowgate/ConversionError.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <chrono>
#include <thread>

namespace marrowgate {
namespace {

constexpr int kAttempts = 50;
constexpr std::chrono::milliseconds kPause(100); // 5 s in all

} // namespace

void LockMailbox(int fd, const std::string& path) {
    for (int attempt = 0;; ++attempt) {
        if (platform::LockWhole(fd) == 0) {
            return;
        }
        const int error = errno;
        if (error == ENOLCK) {
            return; // no locks on this file system: nobody can take one either
        }
        if (error != EAGAIN && error != EINTR) {
            throw ConversionError::FromErrno("Cannot lock mailbox file", path, error);
        }
        if (attempt == kAttempts) {
            throw ConversionError("Cannot lock mailbox file " + path +
                                  ": another program holds it (a mail program or delivery agent)");
        }
        std::this_thread::sleep_for(kPause);
    }
}

} // namespace marrowgate
