#pragma once

#include "record/ContentHash.h"

#include <cstdint>

namespace marrowgate {

class MailboxFile;

// What a MailboxWriter tells about the mailboxes it writes, for a run that
// keeps account of them (the conversion ledger). An exception thrown by a
// handler fails the message in hand; its record is taken back.
class MailboxEvents {
public:
    virtual ~MailboxEvents() = default;
    // The mailbox was just opened and locked; nothing is written yet. The
    // handler may cut back a tail left by an interrupted run.
    virtual void Opened(MailboxFile& mailbox) = 0;
    // A record with the content `hash` is about to be written (or, when
    // larger than is held at once, is written but not yet ended): true when
    // the mailbox holds this message already, and it is not to be.
    virtual bool AlreadyHolds(MailboxFile& mailbox, const ContentHash& hash) = 0;
    // The record [begin, end), from its From_ line, is whole in the mailbox
    // but not yet ended.
    virtual void Written(const MailboxFile& mailbox, std::uint64_t begin, std::uint64_t end,
                         const ContentHash& hash) = 0;
    // The mailbox is about to be closed; it holds whole records only.
    virtual void Closing(MailboxFile& mailbox) = 0;
};

} // namespace marrowgate
