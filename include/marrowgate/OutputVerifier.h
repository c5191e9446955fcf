#pragma once

#include "marrowgate/MessageRows.h"
#include "marrowgate/OutputTarget.h"
#include "marrowgate/Yield.h"

#include <functional>
#include <string>
#include <vector>

namespace marrowgate {

// One source folder's line of the verification table.
struct VerifiedFolder {
    std::string folder;
    int messages = 0; // message files, empty ones included
    int verified = 0; // whose record is in the output once and as the rules make it
    int problems = 0;
};

// A message whose record is missing, doubled or not as the rules make it.
struct VerifyProblem {
    std::string messagePath;
    std::string what;
    std::string Describe() const { return messagePath + ": " + what; }
};

struct VerifyReport {
    std::vector<VerifiedFolder> folders; // in the order the stores list them
    std::vector<VerifyProblem> problems;
    int messages = 0;
    int verified = 0;
    int empty = 0;        // files with nothing to convert: no record expected
    bool stopped = false; // asked to stop before every message was checked
    bool Passed() const { return problems.empty(); }
};

// Checks every message file of `stores` against its record in the output at
// `outputRoot` (a folder ending with a separator), found through the
// output's conversion ledger whichever run wrote it: the ledger holds one
// record of the message in the mailbox the target gives it, that record's
// bytes are the ones the writer makes of the message today (From_ line
// included), and the file has not changed since. Empty message files need no
// record. Reads only: nothing is written, and no lock is taken.
VerifyReport VerifyOutput(const std::vector<std::string>& stores, const std::string& outputRoot,
                          const OutputTarget& target);

// The same check for the message files a list holds (the window's rows, as
// they were converted), `stores` giving where targets start their tree.
// Empty rows are passed over; `yield` is called before each message, and
// `stopRequested` after it: true ends the check there, `stopped` set.
VerifyReport VerifyRows(const MessageRows& rows, const std::vector<std::string>& stores,
                        const std::string& outputRoot, const OutputTarget& target,
                        const YieldFn& yield = {}, const std::function<bool()>& stopRequested = {});

} // namespace marrowgate
