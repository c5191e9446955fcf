#include "platform/UserRegistry.h"

namespace marrowgate::platform {

std::optional<std::string> UserRegistryText(const std::string&, const std::string&) {
    return std::nullopt;
}

} // namespace marrowgate::platform
