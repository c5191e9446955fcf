#pragma once

#include <optional>
#include <string>

// What the program asks of its surroundings beyond files: other programs, the
// machine's name, its own number; with the terminal and the environment
// (marrowgate/Terminal.h). Text is UTF-8 on every system. One implementation
// per system family: EnvironmentPosix.cpp and EnvironmentWin32.cpp.
namespace marrowgate::platform {

// Runs `command` with the system's shell and gives what it wrote to its
// standard output; its standard error goes to ours. nullopt when it could
// not be started; `exitStatus` is its exit status (-1 when it did not exit).
std::optional<std::string> CommandOutput(const std::string& command, int& exitStatus);

// The machine's name, as mail stores put it into file names.
std::string HostName();
// This process's number.
long ProcessId();

// The folder where the program keeps what it needs between runs that is
// not the user's documents (its ledgers of uploads), ending with a
// separator: $XDG_STATE_HOME/marrowgate/ (else ~/.local/state/marrowgate/);
// on Windows %LOCALAPPDATA%\Marrowgate\. nullopt when the environment does
// not say where that is. Not made here.
std::optional<std::string> StateFolder();

} // namespace marrowgate::platform
