#include "convert/MessagePrefetcher.h"

#include "convert/ConversionError.h"
#include "convert/MessageFile.h"

namespace marrowgate {
namespace {

MessagePrefetcher::Message ReadWhole(std::string path) {
    MessagePrefetcher::Message message;
    message.path = std::move(path);
    try {
        MessageFile file(message.path);
        message.modified = file.ModificationTime();
        if (file.SizeAtOpen() > MessagePrefetcher::kLargest) {
            message.tooLarge = true;
            return message;
        }
        // One byte to spare tells a file that has grown since it was opened.
        const std::size_t capacity = static_cast<std::size_t>(file.SizeAtOpen()) + 1;
        message.data = std::make_unique_for_overwrite<char[]>(capacity);
        while (message.size < capacity) {
            const std::size_t got =
                file.Read(message.data.get() + message.size, capacity - message.size);
            if (got == 0) {
                break;
            }
            message.size += got;
        }
        if (message.size == capacity) {
            message.data.reset();
            message.size = 0;
            message.tooLarge = true;
        }
    } catch (const ConversionError& error) {
        message.data.reset();
        message.size = 0;
        message.error = error.what();
    }
    return message;
}

} // namespace

MessagePrefetcher::MessagePrefetcher() : thread_([this] { Work(); }) {}

MessagePrefetcher::~MessagePrefetcher() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void MessagePrefetcher::Request(std::string path) {
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back(std::move(path));
    }
    changed_.notify_all();
}

std::optional<MessagePrefetcher::Message> MessagePrefetcher::Take(const std::string& path) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || (requests_.empty() && !reading_); });
    if (ready_.empty() || ready_.front().path != path) {
        DropAllLocked();
        return std::nullopt;
    }
    Message message = std::move(ready_.front());
    ready_.pop_front();
    readyBytes_ -= message.size;
    lock.unlock();
    changed_.notify_all(); // there is room in the budget again
    return message;
}

void MessagePrefetcher::DropAllLocked() {
    requests_.clear();
    ready_.clear();
    readyBytes_ = 0;
    ++generation_; // a read under way is dropped when it ends
}

void MessagePrefetcher::Work() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(
            lock, [this] { return stopping_ || (!requests_.empty() && readyBytes_ < kBudget); });
        if (stopping_) {
            return;
        }
        std::string path = std::move(requests_.front());
        requests_.pop_front();
        const std::uint64_t generation = generation_;
        reading_ = true;
        lock.unlock();
        Message message = ReadWhole(std::move(path));
        lock.lock();
        reading_ = false;
        if (generation == generation_) {
            readyBytes_ += message.size;
            ready_.push_back(std::move(message));
        }
        changed_.notify_all();
    }
}

} // namespace marrowgate
