#include "app/QtUserDialogs.h"

#include "shell/registryShell.h"

#include <QMessageBox>

namespace marrowgate {
namespace {

QMessageBox::Icon IconOf(MsgStyle style) {
    switch (style) {
    case MsgStyle::YesNoQuestion:
        return QMessageBox::Question;
    case MsgStyle::Information:
        return QMessageBox::Information;
    case MsgStyle::Critical:
        return QMessageBox::Critical;
    case MsgStyle::OkOnly:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

MsgAnswer QtUserDialogs::MsgBox(QWidget* owner, const QString& prompt, MsgStyle style) {
    QMessageBox box(owner);
    box.setWindowTitle(QStringLiteral("Marrowgate"));
    box.setTextFormat(Qt::PlainText);
    // Prompts break their lines with CR LF; a Qt label wants LF alone.
    box.setText(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    const bool question = style == MsgStyle::YesNoQuestion;
    box.setIcon(IconOf(style));
    box.setStandardButtons(question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    if (question) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
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
