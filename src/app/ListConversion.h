#pragma once

#include "app/SummaryReport.h"
#include "marrowgate/ConversionRun.h"
#include "marrowgate/OutputVerifier.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace marrowgate {

class ConversionProgress;
class MessageListModel;
class ThrottledYield;
class UserDialogs;

// A conversion of the window's message list: the run, with the progress
// display following it and a question after each message that fails; the
// check of the output when the run went through to its end; and the box
// that sums the run up. The window processes its events in between (yield);
// when `closeRequested` turns true the run stops after the message in hand,
// and the check between two messages.
class ListConversion {
public:
    ListConversion(QWidget& owner, UserDialogs& dialogs, const MessageListModel& list,
                   ConversionProgress& progress, ThrottledYield& yield,
                   std::function<bool()> closeRequested);

    struct Outcome {
        RunResult result;
        // What ended the run unexpectedly (the output cannot be made, ...).
        std::optional<QString> unexpected;
        // The check of the output, when the run went through to its end.
        std::optional<VerifyReport> verification;
        // The user stopped the run: at a failure, or by closing the window.
        bool stopped = false;
    };

    // Converts the list into `outputRoot`.
    Outcome Run(const QString& outputRoot, const RunOptions& options);

    // After a stop: "N of M converted; convert again into FOLDER to finish.",
    // also shown in the window; the empty text when the run was not stopped.
    QString WhereItStopped(const Outcome& outcome, const QString& outputRoot);

    // The box that ends a run, with the button that opens the folder the
    // mailboxes are in and the one that saves the report.
    void Report(const Outcome& outcome, const QString& outputRoot, const OutputTarget& target);

private:
    void SaveReport(QWidget* over, const SummaryReport& report);
    void OpenMailboxes(const QString& folder);
    RunHooks Hooks();
    VerifyReport VerifyConverted(const QString& outputRoot, const RunOptions& options);

    QWidget& owner_;
    UserDialogs& dialogs_;
    const MessageListModel& list_;
    ConversionProgress& progress_;
    ThrottledYield& yield_;
    std::function<bool()> closeRequested_;
    // The user chose to stop the run at a failed message.
    bool stoppedAtFailure_ = false;
};

} // namespace marrowgate
