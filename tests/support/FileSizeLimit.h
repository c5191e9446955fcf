#pragma once

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>

namespace marrowgate::test {

// Runs `body` with files limited to `bytes`: writes past it fail part-way with
// EFBIG, as they would on a full disk. POSIX only; Windows has no such limit.
template <typename Body> void WithFileSizeLimit(rlim_t bytes, Body body) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    body();
    ::setrlimit(RLIMIT_FSIZE, &old);
}

} // namespace marrowgate::test
#endif
