#pragma once

#include "platform/FileIdentity.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace marrowgate {

class ReadAheadMessage;

// Reads the message files a run is about to convert on a thread of its own,
// so that reading one message overlaps with writing the one before: on two
// cores the kernel's copy into memory and its copy out to the mailbox run side
// by side.
//
// The run asks for messages in the order of its rows and takes them in the
// same order; what it skips is dropped unread, or read no further. Memory is
// bounded: at most `chunks` buffers of `chunkSize` bytes are held at once, so
// a large message is read a few chunks ahead of the writer, not whole.
//
// Only the run's thread calls the public members.
class ReadAheadThread {
public:
    explicit ReadAheadThread(std::size_t chunkSize = 256 * 1024, int chunks = 16);
    ~ReadAheadThread();
    ReadAheadThread(const ReadAheadThread&) = delete;
    ReadAheadThread& operator=(const ReadAheadThread&) = delete;

    // Asks for the message file at `path`, the run's row `row`, to be read.
    // Rows are asked for in increasing order.
    void Request(int row, const std::string& path);
    // The last row asked for, or -1.
    int LastRequested() const { return lastRequested_; }
    // Gives up the messages asked for up to and including `row`.
    void DropThrough(int row);
    // The message asked for as `row`, once it is open, if it was asked for
    // under `path`; null otherwise. What was asked for before it is given up.
    std::unique_ptr<ReadAheadMessage> Take(int row, const std::string& path);

private:
    friend class ReadAheadMessage;

    struct Chunk {
        char* data = nullptr;
        std::size_t size = 0;
        bool last = false; // its end is the file's end
    };
    struct Entry {
        int row = 0;
        std::string path;
        bool opened = false; // the fields below are known
        std::chrono::sys_seconds modified{};
        long modifiedNanoseconds = 0;
        FileIdentity identity;
        std::uint64_t size = 0;
        std::deque<Chunk> chunks; // read and not yet handed out
        bool finished = false;    // no more chunks will come
        std::exception_ptr error; // what ended the reading, when it failed
        bool abandoned = false;   // nobody wants the rest
    };

    void Work();
    // The entry to read next, or null; with the lock held.
    std::shared_ptr<Entry> NextToRead() const;
    void Abandon(Entry& entry); // with the lock held
    void Release(char* data);   // with the lock held
    // Wakes the reader when it waits and there is what it waits for; with
    // the lock held.
    void WakeReader();
    // Waits, with `lock` held, until `ready`; wakes the reader first.
    template <typename Ready> void AwaitReader(std::unique_lock<std::mutex>& lock, Ready ready);

    // For ReadAheadMessage: the next chunk of `entry`, waiting for it; an
    // empty chunk at the end. Rethrows what ended the reading.
    Chunk NextChunk(Entry& entry);
    void GiveBack(const Chunk& chunk);
    void Done(const std::shared_ptr<Entry>& entry);

    const std::size_t chunkSize_;
    std::vector<std::unique_ptr<char[]>> storage_;
    std::vector<char*> free_;
    std::deque<std::shared_ptr<Entry>> entries_; // in the order asked for
    int lastRequested_ = -1;
    bool stopping_ = false;
    // The two threads wake each other only when the other waits, and the
    // reader, once out of buffers, waits until a few are free (or the run
    // waits for it): a wake-up per chunk would cost more than the overlap buys.
    enum class ReaderWaits { No, ForWork, ForRoom } readerWaits_ = ReaderWaits::No;
    bool runWaits_ = false;
    const std::size_t roomToResume_;
    std::mutex mutex_;
    std::condition_variable wake_;  // tells the reader: work, room or stop
    std::condition_variable ready_; // tells the run: bytes have come
    std::thread reader_;
};

} // namespace marrowgate
