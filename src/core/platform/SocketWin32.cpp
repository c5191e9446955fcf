#include "platform/Socket.h"

#include <winsock2.h>

#include <cerrno>

namespace marrowgate::platform {

int WaitForSocket(SocketHandle socket, bool forWrite, int timeoutMs) {
    fd_set watched;
    FD_ZERO(&watched);
    FD_SET(static_cast<SOCKET>(socket), &watched);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready =
        select(0, forWrite ? nullptr : &watched, forWrite ? &watched : nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR) {
        errno = EIO;
        return -1;
    }
    return ready;
}

} // namespace marrowgate::platform
