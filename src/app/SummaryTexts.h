#pragma once

#include "app/SummaryReport.h"
#include "marrowgate/OutputTarget.h"

#include <QString>

namespace marrowgate {

struct RunResult;
struct VerifyReport;

// What the window knows of a run when it sums it up.
struct RunFacts {
    const RunResult& result;
    // The list's row count at the end of the run.
    int rowCount = 0;
    // The user stopped the run (at a failure, or by closing the window).
    bool stopped = false;
    QString outputFolder;
    // The folder in it that holds the mailboxes, named when it is another.
    QString mailboxesFolder;
    OutputTarget target;
    // The check of the output, when the run went through to its end.
    const VerifyReport* verification = nullptr;
};

// The rows of a run by what became of them.
struct RowCounts {
    int converted = 0;
    int already = 0;    // in their mailboxes from before
    int empty = 0;      // files with nothing to convert
    int notReached = 0; // after a stop
    int failed = 0;
    int Done() const { return converted + already + empty; }
};
RowCounts CountRows(const RunResult& result);

// The closing words and the details of a run. The words are the eight
// completion lines when everything went through for Entourage; they name the
// mail program chosen, and fit the outcome: after a stop they say how far the
// run came and how to finish it, after failures or problems in the check
// they point to the details and make no claim that all is done.
// The details hold the figures, the folders, and one line per failed message
// ("file: reason"), per problem found by the check, per message converted
// again and per empty file.
SummaryReport Summarise(const RunFacts& facts);

// A report as a text file holds it: the words, an empty line, the details,
// with the system's line ends.
QString ReportFileText(const SummaryReport& report);

} // namespace marrowgate
