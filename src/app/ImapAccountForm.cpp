#include "app/ImapAccountForm.h"

#include <QUrl>

namespace marrowgate {

QString ImapAccountForm::Url() const {
    return (startTls ? QStringLiteral("imap://") : QStringLiteral("imaps://")) +
           QString::fromLatin1(QUrl::toPercentEncoding(user.trimmed())) + QLatin1Char('@') +
           server.trimmed() + QLatin1Char('/');
}

bool ImapAccountForm::Complete() const {
    return !server.trimmed().isEmpty() && !user.trimmed().isEmpty() && !password.isEmpty();
}

} // namespace marrowgate
