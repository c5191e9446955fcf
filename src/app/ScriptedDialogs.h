#pragma once

#include "app/UserDialogs.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace marrowgate {

// Dialogs without a screen: records every prompt, title and target, and
// answers from queues. With the answer queue empty a question is answered
// No and any other box OK; with the folder queue empty the folder dialog is
// cancelled.
class ScriptedDialogs : public UserDialogs {
public:
    struct Shown {
        QString prompt;
        MsgStyle style;
    };

    MsgAnswer MsgBox(QWidget* owner, const QString& prompt, MsgStyle style) override;
    QString BrowseForFolder(QWidget* owner, const QString& title) override;
    void OpenWithShell(const QString& target) override;

    std::deque<MsgAnswer> answers;
    std::deque<QString> folders;

    std::vector<Shown> messages;
    QStringList browseTitles;
    QStringList opened;

    // Called as each message box is shown, before it is answered.
    std::function<void(const Shown&)> onMessage;
};

} // namespace marrowgate
