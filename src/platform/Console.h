#pragma once

#include <optional>
#include <string>

// What the program asks of its surroundings beyond files: the user at the
// terminal, the environment, other programs. Text is UTF-8 on every system.
// One implementation per system family: ConsolePosix.cpp and ConsoleWin32.cpp.
namespace marrowgate::platform {

// Shows `prompt` on the terminal and reads one line there without showing
// what is typed (a password), without its line end. nullopt when there is no
// terminal, or the reading was broken off (end of input, a signal).
std::optional<std::string> ReadHiddenLine(const std::string& prompt);

// The value of the environment variable `name`, or nullopt when it is unset.
std::optional<std::string> EnvironmentValue(const std::string& name);

// Runs `command` with the system's shell and gives what it wrote to its
// standard output; its standard error goes to ours. nullopt when it could
// not be started; `exitStatus` is its exit status (-1 when it did not exit).
std::optional<std::string> CommandOutput(const std::string& command, int& exitStatus);

// The machine's name, as mail stores put it into file names.
std::string HostName();
// This process's number.
long ProcessId();

} // namespace marrowgate::platform
