#pragma once

#include <stdexcept>
#include <string>

namespace marrowgate {

// A conversion step that failed. what() is one line meant for the user: it
// names the file concerned and the reason.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const std::string& message);

    // "<action> <path>: <reason>", with the reason taken from errno.
    static ConversionError FromErrno(const std::string& action, const std::string& path,
                                     int errorNumber);
};

} // namespace marrowgate
