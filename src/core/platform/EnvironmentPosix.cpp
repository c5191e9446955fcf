#include "platform/Environment.h"

#include "marrowgate/Terminal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <memory>

namespace marrowgate::platform {
namespace {

// The terminal's settings, put back however the reading ends.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (::tcgetattr(fd_, &saved_) == 0) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            active_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff() {
        if (active_) {
            ::tcsetattr(fd_, TCSAFLUSH, &saved_);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    bool Active() const { return active_; }

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

} // namespace

std::optional<std::string> ReadHiddenLine(const std::string& prompt) {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<std::string> line;
    {
        const EchoOff echoOff(fd);
        if (echoOff.Active() &&
            ::write(fd, prompt.data(), prompt.size()) == static_cast<ssize_t>(prompt.size())) {
            std::string typed;
            char c = 0;
            ssize_t got = 0;
            while ((got = ::read(fd, &c, 1)) == 1 && c != '\n') {
                typed.push_back(c);
            }
            if (got == 1) {
                line = std::move(typed);
            }
        }
    }
    ::close(fd);
    return line;
}

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> CommandOutput(const std::string& command, int& exitStatus) {
    exitStatus = -1;
    FILE* pipe = ::popen(command.c_str(), "re");
    if (!pipe) {
        return std::nullopt;
    }
    std::string output;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    if (status != -1 && WIFEXITED(status)) {
        exitStatus = WEXITSTATUS(status);
    }
    return output;
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return "localhost";
    }
    return name;
}

long ProcessId() {
    return static_cast<long>(::getpid());
}

std::optional<std::string> StateFolder() {
    // The XDG base directory rules: a relative value is to be ignored.
    if (const auto state = EnvironmentValue("XDG_STATE_HOME"); state && state->starts_with('/')) {
        return *state + "/marrowgate/";
    }
    if (const auto home = EnvironmentValue("HOME"); home && home->starts_with('/')) {
        return *home + "/.local/state/marrowgate/";
    }
    return std::nullopt;
}

} // namespace marrowgate::platform
