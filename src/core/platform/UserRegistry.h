#pragma once

// The current user's registry settings, on Windows; other systems keep none.

#include <optional>
#include <string>

namespace marrowgate::platform {

// The text of the value `value` of the key `key` under the current user's
// registry settings (HKEY_CURRENT_USER), with the environment variables it
// names ("%LOCALAPPDATA%") put in; nothing when there is no such text value,
// and always nothing on a system without a registry.
std::optional<std::string> UserRegistryText(const std::string& key, const std::string& value);

} // namespace marrowgate::platform
