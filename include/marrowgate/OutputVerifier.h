#pragma once

#include "marrowgate/ImapOptions.h"
#include "marrowgate/MessageRows.h"
#include "marrowgate/OutputTarget.h"
#include "marrowgate/Yield.h"

#include <cstddef>
#include <functional>
#include <optional>
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

// Records of a mailbox that match no message of the stores: another
// program's mail, or other stores' messages. Listed, not a problem.
struct ForeignRecords {
    std::string mailbox;
    int records = 0;
};

struct VerifyReport {
    std::vector<VerifiedFolder> folders; // in the order the stores list them
    std::vector<VerifyProblem> problems;
    std::vector<ForeignRecords> foreign;
    int messages = 0;
    int verified = 0;
    int empty = 0;        // files with nothing to convert: no record expected
    bool stopped = false; // asked to stop before every message was checked
    bool Passed() const { return problems.empty(); }
    // Counts one message of the folder in row `folderRow`: a problem when
    // `problem` says one, else verified (and empty when it has no record).
    void Count(std::size_t folderRow, const std::string& messagePath,
               const std::optional<std::string>& problem, bool isEmpty);
};

// Checks every message file of `stores` against the output at `outputRoot`
// (a folder ending with a separator) by reading its mailboxes, whatever the
// ledger says: each mailbox is split into records as mail programs split it,
// and every message must have exactly one record whose bytes are the ones
// the writer makes of it today (its From_ line included, but for the date
// of a file whose time changed since). A second record of a message is a
// problem (doubled), so is a record cut short; a record that matches no
// message is listed as foreign. The ledger only says where to look first
// and names what it knows of a record that does not match. Empty message
// files need no record. Reads only: nothing is written and no lock taken,
// so it serves on read-only media and on an output copied elsewhere.
// Memory holds one mailbox's records at a time.
//
// For the maildir and imap targets (`outputRoot` is then the account's
// URL, logged in to with `imap`), every message must be in the mailbox of
// its folder exactly once, as the store keeps it: their sizes listed, then
// the copies of a size some message has read and matched by their content
// (StoreVerifier). Throws ConversionError when an account cannot be reached.
VerifyReport VerifyOutput(const std::vector<std::string>& stores, const std::string& outputRoot,
                          const OutputTarget& target, const ImapUploadOptions& imap = {});

// The same check for the message files a list holds (the window's rows, as
// they were converted), `stores` giving where targets start their tree.
// Empty rows are passed over; `yield` is called before each message, and
// `stopRequested` after it: true ends the check there, `stopped` set.
// `progress` is told after each message how many are checked of all there
// are to check (a file listed twice counts once).
VerifyReport VerifyRows(const MessageRows& rows, const std::vector<std::string>& stores,
                        const std::string& outputRoot, const OutputTarget& target,
                        const YieldFn& yield = {}, const std::function<bool()>& stopRequested = {},
                        const std::function<void(int checked, int count)>& progress = {},
                        const ImapUploadOptions& imap = {});

} // namespace marrowgate
