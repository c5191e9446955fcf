#include "platform/Socket.h"

#include <cerrno>
#include <poll.h>

namespace marrowgate::platform {

int WaitForSocket(SocketHandle socket, bool forWrite, int timeoutMs) {
    pollfd watched{static_cast<int>(socket), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    int ready = 0;
    do {
        ready = ::poll(&watched, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    // A closed or failed connection counts as readable: the read then tells.
    return ready;
}

} // namespace marrowgate::platform
