#pragma once

// The files of a store, as the window's import and the output check take them.

#include <string>
#include <vector>

namespace marrowgate {

// Every file below `folder`, in walk order (breadth first, each folder's
// entries in NameOrder), whatever its name. Throws WalkError when a folder
// cannot be listed.
std::vector<std::string> CollectFiles(const std::string& folder);

// The message files among CollectFiles(storeFolder), in the same order.
std::vector<std::string> CollectMessageFiles(const std::string& storeFolder);

} // namespace marrowgate
