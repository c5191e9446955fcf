#pragma once

#include "platform/FileIdentity.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace marrowgate {

class MailboxFile;

// Flushes mailbox files to disk on a thread of its own, so that the next
// mailbox is written while the last one is flushed. A mailbox handed over
// stays open, and so locked, until it is taken back flushed; the caller
// closes it then, once it has noted the flush (the ledger's "closed" line).
// Mailboxes are flushed in the order they are handed over and come back in
// that order.
//
// Only one thread (the run's) calls the public members.
class MailboxFlusher {
public:
    MailboxFlusher() = default;
    // Waits for the flushes under way; the mailboxes not taken back are
    // closed unnoted.
    ~MailboxFlusher();
    MailboxFlusher(const MailboxFlusher&) = delete;
    MailboxFlusher& operator=(const MailboxFlusher&) = delete;

    // A mailbox whose last record is whole, to be flushed; `note` comes
    // back with it (whether the caller is to note the flush).
    void Hand(std::unique_ptr<MailboxFile> mailbox, bool note);

    // A mailbox flushed, with the errno value of a flush that failed (0).
    struct Flushed {
        std::unique_ptr<MailboxFile> mailbox;
        bool note = false;
        int error = 0;
    };
    // The mailboxes flushed since the last call, in the order handed over;
    // waits for none.
    std::vector<Flushed> TakeFlushed();
    // Waits until the mailbox that is the file `identity` (and those handed
    // before it) is flushed; at once when none such is waiting.
    void WaitFor(const FileIdentity& identity);
    // Waits until every mailbox handed over is flushed.
    void WaitForAll();
    // Mailboxes handed over and not yet taken back.
    bool Holds() const { return held_ > 0; }

private:
    void Work();
    // With the lock held: how many of the queue's mailboxes must be flushed
    // to include the one that is `identity`; 0 when none is.
    std::size_t CountThrough(const FileIdentity& identity) const;

    std::mutex mutex_;
    std::condition_variable work_; // tells the thread: a mailbox, or stop
    std::condition_variable done_; // tells the run: a mailbox flushed
    std::deque<Flushed> waiting_;  // handed over, not flushed
    std::vector<Flushed> flushed_; // not yet taken back
    bool stopping_ = false;
    std::size_t held_ = 0; // the run's own count, read without the lock
    std::thread thread_;   // started with the first mailbox
};

} // namespace marrowgate
