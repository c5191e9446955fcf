#pragma once

#include <optional>
#include <string>

namespace marrowgate::platform {

// Whether standard error is a terminal (a console window), where a progress
// line may rewrite itself.
bool ErrorIsTerminal();

// Shows `prompt` on the terminal and reads one line there without showing
// what is typed (a password), without its line end. nullopt when there is no
// terminal, or the reading was broken off (end of input, a signal).
std::optional<std::string> ReadHiddenLine(const std::string& prompt);

// The value of the environment variable `name` (UTF-8), or nullopt when it
// is unset.
std::optional<std::string> EnvironmentValue(const std::string& name);

} // namespace marrowgate::platform
