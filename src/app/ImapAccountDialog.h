#pragma once

#include "app/ImapAccountForm.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace marrowgate {

// The box that asks for an IMAP account: server, security, user name and
// password (never stored), the special folders; "Test Connection" logs in
// and says plainly how it went. OK once server, user and password are given.
class ImapAccountDialog : public QDialog {
    Q_OBJECT

public:
    using Test = std::function<QString(const ImapAccountForm&)>;
    ImapAccountDialog(const ImapAccountForm& form, Test test, QWidget* parent = nullptr);

    ImapAccountForm Form() const;

private:
    void Changed();
    void TestConnection();

    Test test_;
    QLineEdit* server_ = nullptr;
    QComboBox* security_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* caFile_ = nullptr;
    QLineEdit* password_ = nullptr;
    QCheckBox* special_ = nullptr;
    QLabel* result_ = nullptr;
    QPushButton* testButton_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace marrowgate
