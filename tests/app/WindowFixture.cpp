#include "WindowFixture.h"

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableView>

namespace marrowgate::test {

WindowTest::ForgetSettings::ForgetSettings() {
    QSettings().clear();
}

WindowTest::WindowTest() {
    window.SetYieldInterval(0);
    window.show();
}

QString WindowTest::TempPath(const QString& relative) const {
    return QDir::toNativeSeparators(temp.filePath(relative));
}

QString WindowTest::WriteFile(const QString& relative, const QByteArray& content) {
    const QString path = TempPath(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
    return path;
}

QString WindowTest::WriteMessage(const QString& relative, const QString& subject,
                                 const QByteArray& body) {
    return WriteFile(relative, "From: Ann Smith <ann@example.com>\r\n"
                               "To: bob@example.com\r\n"
                               "Subject: " +
                                   subject.toUtf8() +
                                   "\r\n"
                                   "Date: Mon, 2 Mar 2009 10:15:00 +0100\r\n"
                                   "\r\n" +
                                   (body.isEmpty() ? "Body of " + subject.toUtf8() : body) +
                                   "\r\n");
}

QStringList WindowTest::Rows() const {
    QStringList rows;
    for (int row = 0; row < window.MessageList().RowCount(); ++row) {
        rows << window.MessageList().Path(row);
    }
    return rows;
}

QString WindowTest::LastPrompt() const {
    return dialogs.messages.empty() ? QString() : dialogs.messages.back().prompt;
}

QString WindowTest::LastDetails() const {
    return dialogs.messages.empty() ? QString() : dialogs.messages.back().details;
}

QString WindowTest::Shown(const char* name) const {
    const auto* control = Control<QWidget>(window, name);
    QString text;
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        text = label->text();
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        text = button->text();
    }
    return text.replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1"));
}

QPushButton* WindowTest::Button(const char* name) const {
    return Control<QPushButton>(window, name);
}

QLabel* WindowTest::Label(const char* name) const {
    return Control<QLabel>(window, name);
}

QTableView* WindowTest::Grid() const {
    return Control<QTableView>(window, "grdFiles1");
}

QProgressBar* WindowTest::Bar() const {
    return Control<QProgressBar>(window, "ProgressBar1");
}

QComboBox* WindowTest::TargetBox() const {
    return Control<QComboBox>(window, "cboTarget");
}

Mailbox ReadMailbox(const QString& path) {
    QFile file(path);
    Mailbox mailbox;
    if (!file.open(QIODevice::ReadOnly)) {
        return mailbox;
    }
    const QByteArray bytes = file.readAll();
    // Every record ends with an empty line; the next one starts with "From ".
    mailbox.wholeRecords = bytes.startsWith("From ") && bytes.endsWith("\r\n\r\n");
    bool atRecordStart = true;
    for (const QByteArray& line : bytes.split('\n')) {
        const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
        if (atRecordStart && text.startsWith("From ")) {
            mailbox.subjects << QString();
        } else if (text.startsWith("Subject: ") && !mailbox.subjects.isEmpty() &&
                   mailbox.subjects.back().isEmpty()) {
            mailbox.subjects.back() = QString::fromUtf8(text.mid(9));
        }
        atRecordStart = text.isEmpty();
    }
    return mailbox;
}

QString MirroredFolder(const QString& outputRoot, const QString& folder) {
    QString below = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    if (below.size() > 1 && below[1] == ':') {
        below.remove(0, 2);
    }
    return QDir::toNativeSeparators(QDir::cleanPath(outputRoot + '/' + below));
}

QStringList FindFiles(const QString& folder, const QString& name) {
    QStringList found;
    QDirIterator it(folder, {name}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        found << it.next();
    }
    found.sort();
    return found;
}

} // namespace marrowgate::test
