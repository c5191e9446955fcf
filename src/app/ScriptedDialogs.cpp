#include "app/ScriptedDialogs.h"

namespace marrowgate {

MsgAnswer ScriptedDialogs::MsgBox(QWidget*, const QString& prompt, MsgStyle style) {
    messages.push_back({prompt, style});
    if (onMessage) {
        onMessage(messages.back());
    }
    if (!answers.empty()) {
        const MsgAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return style == MsgStyle::YesNoQuestion ? MsgAnswer::No : MsgAnswer::Ok;
}

QString ScriptedDialogs::BrowseForFolder(QWidget*, const QString& title) {
    browseTitles.push_back(title);
    if (folders.empty()) {
        return {};
    }
    QString folder = folders.front();
    folders.pop_front();
    return folder;
}

void ScriptedDialogs::OpenWithShell(const QString& target) {
    opened.push_back(target);
}

} // namespace marrowgate
