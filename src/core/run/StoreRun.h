#pragma once

#include "marrowgate/ConversionRun.h"

#include <string>

namespace marrowgate {

// RunConversion() for a target that keeps messages apart (maildir, imap):
// each message put into a MessageStore (StoreOutput), `output` being the
// output folder or the account's URL.
RunResult RunIntoStore(const MessageRows& rows, const std::string& output, const RunHooks& hooks,
                       const RunOptions& options);

} // namespace marrowgate
