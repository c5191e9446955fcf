#pragma once

// Path text: splitting a path into its folder and its last name, and turning
// text into a file system path and back. No file is touched here; the
// functions work on either path syntax on any system, so that Windows paths
// can be tested on POSIX and vice versa.

#include <filesystem>
#include <string>

namespace marrowgate {

enum class PathSyntax { Windows, Posix };

// The syntax of the system the program runs on.
PathSyntax NativeSyntax();

// "\" for Windows, "/" for POSIX.
char Separator(PathSyntax syntax);

// The characters after the last separator; the whole path when it has none;
// the empty text when the path ends with a separator or is empty.
std::string LastPathComponent(const std::string& path, PathSyntax syntax = NativeSyntax());

// The path up to and including its last separator; the empty text when it has none.
std::string DirectoryPart(const std::string& path, PathSyntax syntax = NativeSyntax());

// Path text (UTF-8) to a file system path and back, without loss on either
// system. On Windows an absolute path becomes the system's extended form
// ("\\?\C:\..."), which takes any length and every name as it stands, and
// PathText drops that prefix again.
std::filesystem::path NativePath(const std::string& text);
std::string PathText(const std::filesystem::path& path);

} // namespace marrowgate
