#pragma once

#include "app/ImapAccountForm.h"

#include <QSize>
#include <QString>

namespace marrowgate {

// What the window remembers between runs of the program: its size and the
// last store and output folders and mail program chosen. Kept with QSettings under the
// application's organisation and name, so that a test that sets its own
// (or QStandardPaths' test mode) never touches the user's settings.
class WindowSettings {
public:
    // An invalid size when none was kept.
    static QSize Size();
    static void SetSize(const QSize& size);

    static QString SourceFolder();
    static void SetSourceFolder(const QString& folder);

    static QString OutputFolder();
    static void SetOutputFolder(const QString& folder);

    // The mail program last converted for, by its command-line name; empty
    // when none was chosen yet.
    static QString Target();
    static void SetTarget(const QString& name);

    // The IMAP account uploaded into last, without its password (never
    // stored).
    static ImapAccountForm ImapAccount();
    static void SetImapAccount(const ImapAccountForm& account);

    // The unfinished conversion the user declined to finish (UnfinishedRun's
    // key), so that it is not offered again.
    static QString DeclinedToFinish();
    static void SetDeclinedToFinish(const QString& key);
};

} // namespace marrowgate
