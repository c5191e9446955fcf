#include "convert/MailboxLock.h"

#include "convert/ConversionError.h"

#include <cerrno>
#include <fcntl.h>
#include <time.h>

namespace marrowgate {
namespace {

constexpr int kAttempts = 50;
constexpr long kPauseNs = 100'000'000; // 5 s in all

} // namespace

void LockMailbox(int fd, const std::string& path) {
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    for (int attempt = 0;; ++attempt) {
        if (::fcntl(fd, F_SETLK, &whole) == 0) {
            return;
        }
        const int error = errno;
        if (error == ENOLCK || error == EINVAL || error == EOPNOTSUPP) {
            return; // no locks on this file system: nobody can take one either
        }
        if (error != EACCES && error != EAGAIN && error != EINTR) {
            throw ConversionError::FromErrno("Cannot lock mailbox file", path, error);
        }
        if (attempt == kAttempts) {
            throw ConversionError("Cannot lock mailbox file " + path +
                                  ": another program holds it (a mail program or delivery agent)");
        }
        const timespec pause{0, kPauseNs};
        ::nanosleep(&pause, nullptr);
    }
}

} // namespace marrowgate
