#include "app/WindowTexts.h"

#include <QStringList>

namespace marrowgate {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

QString CompletionText() {
    return QStringList{
        QStringLiteral("Your data has been successfully exported to .mbox format (Compatible "
                       "for Entourage)."),
        QStringLiteral("Move converted folders to Mac machine and import it using below steps."),
        QString(75, QLatin1Char('*')),
        QStringLiteral("Start Entourage."),
        QStringLiteral("On the File menu, click Import."),
        QStringLiteral("Click Contacts or messages from a text file, and then click the right "
                       "arrow."),
        QStringLiteral("Click Import messages from an MBOX-format text file, and then click the "
                       "right arrow."),
        QStringLiteral("Follow the instructions on the screen. And it all done !"),
    }
        .join(kCrLf);
}

QString NothingToConvertText() {
    return QStringLiteral("There are no files in the list to convert.") + kCrLf +
           QStringLiteral("Choose a Windows Live Mail store folder first.");
}

QString FailedRowText(int row, int count, const std::string& description) {
    return QStringLiteral("Message %1 (of %2) could not be converted:").arg(row + 1).arg(count) +
           kCrLf + QString::fromStdString(description) + kCrLf + kCrLf +
           QStringLiteral("The messages before it have been converted; the ones after it have "
                          "not.");
}

QString WalkFailedText(const char* reason) {
    return QStringLiteral("No files were added to the list: a folder could not be read.") + kCrLf +
           QString::fromUtf8(reason);
}

} // namespace marrowgate
