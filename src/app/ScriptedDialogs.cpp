#include "app/ScriptedDialogs.h"

namespace marrowgate {

void ScriptedDialogs::Record(const QString& prompt, MsgStyle style, Kind kind) {
    messages.push_back({prompt, style, kind});
    if (onMessage) {
        onMessage(messages.back());
    }
}

MsgAnswer ScriptedDialogs::MsgBox(QWidget*, const QString& prompt, MsgStyle style) {
    Record(prompt, style, Kind::Message);
    if (!answers.empty()) {
        const MsgAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return style == MsgStyle::YesNoQuestion ? MsgAnswer::No : MsgAnswer::Ok;
}

FailureChoice ScriptedDialogs::AskAfterFailure(QWidget*, const QString& prompt) {
    Record(prompt, MsgStyle::Critical, Kind::Failure);
    if (failureChoices.empty()) {
        return FailureChoice::Stop;
    }
    const FailureChoice choice = failureChoices.front();
    failureChoices.pop_front();
    return choice;
}

SummaryAnswer ScriptedDialogs::ShowSummary(QWidget*, const QString& prompt) {
    Record(prompt, MsgStyle::Information, Kind::Summary);
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

bool ScriptedDialogs::OpenWithShell(const QString& target) {
    opened.push_back(target);
    return shellOpens;
}

} // namespace marrowgate
