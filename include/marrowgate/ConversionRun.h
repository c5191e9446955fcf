#pragma once

#include "marrowgate/ImapOptions.h"
#include "marrowgate/MessageRows.h"
#include "marrowgate/NativePaths.h"
#include "marrowgate/OutputTarget.h"
#include "marrowgate/RunResult.h"
#include "marrowgate/Yield.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace marrowgate {

// What to do after a failed row: go on past this one, go on past this and
// every later failure, or end the run there.
enum class FailureChoice { SkipThis, SkipAll, Stop };

struct RunHooks {
    // Called once after the output root is set up, and per row after the row
    // is made current and after its folder is ensured; passed to the writer.
    YieldFn yield;
    // The row about to be converted (the window makes it the current row).
    std::function<void(int row)> rowStarting;
    // After each row: rows done (i + 1) and the list's row count read afresh.
    std::function<void(int done, int count)> progress;
    // After each message appended: the size of its file.
    std::function<void(std::uint64_t bytesRead)> messageConverted;
    // Asked before each row and between chunks of a message; true ends the
    // run there (a closing window, a signal). A record in hand is taken back.
    std::function<bool()> stopRequested;
    // Asked after a failed row when the options do not say to keep going;
    // without it the run stops at the first failure.
    std::function<FailureChoice(const RowFailure&)> failed;
};

struct RunOptions {
    // Go on after a failed row and collect every failure (command line).
    bool keepGoing = false;
    // Convert messages again that the output's ledger holds from earlier runs.
    bool convertAgain = false;
    PathSyntax syntax = NativeSyntax();
    OutputTarget target;
    // The store folders the rows were found in: targets whose tree starts at
    // the store take each message's from the innermost one that holds it.
    std::vector<std::string> stores;
    // Read the next messages on a second thread while one is written. The
    // output is the same either way.
    bool readAhead = true;
    // The maildir and imap targets: messages marked read.
    bool markSeen = false;
    // The imap target (the output root is the account's URL): how to log in
    // and where the folders go.
    ImapUploadOptions imap;
};

// Converts the rows, first to last, into mailboxes under `outputRoot`: each
// message is appended to the mailbox of its mirrored folder. Empty rows are
// skipped. The row count is read once at the start. Without keepGoing each
// failed row asks hooks.failed whether to go on (stopping when there is no
// such hook); rows before a stop stay converted.
//
// The maildir and imap targets put each message into a MessageStore, which
// finds the messages it holds already (see MessageStore); a file listed
// twice is stored once.
//
// Exactly once: the output's conversion ledger (ConversionLedger) holds the
// run's lock and tells which messages are in their mailboxes already; those
// are skipped, so a run killed, stopped or failed is finished by running it
// again. Mailboxes, the ledger and new folder entries are on disk before the
// run returns. Throws ConversionError before converting anything when the
// output cannot be set up: another run holds it, or its ledger cannot be
// opened.
RunResult RunConversion(const MessageRows& rows, const std::string& outputRoot,
                        const RunHooks& hooks = {}, const RunOptions& options = {});

} // namespace marrowgate
