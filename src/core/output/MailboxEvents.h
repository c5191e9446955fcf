#pragma once

#include "record/ContentHash.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace marrowgate {

class MailboxFile;

// What a MailboxWriter tells about the mailboxes it writes, for a run that
// keeps account of them (the conversion ledger). An exception thrown by a
// handler fails the message in hand; its record is taken back.
class MailboxEvents {
public:
    virtual ~MailboxEvents() = default;
    // The mailbox at `path` is about to be opened: the handler may have to
    // let go of it first (a flush of it under way).
    virtual void AboutToOpen(const std::string& path) = 0;
    // The mailbox was just opened and locked; nothing is written yet. The
    // handler may cut back a tail left by an interrupted run.
    virtual void Opened(MailboxFile& mailbox) = 0;
    // A record is about to be written, `start` being its first bytes from its
    // From_ line on (all of it when `whole`); nothing of it is written yet.
    // The handler may cut back a tail it proves an earlier try at this record.
    virtual void Beginning(MailboxFile& mailbox, std::span<const std::string_view> start,
                           bool whole) = 0;
    // A record larger than is held at once is about to be written, `start`
    // being its first bytes from its From_ line on: true when the mailbox may
    // hold it already, so that its content is to be known before any of it is
    // written (a run killed while writing it would leave a copy cut short).
    virtual bool MayHoldStartOf(MailboxFile& mailbox, std::span<const std::string_view> start) = 0;
    // A record with the content `hash` is about to be written (or, when
    // larger than is held at once, is written but not yet ended): true when
    // the mailbox holds this message already, and it is not to be.
    virtual bool AlreadyHolds(MailboxFile& mailbox, const ContentHash& hash) = 0;
    // The record [begin, end), from its From_ line, is whole in the mailbox
    // but not yet ended.
    virtual void Written(const MailboxFile& mailbox, std::uint64_t begin, std::uint64_t end,
                         const ContentHash& hash) = 0;
    // The writer is done with the mailbox, which holds whole records only:
    // the handler flushes and closes it (now, or later).
    virtual void Closing(std::unique_ptr<MailboxFile> mailbox) = 0;
};

} // namespace marrowgate
