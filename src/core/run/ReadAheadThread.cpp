#include "run/ReadAheadThread.h"

#include "message/MessageFile.h"
#include "platform/FileSystem.h"
#include "platform/Threads.h"
#include "run/ReadAheadMessage.h"

#include <algorithm>

namespace marrowgate {

ReadAheadThread::ReadAheadThread(std::size_t chunkSize, int chunks)
    : chunkSize_(chunkSize), roomToResume_(static_cast<std::size_t>(std::max(1, chunks / 4))) {
    for (int i = 0; i < chunks; ++i) {
        // Uninitialised: only what a read reaches becomes resident.
        storage_.push_back(std::make_unique_for_overwrite<char[]>(chunkSize));
        free_.push_back(storage_.back().get());
    }
    reader_ = platform::StartWorkerThread([this] { Work(); });
}

ReadAheadThread::~ReadAheadThread() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        wake_.notify_one();
    }
    reader_.join();
}

void ReadAheadThread::Request(int row, const std::string& path) {
    auto entry = std::make_shared<Entry>();
    entry->row = row;
    entry->path = path;
    const std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
    lastRequested_ = row;
    if (readerWaits_ == ReaderWaits::ForWork) {
        wake_.notify_one();
    }
}

void ReadAheadThread::DropThrough(int row) {
    const std::lock_guard lock(mutex_);
    while (!entries_.empty() && entries_.front()->row <= row) {
        Abandon(*entries_.front());
        entries_.pop_front();
    }
    WakeReader();
}

void ReadAheadThread::WakeReader() {
    if ((readerWaits_ == ReaderWaits::ForRoom && (free_.size() >= roomToResume_ || runWaits_)) ||
        (readerWaits_ == ReaderWaits::ForWork && runWaits_)) {
        wake_.notify_one();
    }
}

template <typename Ready>
void ReadAheadThread::AwaitReader(std::unique_lock<std::mutex>& lock, Ready ready) {
    if (ready()) {
        return;
    }
    runWaits_ = true;
    WakeReader();
    ready_.wait(lock, ready);
    runWaits_ = false;
}

std::unique_ptr<ReadAheadMessage> ReadAheadThread::Take(int row, const std::string& path) {
    std::shared_ptr<Entry> entry;
    {
        std::unique_lock lock(mutex_);
        while (!entries_.empty() &&
               (entries_.front()->row < row ||
                (entries_.front()->row == row && entries_.front()->path != path))) {
            Abandon(*entries_.front());
            entries_.pop_front();
        }
        if (entries_.empty() || entries_.front()->row != row) {
            return nullptr;
        }
        entry = entries_.front();
        AwaitReader(lock, [&] { return entry->opened || entry->finished; });
    }
    return std::make_unique<ReadAheadMessage>(*this, std::move(entry));
}

std::shared_ptr<ReadAheadThread::Entry> ReadAheadThread::NextToRead() const {
    const auto unread =
        std::find_if(entries_.begin(), entries_.end(), [](const auto& e) { return !e->finished; });
    return unread == entries_.end() ? nullptr : *unread;
}

void ReadAheadThread::Abandon(Entry& entry) {
    entry.abandoned = true;
    entry.finished = true;
    for (const Chunk& chunk : entry.chunks) {
        Release(chunk.data);
    }
    entry.chunks.clear();
}

void ReadAheadThread::Release(char* data) {
    if (data != nullptr) {
        free_.push_back(data);
    }
}

// One file at a time, in the order asked for, a chunk per free buffer. The
// lock is let go for the opening and each read, so the run never waits on a
// read of a message other than the one it wants.
void ReadAheadThread::Work() {
    std::unique_ptr<MessageFile> file;
    std::shared_ptr<Entry> reading; // the entry `file` belongs to
    bool starved = false;           // ran out of buffers, and not enough came back
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        std::shared_ptr<Entry> entry = NextToRead();
        if (reading != entry) {
            lock.unlock();
            file.reset();
            lock.lock();
            reading = entry;
            continue; // the queue may have changed meanwhile
        }
        if (!entry) {
            readerWaits_ = ReaderWaits::ForWork;
        } else if (free_.empty() || (starved && free_.size() < roomToResume_ && !runWaits_)) {
            starved = true;
            readerWaits_ = ReaderWaits::ForRoom;
        }
        if (readerWaits_ != ReaderWaits::No) {
            wake_.wait(lock);
            readerWaits_ = ReaderWaits::No;
            continue;
        }
        starved = false;
        char* buffer = free_.back();
        free_.pop_back();
        const bool first = !file;
        Chunk chunk{buffer, 0, false};
        std::exception_ptr error;
        lock.unlock();
        try {
            if (first) {
                file = std::make_unique<MessageFile>(entry->path);
                chunk.size = file->ReadStart(buffer, chunkSize_);
            } else {
                chunk.size = file->Read(buffer, chunkSize_);
            }
            chunk.last = file->AtEnd();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (entry->abandoned) {
            Release(buffer);
            continue;
        }
        if (first && file) {
            entry->opened = true;
            entry->modified = file->ModificationTime();
            entry->modifiedNanoseconds = file->ModificationNanoseconds();
            entry->identity = file->Identity();
            entry->size = file->Size();
        }
        if (error) {
            Release(buffer);
            entry->error = error;
            entry->finished = true;
        } else {
            if (chunk.size == 0) {
                Release(buffer);
                chunk.data = nullptr;
            }
            if (chunk.size > 0 || chunk.last) {
                entry->chunks.push_back(chunk);
            }
            entry->finished = chunk.last;
        }
        if (runWaits_) {
            ready_.notify_one();
        }
    }
    lock.unlock();
}

ReadAheadThread::Chunk ReadAheadThread::NextChunk(Entry& entry) {
    std::unique_lock lock(mutex_);
    AwaitReader(lock, [&] { return !entry.chunks.empty() || entry.finished; });
    if (entry.chunks.empty()) {
        if (entry.error) {
            std::rethrow_exception(entry.error);
        }
        return Chunk{nullptr, 0, true};
    }
    const Chunk chunk = entry.chunks.front();
    entry.chunks.pop_front();
    return chunk;
}

void ReadAheadThread::GiveBack(const Chunk& chunk) {
    if (chunk.data == nullptr) {
        return;
    }
    const std::lock_guard lock(mutex_);
    Release(chunk.data);
    WakeReader();
}

void ReadAheadThread::Done(const std::shared_ptr<Entry>& entry) {
    const std::lock_guard lock(mutex_);
    Abandon(*entry);
    std::erase(entries_, entry);
    WakeReader();
}

} // namespace marrowgate
