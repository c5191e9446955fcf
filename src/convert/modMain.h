#pragma once

#include <string>

namespace marrowgate {

// Creates every missing folder of `path` (a final separator is optional).
// True when the folder exists afterwards; never throws.
bool EnsureDirectoryPath(const std::string& path);

} // namespace marrowgate
