#include "app/ListConversion.h"

#include "app/ConversionProgress.h"
#include "app/MailboxesFolder.h"
#include "app/MessageListModel.h"
#include "app/SummaryTexts.h"
#include "app/ThrottledYield.h"
#include "app/UserDialogs.h"
#include "app/WindowTexts.h"
#include "marrowgate/PathDerivation.h"
#include "marrowgate/RowSizes.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>
#include <QStandardPaths>

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
    // The sizes tell the megabytes to go and the time left; reading them
    // costs a fraction of the run and brings in what the run reads next.
    progress_.Converting(RowSizesAddedUp(list_, [this] {
        if (yield_.Due()) {
            yield_();
        }
    }));
    try {
        outcome.result = RunConversion(list_, outputRoot.toStdString(), Hooks(), options);
    } catch (const std::exception& error) {
        outcome.unexpected = QString::fromStdString(error.what());
    }
    progress_.Show();
    // A run that ended early leaves the rest of the list unconverted, not wrong.
    const RunResult& result = outcome.result;
    outcome.stopped = result.stopped || stoppedAtFailure_;
    if (!outcome.unexpected && !outcome.stopped && !result.nothingToConvert && !closeRequested_()) {
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
    hooks.messageConverted = [this](std::uint64_t bytes) { progress_.MessageConverted(bytes); };
    hooks.stopRequested = [this] { return closeRequested_(); };
    // The list shows the failed row while the run waits for the answer; a
    // close meanwhile stops the run at the next row.
    hooks.failed = [this](const RowFailure& failure) {
        progress_.Show();
        const FailureChoice choice = dialogs_.AskAfterFailure(
            &owner_, FailureQuestionText(failure.row, list_.RowCount(),
                                         FailureLine(failure.messagePath, failure.reason)));
        stoppedAtFailure_ = choice == FailureChoice::Stop;
        return choice;
    };
    return hooks;
}

// Reads every converted message back from the output, as the command line's
// --verify does; a close stops it between two messages.
VerifyReport ListConversion::VerifyConverted(const QString& outputRoot, const RunOptions& options) {
    progress_.Verifying(list_.RowCount());
    try {
        const bool account = options.target.GetKind() == OutputTarget::Kind::Imap;
        const std::string output = outputRoot.toStdString();
        VerifyReport report = VerifyRows(
            list_, options.stores, account ? output : NormaliseOutputRoot(output), options.target,
            [this] {
                if (yield_.Due()) {
                    progress_.Show();
                    yield_();
                }
            },
            closeRequested_,
            [this](int checked, int count) { progress_.MessagesChecked(checked, count); },
            options.imap);
        progress_.Show();
        return report;
    } catch (const std::exception& error) {
        VerifyReport failed;
        failed.problems.push_back({outputRoot.toStdString(), error.what()});
        return failed;
    }
}

QString ListConversion::WhereItStopped(const Outcome& outcome, const QString& outputRoot) {
    if (!outcome.stopped || outcome.unexpected) {
        return {};
    }
    const int done = CountRows(outcome.result).Done();
    progress_.Stopped(done, list_.RowCount(), outputRoot);
    return StoppedText(done, list_.RowCount(), outputRoot);
}

void ListConversion::Report(const Outcome& outcome, const QString& outputRoot,
                            const OutputTarget& target) {
    const RunResult& result = outcome.result;
    if (result.nothingToConvert) {
        dialogs_.MsgBox(&owner_, NothingToConvertText(), MessageIcon::Information);
        return;
    }
    // The button opens the folder where the mailboxes are, deep as it may lie.
    // Other targets start their trees at the store, in the output folder; an
    // account has none.
    const QString mailboxes = target.GetKind() == OutputTarget::Kind::Entourage
                                  ? MailboxesFolder(list_, outputRoot)
                              : target.GetKind() == OutputTarget::Kind::Imap ? QString()
                                                                             : outputRoot;
    const SummaryReport report =
        Summarise({result, list_.RowCount(), outcome.stopped, outputRoot, mailboxes, target,
                   outcome.verification ? &*outcome.verification : nullptr});
    const auto save = [this, &report](QWidget* over) { SaveReport(over, report); };
    if (dialogs_.ShowSummary(&owner_, report, save) == SummaryAnswer::OpenFolder) {
        OpenMailboxes(mailboxes);
    }
}

// Where the desktop has no program to open a folder with, the user learns
// where the mailboxes are and may take the path along.
void ListConversion::OpenMailboxes(const QString& folder) {
    if (dialogs_.OpenWithShell(folder)) {
        return;
    }
    if (dialogs_.MsgBox(&owner_, NotOpenedText(QStringLiteral("The mailbox folder"), folder),
                        MessageIcon::Question) == Answer::Yes) {
        QGuiApplication::clipboard()->setText(folder);
    }
}

// A report goes where the user keeps documents, not into the output folder,
// whose every file a mail program may take for a mailbox.
void ListConversion::SaveReport(QWidget* over, const SummaryReport& report) {
    QWidget* owner = over != nullptr ? over : &owner_;
    const QString suggested =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("Marrowgate report %1.txt")
                          .arg(QDateTime::currentDateTime().toString(
                              QStringLiteral("yyyy-MM-dd HH.mm"))));
    const QString file = dialogs_.BrowseForSaveFile(owner, QStringLiteral("Save Report"),
                                                    QDir::toNativeSeparators(suggested));
    if (file.isEmpty()) {
        return;
    }
    QSaveFile out(file);
    const QByteArray bytes = ReportFileText(report).toUtf8();
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        dialogs_.MsgBox(owner, ReportNotSavedText(file, out.errorString()), MessageIcon::Critical);
    }
}

} // namespace marrowgate
