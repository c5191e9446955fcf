#pragma once

#include "app/ImapAccountForm.h"
#include "app/SummaryReport.h"
#include "marrowgate/ConversionRun.h"

#include <QString>

#include <functional>

class QWidget;

namespace marrowgate {

// The icon of a message box, which also sets its buttons: a question has Yes
// and No, with Yes the default and Escape meaning No; every other box has OK.
enum class MessageIcon { None, Critical, Question, Information, Warning };

// The button the user pressed.
enum class Answer { Ok, Yes, No };

// How the user left the summary of a run.
enum class SummaryAnswer { Ok, OpenFolder };

// Everything the window asks of the user or of the desktop goes through here,
// so that tests can script the answers. Every message box is titled
// "Marrowgate" and is modal to `owner`.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    virtual Answer MsgBox(QWidget* owner, const QString& prompt, MessageIcon icon) = 0;

    // An error box for a message that failed, with three buttons: skip this
    // message, skip all further failures, stop. Escape means stop.
    virtual FailureChoice AskAfterFailure(QWidget* owner, const QString& prompt) = 0;

    // The box that ends a run: the report's text, its details in a
    // scrollable area that can be selected and copied, the information icon
    // (the warning icon when the report warns), OK, a button that opens the
    // folder of the mailboxes written, and "Save Report...", which calls
    // `saveReport` with the box as the owner of what it shows and leaves the
    // box open.
    virtual SummaryAnswer ShowSummary(QWidget* owner, const SummaryReport& report,
                                      const std::function<void(QWidget*)>& saveReport) = 0;

    // A folder chosen by the user, or the empty text when cancelled. The
    // dialog starts in `startFolder` when it exists.
    virtual QString BrowseForFolder(QWidget* owner, const QString& title,
                                    const QString& startFolder) = 0;

    // The same for a folder to write into, which the user may name before it
    // exists: it is created when the dialog is accepted.
    virtual QString BrowseForOutputFolder(QWidget* owner, const QString& title,
                                          const QString& startFolder) = 0;

    // A file to save into, chosen by the user, or the empty text when
    // cancelled. The dialog proposes `suggested` (a path); the user is asked
    // before a file that exists is replaced.
    virtual QString BrowseForSaveFile(QWidget* owner, const QString& title,
                                      const QString& suggested) = 0;

    // Opens a document or an address with its registered handler; false when
    // the desktop has no handler that took it.
    virtual bool OpenWithShell(const QString& target) = 0;

    // The box that asks for an IMAP account, filled in with `form`, which
    // takes what the user entered when accepted (true). Its "Test
    // Connection" shows what `test` says of the account as it stands.
    using AccountTest = std::function<QString(const ImapAccountForm&)>;
    virtual bool AskImapAccount(QWidget* owner, ImapAccountForm& form, const AccountTest& test) = 0;
};

} // namespace marrowgate
