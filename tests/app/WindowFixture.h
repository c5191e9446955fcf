#pragma once

#include "app/MessageListModel.h"
#include "app/ScriptedDialogs.h"
#include "app/frmStep1.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

// Failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace marrowgate::test {

// The control of `form` with the object name `name`; a missing one fails the
// test that asks for it.
template <typename T> T* Control(const QWidget& form, const char* name) {
    T* control = form.findChild<T*>(QLatin1String(name));
    if (control == nullptr) {
        throw std::logic_error("the window has no control " + std::string(name));
    }
    return control;
}

// A shown window with scripted dialogs and a temporary folder for stores and
// output. Every yield processes events, so that a test can act in between.
class WindowTest : public ::testing::Test {
protected:
    WindowTest();

    // Writes a small message with `subject` at `relative`; the body is
    // `body`, or a line naming the subject.
    QString WriteMessage(const QString& relative, const QString& subject,
                         const QByteArray& body = {});
    // Writes `content` at `relative` below the temporary folder.
    QString WriteFile(const QString& relative, const QByteArray& content);
    // In the system's form ("\\" on Windows), as the folder dialogs give paths.
    QString TempPath(const QString& relative) const;

    // The rows of the list, in order.
    QStringList Rows() const;
    QString LastPrompt() const;
    // The details of the last box, a summary's.
    QString LastDetails() const;

    // The text of the label or button `name` as the window shows it: without
    // the "&" that marks its access key.
    QString Shown(const char* name) const;

    // The window's controls by name.
    QPushButton* Button(const char* name) const;
    QLabel* Label(const char* name) const;
    QTableView* Grid() const;
    QProgressBar* Bar() const;
    QComboBox* TargetBox() const;

    // Forgets what earlier windows remembered, before the window reads it.
    struct ForgetSettings {
        ForgetSettings();
    } forgetSettings;
    ScriptedDialogs dialogs;
    frmStep1 window{dialogs};
    QTemporaryDir temp;
};

// One mbox file read back: the Subject of each record, in order, and whether
// the file consists of whole records only (From_ line ... empty line).
struct Mailbox {
    QStringList subjects;
    bool wholeRecords = false;
};
Mailbox ReadMailbox(const QString& path);

// The folder that mirrors `folder` below `outputRoot`: the path of `folder`
// without its root ("/", or a drive on Windows), in the system's form.
QString MirroredFolder(const QString& outputRoot, const QString& folder);

// Every file named `name` below `folder`.
QStringList FindFiles(const QString& folder, const QString& name);

} // namespace marrowgate::test
