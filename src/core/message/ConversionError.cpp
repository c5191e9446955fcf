#include "marrowgate/ConversionError.h"

#include <cstring>

namespace marrowgate {

ConversionError::ConversionError(const std::string& message) : std::runtime_error(message) {}

ConversionError ConversionError::FromErrno(const std::string& action, const std::string& path,
                                           int errorNumber) {
    return ConversionError(action + " " + path + ": " + std::strerror(errorNumber));
}

} // namespace marrowgate
