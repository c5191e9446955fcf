#pragma once

#include <QString>

namespace marrowgate {

class MessageRows;

// The folder under `outputRoot` that holds every mailbox a conversion of
// `rows` writes: the mirror of the deepest folder that all the listed message
// files lie under. Mailboxes sit as deep below the output root as their
// messages lie below their root, so this is where the user wants to look.
// The output root itself when the rows have no folder in common (or none
// can be mirrored). A native path without a final separator.
QString MailboxesFolder(const MessageRows& rows, const QString& outputRoot);

} // namespace marrowgate
