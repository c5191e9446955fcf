#pragma once

#include <cstdint>

namespace marrowgate::platform {

// A network socket as the system numbers it (a descriptor on POSIX systems, a
// SOCKET on Windows).
using SocketHandle = std::uintptr_t;

// Waits until `socket` can be read from (or, with `forWrite`, written to),
// at most `timeoutMs` milliseconds. 1 when it can, 0 on time-out, -1 on an
// error (errno set). One implementation per system family: SocketPosix.cpp
// and SocketWin32.cpp.
int WaitForSocket(SocketHandle socket, bool forWrite, int timeoutMs);

} // namespace marrowgate::platform
