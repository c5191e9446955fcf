#include "platform/UserEnvironment.h"

#include <cstdlib>

namespace marrowgate::platform {

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::string> UserRegistryText(const std::string&, const std::string&) {
    return std::nullopt;
}

} // namespace marrowgate::platform
