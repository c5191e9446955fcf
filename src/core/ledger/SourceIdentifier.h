#pragma once

#include "ledger/LedgerRecord.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace marrowgate {

// A message file as the ledger knows it: its canonical path (every link and
// "." or ".." step resolved), size, time and identity. The messages of a
// folder come together, so each folder is resolved once; the file itself
// only when it is a link.
class SourceIdentifier {
public:
    // nullopt when the file cannot be looked at (the reader of the message
    // reports why).
    std::optional<LedgerSource> Identify(const std::string& sourcePath);

private:
    std::unordered_map<std::string, std::string> canonicalFolders_;
};

} // namespace marrowgate
