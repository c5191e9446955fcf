#pragma once

#include <QString>

namespace marrowgate {

// The IMAP account the window uploads into, as the user fills it in.
struct ImapAccountForm {
    QString server;        // a host, or host:port
    bool startTls = false; // imap:// with STARTTLS (port 143) rather than imaps:// (993)
    QString user;
    QString password; // kept in memory only
    bool specialFolders = false;
    // A certificate (PEM) to trust instead of the system's: a server with one
    // of its own, as at home or in a small company.
    QString caFile;

    // The account as the converter names it: imaps://USER@SERVER/, the user
    // name percent-encoded (an "@" in it is "%40").
    QString Url() const;
    // Server, user and password are there.
    bool Complete() const;
};

} // namespace marrowgate
