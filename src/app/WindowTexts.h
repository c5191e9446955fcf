#pragma once

#include "marrowgate/FoundStore.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

// The window's longer prompts. Lines are broken with CR LF.
namespace marrowgate {

class ConversionPace;
class OutputTarget;

// The eight lines shown after a complete conversion.
QString CompletionText();

// The store folder dialog's title: "Choose Source Folder...", and where the
// user's mail store was found, when it was.
QString StoreDialogTitle(const std::optional<FoundStore>& found);

// The completion lines from the second on: how to move the mailboxes and
// import them into Entourage. The last step ends "And it all done !" only
// when `allDone`.
QStringList EntourageSteps(bool allDone);

// "Your data has been successfully exported ... (Compatible for X)." for the
// mail program chosen; `exception` (", except ...") goes before the full
// stop, and with it the claim of success is left out.
QString ExportedText(const OutputTarget& target, const QString& exception = {});

// "N of M converted; convert again into FOLDER to finish."
QString StoppedText(int done, int count, const QString& outputFolder);

// The last conversion into `outputFolder`, from `stores`, did not finish:
// asks whether to finish it now.
QString FinishQuestionText(const QString& outputFolder, const QStringList& stores,
                           std::uint64_t converted);

// The conversion button's text: "Convert to Entourage" as written, "Convert
// for Thunderbird" and so on for the other programs; with its access key.
QString ConvertButtonText(const OutputTarget& target);

// The line under the program's name in the banner, naming the program chosen.
QString BannerTagline(const OutputTarget& target);

// Beside "Message i (of m)": "12.3 of 45.6 MB, 1.2 MB/s, 0:10 elapsed, 0:30
// left" (the megabytes when the sizes are known, the time left once it can
// be told and while `running`); at the end "45.6 MB in 0:38, 1.2 MB/s".
QString ConversionFiguresText(const ConversionPace& pace, bool running = true);

// While the output is checked: "Checked 120 of 300 messages, 0:02 elapsed,
// 0:03 left".
QString CheckFiguresText(const ConversionPace& pace);

// The list holds no path, so a conversion has nothing to do.
QString NothingToConvertText();

// "file: reason" for a message that failed or did not verify. The reason
// names the message file itself when the file could not be read: said once
// is enough. The reason alone when there is no file.
QString FailureLine(const std::string& messagePath, const std::string& reason);

// Row `row` (from 0) of `count` failed; `failure` is its FailureLine. Asks
// whether to skip it, skip every further failure, or stop.
QString FailureQuestionText(int row, int count, const QString& failure);

// The desktop did not open `path` (`what`: "The mailbox folder"): names it,
// and asks whether to copy it to the clipboard.
QString NotOpenedText(const QString& what, const QString& path);

// The report could not be written to `file`.
QString ReportNotSavedText(const QString& file, const QString& reason);

// "N Files Added to List.", N with the locale's thousands separators.
QString FilesAddedText(int added);

// A store folder could not be walked; `reason` names the folder and why.
QString WalkFailedText(const char* reason);

} // namespace marrowgate
