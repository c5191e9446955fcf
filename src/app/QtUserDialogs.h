#pragma once

#include "app/UserDialogs.h"

namespace marrowgate {

// The real dialogs: Qt message boxes and the desktop shell.
class QtUserDialogs : public UserDialogs {
public:
    Answer MsgBox(QWidget* owner, const QString& prompt, MessageIcon icon) override;
    FailureChoice AskAfterFailure(QWidget* owner, const QString& prompt) override;
    SummaryAnswer ShowSummary(QWidget* owner, const SummaryReport& report,
                              const std::function<void(QWidget*)>& saveReport) override;
    QString BrowseForFolder(QWidget* owner, const QString& title,
                            const QString& startFolder) override;
    QString BrowseForOutputFolder(QWidget* owner, const QString& title,
                                  const QString& startFolder) override;
    QString BrowseForSaveFile(QWidget* owner, const QString& title,
                              const QString& suggested) override;
    bool OpenWithShell(const QString& target) override;
    bool AskImapAccount(QWidget* owner, ImapAccountForm& form, const AccountTest& test) override;
};

} // namespace marrowgate
