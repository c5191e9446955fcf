#pragma once

#include "app/ImapAccountForm.h"
#include "marrowgate/ConversionRun.h"

#include <QString>

#include <optional>

class QWidget;

namespace marrowgate {

class UserDialogs;

// Where the window's conversion goes: a folder the user chooses, or the IMAP
// account the user fills in. Both are remembered for the next start but for
// the account's password, which is kept in memory only and asked for again.
class OutputChoice {
public:
    explicit OutputChoice(UserDialogs& dialogs);

    // The output for `target`: the folder chosen, or the account's URL (asked
    // for first when not complete); nullopt when the user cancelled.
    std::optional<QString> Choose(QWidget* owner, const OutputTarget& target);
    // Asks for the account, filled in with what is known of it; false when
    // the user cancelled.
    bool AskAccount(QWidget* owner);
    bool HasAccount() const { return account_.Complete(); }
    // The account's login and the place of its folders, for an upload.
    void Apply(RunOptions& options) const;

    // What logging in to `form`'s account says, in a sentence.
    static QString TestConnection(const ImapAccountForm& form);

private:
    UserDialogs& dialogs_;
    ImapAccountForm account_;
};

} // namespace marrowgate
