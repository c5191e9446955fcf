#pragma once

#include <string>

namespace marrowgate {

// Takes the fcntl write lock on the whole of the open mailbox `fd`, as mail
// delivery programs and readers do, so that none of them writes into it while
// records are appended. The lock goes with the file's close. A mailbox that
// someone else holds is waited for briefly; then ConversionError is thrown
// naming `path`. File systems without locks are written without one.
void LockMailbox(int fd, const std::string& path);

} // namespace marrowgate
