#pragma once

// The system's own paths: which syntax it writes, and text (UTF-8) turned
// into a file system path and back.

#include "marrowgate/PathParts.h"

#include <filesystem>
#include <string>

namespace marrowgate {

// The syntax of the system the program runs on.
PathSyntax NativeSyntax();

// Path text (UTF-8) to a file system path and back, without loss on either
// system. On Windows an absolute path becomes the system's extended form
// ("\\?\C:\..."), which takes any length and every name as it stands, and
// PathText drops that prefix again.
std::filesystem::path NativePath(const std::string& text);
std::string PathText(const std::filesystem::path& path);

} // namespace marrowgate
