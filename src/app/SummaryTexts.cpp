#include "app/SummaryTexts.h"

#include "app/TargetChoice.h"
#include "app/WindowTexts.h"
#include "marrowgate/OutputVerifier.h"
#include "marrowgate/RunResult.h"

#include <QLocale>
#include <QStringList>

#include <string>
#include <unordered_set>
#include <vector>

namespace marrowgate {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString Number(int value) {
    return QLocale().toString(value);
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// How to bring the mailboxes into the program chosen.
QStringList ImportLines(const OutputTarget& target, bool allDone) {
    if (target.GetKind() == OutputTarget::Kind::Entourage) {
        return EntourageSteps(allDone);
    }
    QStringList lines{
        target.GetKind() == OutputTarget::Kind::Imap
            ? QStringLiteral("To see them:")
            : QStringLiteral("To import the mailboxes into %1:").arg(TargetReader(target))};
    int step = 0;
    for (const std::string& line : target.ImportSteps()) {
        lines << QStringLiteral("%1. ").arg(++step) + Text(line);
    }
    return lines;
}

QStringList ClosingWords(const RunFacts& facts, const RowCounts& counts) {
    const int problems =
        facts.verification != nullptr ? static_cast<int>(facts.verification->problems.size()) : 0;
    if (facts.stopped) {
        return {QStringLiteral("The conversion was stopped before the end of the list."),
                StoppedText(counts.Done(), facts.rowCount, facts.outputFolder),
                QStringLiteral("Import the mailboxes once every message is converted.")};
    }
    if (counts.failed > 0 && counts.converted + counts.already == 0) {
        return {QStringLiteral("No message could be converted: the details name each message "
                               "file and the reason.")};
    }
    if (counts.failed > 0) {
        return QStringList{ExportedText(facts.target,
                                        QStringLiteral(", except for %1 message(s) that could "
                                                       "not be converted: the details name each "
                                                       "message file and the reason")
                                            .arg(Number(counts.failed)))} +
               ImportLines(facts.target, false);
    }
    if (problems > 0) {
        return QStringList{ExportedText(facts.target,
                                        QStringLiteral(", but the check of the output found %1 "
                                                       "problem(s): the details name the "
                                                       "message files")
                                            .arg(Number(problems)))} +
               ImportLines(facts.target, false);
    }
    return QStringList{ExportedText(facts.target)} + ImportLines(facts.target, true);
}

QStringList Figures(const RunFacts& facts, const RowCounts& counts) {
    const RunResult& result = facts.result;
    QStringList lines{
        QStringLiteral("Messages converted: ") + Number(counts.converted),
        QStringLiteral("Messages already converted: ") + Number(counts.already),
        QStringLiteral("Empty files, nothing to convert: ") + Number(counts.empty),
        QStringLiteral("Messages not reached (stopped): ") + Number(counts.notReached),
        QStringLiteral("Messages failed: ") + Number(counts.failed),
        QStringLiteral("Mailboxes created: ") + Number(result.mailboxesCreated),
        QStringLiteral("Mailboxes appended to: ") + Number(result.mailboxesAppended),
        (facts.target.GetKind() == OutputTarget::Kind::Imap ? QStringLiteral("Account: ")
                                                            : QStringLiteral("Output folder: ")) +
            facts.outputFolder,
    };
    if (!facts.mailboxesFolder.isEmpty() && facts.mailboxesFolder != facts.outputFolder) {
        lines << QStringLiteral("The mailboxes are in: ") + facts.mailboxesFolder;
    }
    return lines;
}

// The messages that failed to convert have no record to check: they are
// listed once, with the failures, and the check names what else it found.
QStringList Verification(const VerifyReport& report, const std::vector<RowFailure>& failures) {
    if (report.Passed()) {
        return {QStringLiteral("All %1 messages verified.").arg(Number(report.messages))};
    }
    std::unordered_set<std::string> failed;
    for (const RowFailure& failure : failures) {
        failed.insert(failure.messagePath);
    }
    QStringList lines;
    for (const VerifyProblem& problem : report.problems) {
        if (failed.count(problem.messagePath) == 0) {
            lines << FailureLine(problem.messagePath, problem.what);
        }
    }
    if (lines.isEmpty()) {
        return {QStringLiteral("%1 of %2 messages verified; the others are the failed messages "
                               "below.")
                    .arg(Number(report.verified), Number(report.messages))};
    }
    lines.prepend(QStringLiteral("Verification found %1 problem(s) in %2 messages:")
                      .arg(Number(static_cast<int>(lines.size())), Number(report.messages)));
    return lines;
}

// A heading and one line per path; nothing when there is none.
QStringList Listed(const QString& heading, const std::vector<std::string>& paths) {
    QStringList lines;
    if (!paths.empty()) {
        lines << heading;
        for (const std::string& path : paths) {
            lines << Text(path);
        }
    }
    return lines;
}

QString Details(const RunFacts& facts, const RowCounts& counts) {
    const RunResult& result = facts.result;
    std::vector<QStringList> sections{Figures(facts, counts)};
    if (facts.verification != nullptr) {
        sections.push_back(Verification(*facts.verification, result.failures));
    }
    if (result.fieldsAdded > 0) {
        sections.push_back({QStringLiteral("%1 message(s) did not start with two header fields "
                                           "and got X-Marrowgate- fields at the top, so that "
                                           "mail programs read them as messages.")
                                .arg(Number(result.fieldsAdded))});
    }
    if (!result.failures.empty()) {
        QStringList failed{QStringLiteral("Failed messages (file: reason):")};
        for (const RowFailure& failure : result.failures) {
            failed << FailureLine(failure.messagePath, failure.reason);
        }
        sections.push_back(failed);
    }
    sections.push_back(Listed(QStringLiteral("Changed since converted, converted again:"),
                              result.changedSinceConverted));
    sections.push_back(
        Listed(QStringLiteral("Empty files, nothing to convert:"), result.emptyMessages));
    sections.push_back(
        Listed(QStringLiteral("Merged into one mailbox by the output's file system:"),
               result.mailboxesMerged));
    sections.push_back(Listed(QStringLiteral("Mailboxes cut back to their last whole message:"),
                              result.mailboxesCutBack));
    QStringList lines;
    for (const QStringList& section : sections) {
        if (!section.isEmpty()) {
            if (!lines.isEmpty()) {
                lines << QString();
            }
            lines << section;
        }
    }
    return lines.join(kCrLf);
}

} // namespace

RowCounts CountRows(const RunResult& result) {
    RowCounts counts;
    counts.converted = result.messagesConverted;
    counts.already = result.alreadyConverted;
    counts.empty = static_cast<int>(result.emptyMessages.size());
    counts.notReached = result.notReached;
    counts.failed = static_cast<int>(result.failures.size());
    return counts;
}

SummaryReport Summarise(const RunFacts& facts) {
    const RowCounts counts = CountRows(facts.result);
    SummaryReport report;
    report.text = ClosingWords(facts, counts).join(kCrLf);
    report.details = Details(facts, counts);
    report.warning = facts.stopped || counts.failed > 0 ||
                     (facts.verification != nullptr && !facts.verification->Passed());
    report.inFolder = !facts.mailboxesFolder.isEmpty();
    return report;
}

QString ReportFileText(const SummaryReport& report) {
    QString text = report.text + kCrLf + kCrLf + report.details + kCrLf;
#ifndef Q_OS_WIN
    text.replace(kCrLf, QStringLiteral("\n"));
#endif
    return text;
}

} // namespace marrowgate
