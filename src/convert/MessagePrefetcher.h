#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace marrowgate {

// Reads the message files a run will convert next on a thread of its own,
// while the run encodes and writes the current one: on a machine with two
// cores the reading then costs the run next to nothing. Only the reading
// moves; the run still takes the messages one by one, in its own order, so
// what it writes is the same to the byte.
//
// Files up to kLargest bytes are read whole into memory, at most kBudget
// bytes ahead; a larger file is left for the run to stream itself.
class MessagePrefetcher {
public:
    static constexpr std::size_t kLargest = 1024 * 1024;
    static constexpr std::size_t kBudget = 16 * 1024 * 1024;

    // A file as the thread found it.
    struct Message {
        std::string path;
        std::unique_ptr<char[]> data;
        std::size_t size = 0;
        std::chrono::sys_seconds modified{};
        std::string error;     // why it could not be read (a ConversionError's text)
        bool tooLarge = false; // not read: the run reads it itself

        std::string_view Bytes() const { return {data.get(), size}; }
    };

    MessagePrefetcher();
    // Stops the thread; a read under way is finished first.
    ~MessagePrefetcher();
    MessagePrefetcher(const MessagePrefetcher&) = delete;
    MessagePrefetcher& operator=(const MessagePrefetcher&) = delete;

    // Asks for the file at `path` to be read; files are read in the order asked.
    void Request(std::string path);
    // The earliest file asked for and not yet taken, once read, when it is the
    // one at `path`. Otherwise (nothing asked, or the run has moved on to other
    // files) everything asked so far is dropped and nullopt returned.
    std::optional<Message> Take(const std::string& path);

private:
    void Work();
    void DropAllLocked();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> requests_; // asked, not yet read
    std::deque<Message> ready_;        // read, in the order asked
    std::size_t readyBytes_ = 0;
    bool reading_ = false;
    std::uint64_t generation_ = 0; // moves on when everything is dropped
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace marrowgate
