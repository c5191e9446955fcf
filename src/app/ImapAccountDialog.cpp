#include "app/ImapAccountDialog.h"

#include "app/WaitCursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace marrowgate {

ImapAccountDialog::ImapAccountDialog(const ImapAccountForm& form, Test test, QWidget* parent)
    : QDialog(parent), test_(std::move(test)) {
    setObjectName(QStringLiteral("dlgImapAccount"));
    setWindowTitle(QStringLiteral("IMAP Account"));
    server_ = new QLineEdit(form.server, this);
    server_->setObjectName(QStringLiteral("txtServer"));
    server_->setPlaceholderText(QStringLiteral("imap.example.com"));
    security_ = new QComboBox(this);
    security_->setObjectName(QStringLiteral("cboSecurity"));
    security_->addItems({QStringLiteral("TLS (port 993)"), QStringLiteral("STARTTLS (port 143)")});
    security_->setCurrentIndex(form.startTls ? 1 : 0);
    user_ = new QLineEdit(form.user, this);
    user_->setObjectName(QStringLiteral("txtUser"));
    user_->setPlaceholderText(QStringLiteral("you@example.com"));
    password_ = new QLineEdit(form.password, this);
    password_->setObjectName(QStringLiteral("txtPassword"));
    password_->setEchoMode(QLineEdit::Password);
    caFile_ = new QLineEdit(form.caFile, this);
    caFile_->setObjectName(QStringLiteral("txtCertificateFile"));
    caFile_->setPlaceholderText(QStringLiteral("Only for a server with a certificate of its own"));
    // A check box does not wrap: its words stay short and the label under it
    // says the rest, so that nothing is cut off at a large scale.
    special_ = new QCheckBox(QStringLiteral("Use the account's own &folders"), this);
    special_->setObjectName(QStringLiteral("chkSpecialFolders"));
    special_->setChecked(form.specialFolders);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("&Server:"), server_);
    fields->addRow(QStringLiteral("S&ecurity:"), security_);
    fields->addRow(QStringLiteral("&User name:"), user_);
    fields->addRow(QStringLiteral("&Password:"), password_);
    fields->addRow(QStringLiteral("&Certificate file:"), caFile_);

    auto* specialNote = new QLabel(
        QStringLiteral("Inbox, Sent Items, Deleted Items, Drafts and Junk E-mail then go into "
                       "the account's Inbox, Sent, Trash, Drafts and Junk; otherwise everything "
                       "goes under a folder named after the store."),
        this);
    specialNote->setWordWrap(true);
    auto* note = new QLabel(QStringLiteral("The password is not stored: the window asks for it "
                                           "again the next time it starts."),
                            this);
    note->setWordWrap(true);
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("lblTestResult"));
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    testButton_ =
        buttons->addButton(QStringLiteral("&Test Connection"), QDialogButtonBox::ActionRole);
    testButton_->setObjectName(QStringLiteral("cmdTestConnection"));
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(testButton_, &QPushButton::clicked, this, &ImapAccountDialog::TestConnection);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit* edit : {server_, user_, password_, caFile_}) {
        connect(edit, &QLineEdit::textChanged, this, &ImapAccountDialog::Changed);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(special_);
    layout->addWidget(specialNote);
    layout->addWidget(note);
    layout->addWidget(result_);
    layout->addWidget(buttons);
    setMinimumWidth(420);
    Changed();
}

ImapAccountForm ImapAccountDialog::Form() const {
    return {server_->text(),   security_->currentIndex() == 1, user_->text(),
            password_->text(), special_->isChecked(),          caFile_->text().trimmed()};
}

// What a test said no longer holds once the account changes.
void ImapAccountDialog::Changed() {
    const bool complete = Form().Complete();
    ok_->setEnabled(complete);
    testButton_->setEnabled(complete);
    result_->clear();
}

void ImapAccountDialog::TestConnection() {
    WaitCursor wait;
    result_->setText(QStringLiteral("Connecting..."));
    result_->repaint();
    result_->setText(test_ ? test_(Form()) : QString());
}

} // namespace marrowgate
