#pragma once

// Path text: splitting a path into its folder and its last name. No file is
// touched here, and each function takes the syntax it works on, so that
// Windows paths can be tested on POSIX and vice versa. (The window's written
// unit `registry` holds these splitting procedures; src/core/pathtext/registry.h
// names them so.)

#include <string>

namespace marrowgate {

enum class PathSyntax { Windows, Posix };

// The separator the program adds: "\" for Windows, "/" for POSIX.
char Separator(PathSyntax syntax);

// The characters after the last separator (on Windows "\" or "/", as the
// system takes both); the whole path when it has none;
// the empty text when the path ends with a separator or is empty.
std::string LastPathComponent(const std::string& path, PathSyntax syntax);

// The path up to and including its last separator; the empty text when it has none.
std::string DirectoryPart(const std::string& path, PathSyntax syntax);

} // namespace marrowgate
