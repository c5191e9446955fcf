#pragma once

// Making the folders of a path: plainly, or below an output root without
// following links out of it.

#include <string>

namespace marrowgate {

// Creates every missing folder of `path` (a final separator is optional).
// True when the folder exists afterwards; never throws.
bool EnsureDirectoryPath(const std::string& path);

class OutputTree;

// Creates every missing folder of `path`, which lies below the tree's root,
// without following links below the root. Throws ConversionError naming the
// folder and the cause ("Cannot create folder X: Permission denied").
void EnsureDirectoryPath(OutputTree& tree, const std::string& path);

} // namespace marrowgate
