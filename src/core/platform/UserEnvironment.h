#pragma once

// What the system keeps for the current user beside the files: environment
// variables and, on Windows, the user's registry settings.

#include <optional>
#include <string>

namespace marrowgate::platform {

// The value of the environment variable `name`; nothing when it is unset or
// empty.
std::optional<std::string> EnvironmentValue(const std::string& name);

// The text of the value `value` of the key `key` under the current user's
// registry settings (HKEY_CURRENT_USER), with the environment variables it
// names ("%LOCALAPPDATA%") put in; nothing when there is no such text value,
// and always nothing on a system without a registry.
std::optional<std::string> UserRegistryText(const std::string& key, const std::string& value);

} // namespace marrowgate::platform
