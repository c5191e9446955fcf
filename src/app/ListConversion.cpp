#include "app/ListConversion.h"

#include "app/ConversionProgress.h"
#include "app/MailboxesFolder.h"
#include "app/MessageListModel.h"
#include "app/ThrottledYield.h"
#include "app/UserDialogs.h"
#include "app/WindowTexts.h"
#include "marrowgate/PathDerivation.h"

#include <exception>
#include <utility>

namespace marrowgate {

ListConversion::ListConversion(QWidget& owner, UserDialogs& dialogs, const MessageListModel& list,
                               ConversionProgress& progress, ThrottledYield& yield,
                               std::function<bool()> closeRequested)
    : owner_(owner), dialogs_(dialogs), list_(list), progress_(progress), yield_(yield),
      closeRequested_(std::move(closeRequested)) {}

ListConversion::Outcome ListConversion::Run(const QString& outputRoot, const RunOptions& options) {
    Outcome outcome;
    stoppedAtFailure_ = false;
    progress_.Converting();
    try {
        outcome.result = RunConversion(list_, outputRoot.toStdString(), Hooks(), options);
    } catch (const std::exception& error) {
        outcome.unexpected = QString::fromStdString(error.what());
    }
    progress_.Show();
    // A run that ended early leaves the rest of the list unconverted, not wrong.
    const RunResult& result = outcome.result;
    if (!outcome.unexpected && !result.stopped && !stoppedAtFailure_ && !result.nothingToConvert &&
        !closeRequested_()) {
        outcome.verification = VerifyConverted(outputRoot, options);
    }
    progress_.Idle();
    return outcome;
}

RunHooks ListConversion::Hooks() {
    RunHooks hooks;
    // The grid and the progress display follow the run when the window gets
    // to repaint.
    hooks.yield = [this] {
        if (yield_.Due()) {
            progress_.Show();
            yield_();
        }
    };
    hooks.rowStarting = [this](int row) { progress_.RowStarting(row); };
    hooks.progress = [this](int done, int count) { progress_.RowsDone(done, count); };
    hooks.stopRequested = [this] { return closeRequested_(); };
    // The list shows the failed row while the run waits for the answer; a
    // close meanwhile stops the run at the next row.
    hooks.failed = [this](const RowFailure& failure) {
        progress_.Show();
        const FailureChoice choice = dialogs_.AskAfterFailure(
            &owner_, FailureQuestionText(failure.row, list_.RowCount(), failure.Describe()));
        stoppedAtFailure_ = choice == FailureChoice::Stop;
        return choice;
    };
    return hooks;
}

// Reads every converted message back from the output, as the command line's
// --verify does; a close stops it between two messages.
VerifyReport ListConversion::VerifyConverted(const QString& outputRoot, const RunOptions& options) {
    progress_.Verifying();
    try {
        return VerifyRows(
            list_, options.stores, NormaliseOutputRoot(outputRoot.toStdString()), options.target,
            [this] {
                if (yield_.Due()) {
                    yield_();
                }
            },
            closeRequested_);
    } catch (const std::exception& error) {
        VerifyReport failed;
        failed.problems.push_back({outputRoot.toStdString(), error.what()});
        return failed;
    }
}

void ListConversion::Report(const Outcome& outcome, const QString& outputRoot,
                            const OutputTarget& target) {
    const RunResult& result = outcome.result;
    if (result.nothingToConvert) {
        dialogs_.MsgBox(&owner_, NothingToConvertText(), MessageIcon::Information);
        return;
    }
    if (result.stopped) {
        return;
    }
    // The button opens the folder where the mailboxes are, deep as it may lie.
    // Other targets start their trees at the store, in the output folder.
    const QString mailboxes = target.GetKind() == OutputTarget::Kind::Entourage
                                  ? MailboxesFolder(list_, outputRoot)
                                  : outputRoot;
    const QString summary = SummaryText(result, list_.RowCount(), outputRoot, mailboxes, target,
                                        outcome.verification ? &*outcome.verification : nullptr);
    if (dialogs_.ShowSummary(&owner_, summary) == SummaryAnswer::OpenFolder) {
        dialogs_.OpenWithShell(mailboxes);
    }
}

} // namespace marrowgate
