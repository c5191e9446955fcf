#pragma once

#include "platform/FileIdentity.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marrowgate {

// The folders a walk of a store passes over: output folders that lie inside
// it, whose files are the converter's own (or were put among them), never
// the store's messages. A folder below the walk's start is one when it holds
// a conversion ledger (kLedgerName), or when it is the output folder the run
// writes to (`outputRoot`, compared by identity, so that any path to it
// counts; it need not exist yet). The folder a walk starts at is never
// passed over: an output may hold its store.
class OutputFolders {
public:
    // The name of the ledger every output folder holds at its top.
    static constexpr std::string_view kLedgerName = ".marrowgate-ledger";

    explicit OutputFolders(std::string outputRoot = {}) : outputRoot_(std::move(outputRoot)) {}

    // Whether the walk passes over `folder`, which `holdsLedger` or not.
    // Those passed over are kept, to be named.
    bool PassOver(const std::string& folder, bool holdsLedger);
    const std::vector<std::string>& PassedOver() const { return passedOver_; }

private:
    bool IsOutputRoot(const std::string& folder);

    std::string outputRoot_;
    std::optional<FileIdentity> outputIdentity_; // once the output folder exists
    std::vector<std::string> passedOver_;
};

} // namespace marrowgate
