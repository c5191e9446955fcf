#include "app/ScriptedDialogs.h"

#include <utility>

namespace marrowgate {

namespace {

// The next answer of a queue, or `otherwise` when it has none left.
template <typename T> T Next(std::deque<T>& queue, T otherwise) {
    if (queue.empty()) {
        return otherwise;
    }
    T next = std::move(queue.front());
    queue.pop_front();
    return next;
}

} // namespace

void ScriptedDialogs::Record(const QString& prompt, MessageIcon icon, Kind kind,
                             const QString& details) {
    messages.push_back({prompt, icon, kind, details});
    if (onMessage) {
        onMessage(messages.back());
    }
}

Answer ScriptedDialogs::MsgBox(QWidget*, const QString& prompt, MessageIcon icon) {
    Record(prompt, icon, Kind::Message);
    return Next(answers, icon == MessageIcon::Question ? Answer::No : Answer::Ok);
}

FailureChoice ScriptedDialogs::AskAfterFailure(QWidget*, const QString& prompt) {
    Record(prompt, MessageIcon::Critical, Kind::Failure);
    return Next(failureChoices, FailureChoice::Stop);
}

SummaryAnswer ScriptedDialogs::ShowSummary(QWidget*, const SummaryReport& report,
                                           const std::function<void(QWidget*)>& saveReport) {
    Record(report.text, report.warning ? MessageIcon::Warning : MessageIcon::Information,
           Kind::Summary, report.details);
    messages.back().inFolder = report.inFolder;
    if (pressSaveReport && saveReport) {
        saveReport(nullptr);
    }
    return openFolder ? SummaryAnswer::OpenFolder : SummaryAnswer::Ok;
}

QString ScriptedDialogs::NextFolder(const QString& title, const QString& startFolder) {
    browseTitles.push_back(title);
    browseStarts.push_back(startFolder);
    return Next(folders, QString());
}

QString ScriptedDialogs::BrowseForFolder(QWidget*, const QString& title,
                                         const QString& startFolder) {
    return NextFolder(title, startFolder);
}

QString ScriptedDialogs::BrowseForOutputFolder(QWidget*, const QString& title,
                                               const QString& startFolder) {
    return NextFolder(title, startFolder);
}

QString ScriptedDialogs::BrowseForSaveFile(QWidget*, const QString&, const QString& suggested) {
    saveSuggestions.push_back(suggested);
    return Next(saveFiles, QString());
}

bool ScriptedDialogs::OpenWithShell(const QString& target) {
    opened.push_back(target);
    return shellOpens;
}

bool ScriptedDialogs::AskImapAccount(QWidget*, ImapAccountForm& form, const AccountTest& test) {
    accountForms.push_back(form);
    if (accounts.empty()) {
        return false;
    }
    const bool answered = accounts.front().has_value();
    if (answered) {
        form = *accounts.front();
    }
    accounts.pop_front();
    if (answered && pressTestConnection && test) {
        connectionTests.push_back(test(form));
    }
    return answered;
}

} // namespace marrowgate
