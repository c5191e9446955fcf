#pragma once

#include "app/UserDialogs.h"

namespace marrowgate {

// The real dialogs: Qt message boxes and the desktop shell.
class QtUserDialogs : public UserDialogs {
public:
    MsgAnswer MsgBox(QWidget* owner, const QString& prompt, MsgStyle style) override;
    QString BrowseForFolder(QWidget* owner, const QString& title) override;
    void OpenWithShell(const QString& target) override;
};

} // namespace marrowgate
