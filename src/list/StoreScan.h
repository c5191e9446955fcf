#pragma once

#include <string>
#include <vector>

namespace marrowgate {

// Every message file below `storeFolder`, in walk order (breadth first, each
// folder's files in the order the file system lists them). Throws WalkError
// when a folder cannot be listed.
std::vector<std::string> CollectMessageFiles(const std::string& storeFolder);

} // namespace marrowgate
