#include "app/ScriptedDialogs.h"

namespace marrowgate {

void ScriptedDialogs::Record(const QString& prompt, MessageIcon icon, Kind kind,
                             const QString& details) {
    messages.push_back({prompt, icon, kind, details});
    if (onMessage) {
        onMessage(messages.back());
    }
}

Answer ScriptedDialogs::MsgBox(QWidget*, const QString& prompt, MessageIcon icon) {
    Record(prompt, icon, Kind::Message);
    if (!answers.empty()) {
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return icon == MessageIcon::Question ? Answer::No : Answer::Ok;
}

FailureChoice ScriptedDialogs::AskAfterFailure(QWidget*, const QString& prompt) {
    Record(prompt, MessageIcon::Critical, Kind::Failure);
    if (failureChoices.empty()) {
        return FailureChoice::Stop;
    }
    const FailureChoice choice = failureChoices.front();
    failureChoices.pop_front();
    return choice;
}

SummaryAnswer ScriptedDialogs::ShowSummary(QWidget*, const SummaryReport& report,
                                           const std::function<void(QWidget*)>& saveReport) {
    Record(report.text, report.warning ? MessageIcon::Warning : MessageIcon::Information,
           Kind::Summary, report.details);
    if (pressSaveReport && saveReport) {
        saveReport(nullptr);
    }
    return openFolder ? SummaryAnswer::OpenFolder : SummaryAnswer::Ok;
}

QString ScriptedDialogs::NextFolder(const QString& title, const QString& startFolder) {
    browseTitles.push_back(title);
    browseStarts.push_back(startFolder);
    if (folders.empty()) {
        return {};
    }
    QString folder = folders.front();
    folders.pop_front();
    return folder;
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
    if (saveFiles.empty()) {
        return {};
    }
    QString file = saveFiles.front();
    saveFiles.pop_front();
    return file;
}

bool ScriptedDialogs::OpenWithShell(const QString& target) {
    opened.push_back(target);
    return shellOpens;
}

} // namespace marrowgate
