#include "app/WindowTexts.h"

#include "app/TargetChoice.h"
#include "marrowgate/ConversionRun.h"
#include "marrowgate/OutputVerifier.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>

namespace marrowgate {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The failures listed one by one in the summary; the rest are counted.
constexpr int kFailuresListed = 20;
// The verification problems listed one by one; the rest are counted.
constexpr int kProblemsListed = 5;

QStringList ImportSteps() {
    return {
        QStringLiteral("Move converted folders to Mac machine and import it using below steps."),
        QString(75, QLatin1Char('*')),
        QStringLiteral("Start Entourage."),
        QStringLiteral("On the File menu, click Import."),
        QStringLiteral("Click Contacts or messages from a text file, and then click the right "
                       "arrow."),
        QStringLiteral("Click Import messages from an MBOX-format text file, and then click the "
                       "right arrow."),
        QStringLiteral("Follow the instructions on the screen. And it all done !"),
    };
}

QString Figure(const char* label, int value) {
    return QString::fromLatin1(label) + QLocale().toString(value);
}

// How to bring the mailboxes into a mail program other than Entourage, after
// what was added to messages for it.
QStringList TargetSteps(const RunResult& result, const OutputTarget& target) {
    QStringList lines;
    if (result.fieldsAdded > 0) {
        lines << QStringLiteral("%1 message(s) did not start with two header fields and got "
                                "X-Marrowgate- fields at the top, so that mail programs read "
                                "them as messages.")
                     .arg(QLocale().toString(result.fieldsAdded));
    }
    if (result.messagesConverted > 0 || result.alreadyConverted > 0) {
        lines << QStringLiteral("To import the mailboxes into %1:").arg(TargetTitle(target));
        int step = 0;
        for (const std::string& line : target.ImportSteps()) {
            lines << QStringLiteral("%1. ").arg(++step) + QString::fromStdString(line);
        }
    }
    return lines;
}

} // namespace

QString CompletionText() {
    return (QStringList{QStringLiteral("Your data has been successfully exported to .mbox format "
                                       "(Compatible for Entourage).")} +
            ImportSteps())
        .join(kCrLf);
}

QString NothingToConvertText() {
    return QStringLiteral("There are no files in the list to convert.") + kCrLf +
           QStringLiteral("Choose a Windows Live Mail store folder first.");
}

QString FailureQuestionText(int row, int count, const std::string& description) {
    return QStringLiteral("Message %1 (of %2) could not be converted:")
               .arg(QLocale().toString(row + 1), QLocale().toString(count)) +
           kCrLf + QString::fromStdString(description) + kCrLf + kCrLf +
           QStringLiteral("The messages before it have been converted. Skip this message and go "
                          "on, skip all further failures, or stop here?");
}

QString SummaryText(const RunResult& result, int rowCount, const QString& outputFolder,
                    const QString& mailboxesFolder, const OutputTarget& target,
                    const VerifyReport* verification) {
    const int failed = static_cast<int>(result.failures.size());
    QStringList lines{
        failed == 0 ? QStringLiteral("The conversion is complete.")
                    : QStringLiteral("The conversion ended with failed messages."),
        Figure("Messages converted: ", result.messagesConverted),
        Figure("Messages already converted: ", result.alreadyConverted),
        Figure("Messages skipped: ",
               std::max(0, rowCount - result.messagesConverted - result.alreadyConverted - failed)),
        Figure("Messages failed: ", failed),
        Figure("Mailboxes created: ", result.mailboxesCreated),
        Figure("Mailboxes appended to: ", result.mailboxesAppended),
        QStringLiteral("Output folder: ") + outputFolder,
    };
    if (mailboxesFolder != outputFolder) {
        lines << QStringLiteral("The mailboxes are in: ") + mailboxesFolder;
    }
    if (failed > 0) {
        lines << QString() << QStringLiteral("Failed messages:");
        for (int i = 0; i < failed && i < kFailuresListed; ++i) {
            const RowFailure& failure = result.failures[static_cast<std::size_t>(i)];
            lines << QStringLiteral("Message %1: ").arg(QLocale().toString(failure.row + 1)) +
                         QString::fromStdString(failure.Describe());
        }
        if (failed > kFailuresListed) {
            lines << QStringLiteral("... and %1 more.")
                         .arg(QLocale().toString(failed - kFailuresListed));
        }
    }
    if (verification != nullptr) {
        lines << QString() << VerificationText(*verification);
    }
    lines << QString();
    if (target.GetKind() != OutputTarget::Kind::Entourage) {
        lines << TargetSteps(result, target);
    } else if (failed == 0) {
        lines << CompletionText();
    } else if (result.messagesConverted > 0) {
        lines << ImportSteps();
    }
    return lines.join(kCrLf);
}

QString VerificationText(const VerifyReport& report) {
    if (report.Passed()) {
        return QStringLiteral("All %1 messages verified.").arg(QLocale().toString(report.messages));
    }
    const int problems = static_cast<int>(report.problems.size());
    QStringList lines{QStringLiteral("Verification found %1 problem(s) in %2 messages:")
                          .arg(QLocale().toString(problems), QLocale().toString(report.messages))};
    for (int i = 0; i < problems && i < kProblemsListed; ++i) {
        lines << QString::fromStdString(report.problems[static_cast<std::size_t>(i)].Describe());
    }
    if (problems > kProblemsListed) {
        lines << QStringLiteral("... and %1 more.")
                     .arg(QLocale().toString(problems - kProblemsListed));
    }
    return lines.join(kCrLf);
}

QString FilesAddedText(int added) {
    return QLocale().toString(added) + QStringLiteral(" Files Added to List.");
}

QString WalkFailedText(const char* reason) {
    return QStringLiteral("No files were added to the list: a folder could not be read.") + kCrLf +
           QString::fromUtf8(reason);
}

} // namespace marrowgate
