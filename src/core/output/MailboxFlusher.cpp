#include "output/MailboxFlusher.h"

#include "output/MailboxFile.h"
#include "platform/FileSystem.h"
#include "platform/Threads.h"

#include <cerrno>

namespace marrowgate {

MailboxFlusher::~MailboxFlusher() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_one();
    thread_.join();
}

void MailboxFlusher::Hand(std::unique_ptr<MailboxFile> mailbox, bool note) {
    // Writing back starts now, so that the flush waits for the disk only.
    mailbox->StartWriteBack();
    {
        const std::lock_guard lock(mutex_);
        waiting_.push_back({std::move(mailbox), note, 0});
    }
    ++held_;
    if (!thread_.joinable()) {
        thread_ = platform::StartWorkerThread([this] { Work(); });
    }
    work_.notify_one();
}

// What stops the thread waits for the mailboxes handed before it.
void MailboxFlusher::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty()) {
            return;
        }
        const int fd = waiting_.front().mailbox->Fd();
        lock.unlock();
        const int error = platform::Sync(fd) == 0 ? 0 : errno;
        lock.lock();
        waiting_.front().error = error;
        flushed_.push_back(std::move(waiting_.front()));
        waiting_.pop_front();
        done_.notify_all();
    }
}

std::vector<MailboxFlusher::Flushed> MailboxFlusher::TakeFlushed() {
    std::vector<Flushed> taken;
    if (held_ == 0) {
        return taken;
    }
    {
        const std::lock_guard lock(mutex_);
        taken.swap(flushed_);
    }
    held_ -= taken.size();
    return taken;
}

std::size_t MailboxFlusher::CountThrough(const FileIdentity& identity) const {
    for (std::size_t i = waiting_.size(); i > 0; --i) {
        if (waiting_[i - 1].mailbox->Identity() == identity) {
            return i;
        }
    }
    return 0;
}

// Mailboxes only join the flushed ones while the run waits: it alone takes
// them back.
void MailboxFlusher::WaitFor(const FileIdentity& identity) {
    std::unique_lock lock(mutex_);
    const std::size_t target = flushed_.size() + CountThrough(identity);
    done_.wait(lock, [&] { return flushed_.size() >= target; });
}

void MailboxFlusher::WaitForAll() {
    std::unique_lock lock(mutex_);
    const std::size_t target = flushed_.size() + waiting_.size();
    done_.wait(lock, [&] { return flushed_.size() >= target; });
}

} // namespace marrowgate
