#pragma once

#include "marrowgate/FoundStore.h"

#include <QString>

#include <optional>
#include <string>

// The window's longer prompts. Lines are broken with CR LF.
namespace marrowgate {

class OutputTarget;
struct RunResult;
struct VerifyReport;

// The eight lines shown after a complete conversion.
QString CompletionText();

// The store folder dialog's title: "Choose Source Folder...", and where the
// user's mail store was found, when it was.
QString StoreDialogTitle(const std::optional<FoundStore>& found);

// The list holds no path, so a conversion has nothing to do.
QString NothingToConvertText();

// Row `row` (from 0) of `count` failed; `description` names the message
// file, the mailbox file and the reason. Asks whether to skip it, skip every
// further failure, or stop.
QString FailureQuestionText(int row, int count, const std::string& description);

// What a run did, for the box that ends it: the figures (messages skipped
// are the rows neither converted now or before nor failed: empty rows and
// files, and the rows after a stop), the output folder,
// each failure, then how to import the mailboxes (all eight completion
// lines when nothing failed; the import steps alone otherwise; for targets
// other than Entourage, how many messages got X-Marrowgate- fields and the
// target's own import steps). `rowCount` is the list's row count at the end
// of the run; `mailboxesFolder` is named too when it is not the output
// folder. With `verification`, its outcome follows the figures.
QString SummaryText(const RunResult& result, int rowCount, const QString& outputFolder,
                    const QString& mailboxesFolder, const OutputTarget& target,
                    const VerifyReport* verification);

// "All N messages verified.", or the number of problems and the first few.
QString VerificationText(const VerifyReport& report);

// "N Files Added to List.", N with the locale's thousands separators.
QString FilesAddedText(int added);

// A store folder could not be walked; `reason` names the folder and why.
QString WalkFailedText(const char* reason);

} // namespace marrowgate
