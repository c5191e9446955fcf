#include "marrowgate/ImapSecrets.h"

#include "marrowgate/ConversionError.h"
#include "platform/Environment.h"
#include "platform/FileDescriptor.h"
#include "platform/FileSystem.h"

#include <cerrno>

namespace marrowgate {
namespace {

constexpr std::size_t kLongestSecret = 64 * 1024;

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

std::string ReadPasswordFile(const std::string& path) {
    const FileDescriptor fd(platform::Open(path, platform::kRead));
    std::string text(kLongestSecret, '\0');
    const long long got = fd.IsOpen() ? platform::Read(fd.Get(), text.data(), text.size()) : -1;
    if (got < 0) {
        throw ConversionError::FromErrno("Cannot read the password file", path, errno);
    }
    text.resize(static_cast<std::size_t>(got));
    text = text.substr(0, text.find_first_of("\r\n"));
    if (text.empty()) {
        throw ConversionError("The password file " + path + " holds no password on its first line");
    }
    return text;
}

std::string RunTokenCommand(const std::string& command) {
    int status = -1;
    const auto output = platform::CommandOutput(command, status);
    if (!output || status != 0) {
        throw ConversionError("The token command failed" +
                              (output ? " (exit status " + std::to_string(status) + ")"
                                      : std::string(": it could not be started")) +
                              ": " + command);
    }
    std::string token = Trimmed(*output);
    if (token.empty() || token.find_first_of(" \t\r\n") != std::string::npos) {
        throw ConversionError("The token command printed " +
                              std::string(token.empty() ? "nothing" : "more than one word") + ": " +
                              command);
    }
    return token;
}

} // namespace marrowgate
