#include "app/QtUserDialogs.h"

#include "shell/registryShell.h"

#include <QMessageBox>

namespace marrowgate {

MsgAnswer QtUserDialogs::MsgBox(QWidget* owner, const QString& prompt, MsgStyle style) {
    QMessageBox box(owner);
    box.setWindowTitle(QStringLiteral("Marrowgate"));
    box.setTextFormat(Qt::PlainText);
    // Prompts break their lines with CR LF; a Qt label wants LF alone.
    box.setText(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    switch (style) {
    case MsgStyle::YesNoQuestion:
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        break;
    case MsgStyle::Information:
        box.setIcon(QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgStyle::Critical:
        box.setIcon(QMessageBox::Critical);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgStyle::OkOnly:
        box.setIcon(QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return MsgAnswer::Ok;
    }
}

QString QtUserDialogs::BrowseForFolder(QWidget* owner, const QString& title) {
    return marrowgate::BrowseForFolder(owner, title);
}

void QtUserDialogs::OpenWithShell(const QString& target) {
    marrowgate::OpenWithShell(target);
}

} // namespace marrowgate
