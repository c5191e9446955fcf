#include "app/WindowTexts.h"

#include "app/TargetChoice.h"
#include "marrowgate/ConversionPace.h"
#include "marrowgate/OutputTarget.h"

#include <QLocale>

namespace marrowgate {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString Megabytes(std::uint64_t bytes) {
    const double megabytes = static_cast<double>(bytes) / 1e6;
    return QLocale().toString(megabytes, 'f', megabytes < 100 ? 1 : 0);
}

QString Clock(double seconds) {
    return QString::fromStdString(ConversionPace::Duration(seconds));
}

// ", 0:10 elapsed, 0:30 left", the time left once it can be told.
QString Times(const ConversionPace& pace, bool running = true) {
    QString times = QStringLiteral(", %1 elapsed").arg(Clock(pace.ElapsedSeconds()));
    if (running && pace.SecondsLeft() >= 0) {
        times += QStringLiteral(", %1 left").arg(Clock(pace.SecondsLeft()));
    }
    return times;
}

} // namespace

QStringList EntourageSteps(bool allDone) {
    return {
        QStringLiteral("Move converted folders to Mac machine and import it using below steps."),
        QString(75, QLatin1Char('*')),
        QStringLiteral("Start Entourage."),
        QStringLiteral("On the File menu, click Import."),
        QStringLiteral("Click Contacts or messages from a text file, and then click the right "
                       "arrow."),
        QStringLiteral("Click Import messages from an MBOX-format text file, and then click the "
                       "right arrow."),
        allDone ? QStringLiteral("Follow the instructions on the screen. And it all done !")
                : QStringLiteral("Follow the instructions on the screen."),
    };
}

QString ExportedText(const OutputTarget& target, const QString& exception) {
    if (target.GetKind() == OutputTarget::Kind::Imap) {
        return QStringLiteral("Your data has been %1uploaded into the IMAP account%2.")
            .arg(exception.isEmpty() ? QStringLiteral("successfully ") : QString(), exception);
    }
    const QString format =
        QStringLiteral(".mbox format (Compatible for %1)").arg(TargetReader(target));
    if (exception.isEmpty()) {
        return QStringLiteral("Your data has been successfully exported to ") + format +
               QLatin1Char('.');
    }
    return QStringLiteral("Your data has been exported to ") + format + exception +
           QLatin1Char('.');
}

QString CompletionText() {
    return (QStringList{ExportedText(OutputTarget())} + EntourageSteps(true)).join(kCrLf);
}

QString StoppedText(int done, int count, const QString& outputFolder) {
    return QStringLiteral("%1 of %2 converted; convert again into %3 to finish.")
        .arg(QLocale().toString(done), QLocale().toString(count), outputFolder);
}

QString FinishQuestionText(const QString& outputFolder, const QStringList& stores,
                           std::uint64_t converted) {
    return QStringLiteral("The last conversion into %1 did not finish; %2 message(s) were "
                          "converted before it stopped.")
               .arg(outputFolder, QLocale().toString(static_cast<qulonglong>(converted))) +
           kCrLf + kCrLf +
           QStringLiteral("Finish it now? These store folders are listed again, and every "
                          "message not yet in %1 is converted:")
               .arg(outputFolder) +
           kCrLf + stores.join(kCrLf);
}

QString ConvertButtonText(const OutputTarget& target) {
    if (target.GetKind() == OutputTarget::Kind::Entourage) {
        return QStringLiteral("Con&vert to Entourage");
    }
    return QStringLiteral("Con&vert for ") + TargetReader(target);
}

QString BannerTagline(const OutputTarget& target) {
    if (target.GetKind() == OutputTarget::Kind::Imap) {
        return QStringLiteral("Moves Windows Live Mail messages into an IMAP mail account");
    }
    return QStringLiteral("Moves Windows Live Mail messages to mbox, ready for ") +
           TargetReader(target);
}

QString ConversionFiguresText(const ConversionPace& pace, bool running) {
    const ProgressCounts& counts = pace.Progress();
    const QString speed =
        QLocale().toString(pace.MegabytesPerSecond(), 'f', 1) + QStringLiteral(" MB/s");
    if (counts.total > 0 && counts.done >= counts.total) {
        return QStringLiteral("%1 MB in %2, ")
                   .arg(Megabytes(counts.bytesConverted), Clock(pace.ElapsedSeconds())) +
               speed;
    }
    const QString done = counts.bytesTotal > 0
                             ? QStringLiteral("%1 of %2 MB, ")
                                   .arg(Megabytes(counts.bytesDone), Megabytes(counts.bytesTotal))
                             : QString();
    return done + speed + Times(pace, running);
}

QString CheckFiguresText(const ConversionPace& pace) {
    const ProgressCounts& counts = pace.Progress();
    return QStringLiteral("Checked %1 of %2 messages")
               .arg(QLocale().toString(counts.done), QLocale().toString(counts.total)) +
           Times(pace);
}

QString StoreDialogTitle(const std::optional<FoundStore>& found) {
    const QString title = QStringLiteral("Choose Source Folder...");
    if (!found) {
        return title;
    }
    const QString program = found->source == FoundStore::Source::WindowsMailFolder
                                ? QStringLiteral("Windows Mail")
                                : QStringLiteral("Windows Live Mail");
    return title + QStringLiteral(" (%1 store found: %2)")
                       .arg(program, QString::fromStdString(found->folder));
}

QString NothingToConvertText() {
    return QStringLiteral("There are no files in the list to convert.") + kCrLf +
           QStringLiteral("Choose a Windows Live Mail store folder first.");
}

QString FailureLine(const std::string& messagePath, const std::string& reason) {
    QString why = QString::fromStdString(reason);
    const QString file = QString::fromStdString(messagePath);
    if (file.isEmpty()) {
        return why;
    }
    why.replace(QLatin1Char(' ') + file + QLatin1Char(':'), QStringLiteral(":"));
    return file + QStringLiteral(": ") + why;
}

QString FailureQuestionText(int row, int count, const QString& failure) {
    return QStringLiteral("Message %1 (of %2) could not be converted:")
               .arg(QLocale().toString(row + 1), QLocale().toString(count)) +
           kCrLf + failure + kCrLf + kCrLf +
           QStringLiteral("The messages before it have been converted. Skip this message and go "
                          "on, skip all further failures, or stop here?");
}

QString NotOpenedText(const QString& what, const QString& path) {
    return what +
           QStringLiteral(" could not be opened: the desktop has no program that opens it.") +
           kCrLf + path + kCrLf + kCrLf + QStringLiteral("Copy its path to the clipboard?");
}

QString ReportNotSavedText(const QString& file, const QString& reason) {
    return QStringLiteral("The report could not be saved:") + kCrLf + file + kCrLf + reason;
}

QString FilesAddedText(int added) {
    return QLocale().toString(added) + QStringLiteral(" Files Added to List.");
}

QString WalkFailedText(const char* reason) {
    return QStringLiteral("No files were added to the list: a folder could not be read.") + kCrLf +
           QString::fromUtf8(reason);
}

} // namespace marrowgate
