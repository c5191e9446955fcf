#include "app/QtUserDialogs.h"

#include "app/ImapAccountDialog.h"
#include "app/ReportDialog.h"
#include "app/registryShell.h"

#include <QMessageBox>
#include <QPushButton>

namespace marrowgate {
namespace {

QMessageBox::Icon IconOf(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

void SetUp(QMessageBox& box, const QString& prompt, QMessageBox::Icon icon) {
    box.setWindowTitle(QStringLiteral("Marrowgate"));
    box.setTextFormat(Qt::PlainText);
    // Prompts break their lines with CR LF; a Qt label wants LF alone.
    box.setText(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box.setIcon(icon);
}

} // namespace

Answer QtUserDialogs::MsgBox(QWidget* owner, const QString& prompt, MessageIcon icon) {
    QMessageBox box(owner);
    SetUp(box, prompt, IconOf(icon));
    const bool question = icon == MessageIcon::Question;
    box.setStandardButtons(question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    if (question) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Ok;
    }
}

FailureChoice QtUserDialogs::AskAfterFailure(QWidget* owner, const QString& prompt) {
    QMessageBox box(owner);
    SetUp(box, prompt, QMessageBox::Critical);
    QPushButton* skip =
        box.addButton(QStringLiteral("&Skip This Message"), QMessageBox::AcceptRole);
    QPushButton* skipAll =
        box.addButton(QStringLiteral("Skip &All Failures"), QMessageBox::AcceptRole);
    QPushButton* stop = box.addButton(QStringLiteral("S&top"), QMessageBox::RejectRole);
    box.setDefaultButton(skip);
    box.setEscapeButton(stop);
    box.exec();
    if (box.clickedButton() == skip) {
        return FailureChoice::SkipThis;
    }
    return box.clickedButton() == skipAll ? FailureChoice::SkipAll : FailureChoice::Stop;
}

SummaryAnswer QtUserDialogs::ShowSummary(QWidget* owner, const SummaryReport& report,
                                         const std::function<void(QWidget*)>& saveReport) {
    ReportDialog box(report, saveReport, owner);
    box.exec();
    return box.OpenFolderChosen() ? SummaryAnswer::OpenFolder : SummaryAnswer::Ok;
}

QString QtUserDialogs::BrowseForFolder(QWidget* owner, const QString& title,
                                       const QString& startFolder) {
    return marrowgate::BrowseForFolder(owner, title, startFolder);
}

QString QtUserDialogs::BrowseForOutputFolder(QWidget* owner, const QString& title,
                                             const QString& startFolder) {
    return marrowgate::BrowseForFolder(owner, title, startFolder, true);
}

QString QtUserDialogs::BrowseForSaveFile(QWidget* owner, const QString& title,
                                         const QString& suggested) {
    return marrowgate::BrowseForSaveFile(owner, title, suggested);
}

bool QtUserDialogs::OpenWithShell(const QString& target) {
    return marrowgate::OpenWithShell(target);
}

bool QtUserDialogs::AskImapAccount(QWidget* owner, ImapAccountForm& form, const AccountTest& test) {
    ImapAccountDialog box(form, test, owner);
    if (box.exec() != QDialog::Accepted) {
        return false;
    }
    form = box.Form();
    return true;
}

} // namespace marrowgate
