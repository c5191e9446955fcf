#pragma once

#include "app/UserDialogs.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace marrowgate {

// Dialogs without a screen: records every prompt, title and target, and
// answers from queues. With the answer queue empty a question is answered
// No and any other box OK; with the folder queue empty the folder dialog is
// cancelled; with the failure queue empty a failure stops the run; the
// summary is answered OK unless openFolder says otherwise, after pressing
// "Save Report..." when pressSaveReport says so; with the save queue empty
// the save dialog is cancelled.
class ScriptedDialogs : public UserDialogs {
public:
    // How each box was shown. Failure choices and summaries are recorded with
    // the icons Critical and Information, as the boxes look.
    enum class Kind { Message, Failure, Summary };
    struct Shown {
        QString prompt;
        MessageIcon icon;
        Kind kind = Kind::Message;
        // A summary's details.
        QString details;
        // A summary's: its messages are in a folder to open.
        bool inFolder = true;
    };

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
    // Answers with the next account (nullopt, or none left: cancelled),
    // after pressing "Test Connection" when pressTestConnection says so.
    bool AskImapAccount(QWidget* owner, ImapAccountForm& form, const AccountTest& test) override;

    std::deque<Answer> answers;
    std::deque<FailureChoice> failureChoices;
    std::deque<QString> folders;
    bool openFolder = false;
    bool pressSaveReport = false;
    std::deque<QString> saveFiles;
    // Whether the desktop takes what is opened.
    bool shellOpens = true;
    std::deque<std::optional<ImapAccountForm>> accounts;
    bool pressTestConnection = false;

    std::vector<Shown> messages;
    QStringList browseTitles;
    QStringList browseStarts;
    // What each save dialog proposed.
    QStringList saveSuggestions;
    QStringList opened;
    // Each account box as it opened, and what each test said.
    std::vector<ImapAccountForm> accountForms;
    QStringList connectionTests;

    // Called as each box is shown, before it is answered.
    std::function<void(const Shown&)> onMessage;

private:
    void Record(const QString& prompt, MessageIcon icon, Kind kind, const QString& details = {});
    QString NextFolder(const QString& title, const QString& startFolder);
};

} // namespace marrowgate
