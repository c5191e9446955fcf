#pragma once

#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

namespace marrowgate {

// Reading the ledger's lines (each ended by LF) from its file a chunk at a
// time, so that no reader holds the whole file. Failures throw
// ConversionError naming the file.
class LedgerFileLines {
public:
    static constexpr std::uint64_t kToTheEnd = std::numeric_limits<std::uint64_t>::max();

    // Calls each(line, offset) for every whole line (LF left off) in bytes
    // [begin, end) of the file. Returns where the last whole line ends and
    // where the reading stopped (the file's end, when `end` lies past it).
    template <typename Each>
    static std::pair<std::uint64_t, std::uint64_t>
    ForEach(int fd, const std::string& path, std::uint64_t begin, std::uint64_t end, Each each);

    // The whole line that begins at `offset` of the file, LF left off.
    static std::string LineAt(int fd, const std::string& path, std::uint64_t offset);

    [[noreturn]] static void ReadFailed(const std::string& path);

private:
    static constexpr std::size_t kChunk = 64 * 1024;
};

template <typename Each>
std::pair<std::uint64_t, std::uint64_t> LedgerFileLines::ForEach(int fd, const std::string& path,
                                                                 std::uint64_t begin,
                                                                 std::uint64_t end, Each each) {
    std::string carried; // a line begun in an earlier chunk
    std::string buffer(kChunk, '\0');
    std::uint64_t offset = begin;
    std::uint64_t lineStart = begin;
    while (offset < end) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - offset));
        const long long got = platform::ReadAt(fd, buffer.data(), want, offset);
        if (got < 0) {
            ReadFailed(path);
        }
        if (got == 0) {
            break;
        }
        const std::string_view chunk(buffer.data(), static_cast<std::size_t>(got));
        std::size_t from = 0;
        for (std::size_t lf; (lf = chunk.find('\n', from)) != std::string_view::npos;
             from = lf + 1) {
            if (carried.empty()) {
                each(chunk.substr(from, lf - from), lineStart);
            } else {
                carried.append(chunk.substr(from, lf - from));
                each(std::string_view(carried), lineStart);
                carried.clear();
            }
            lineStart = offset + lf + 1;
        }
        carried.append(chunk.substr(from));
        offset += static_cast<std::uint64_t>(got);
    }
    return {lineStart, offset};
}

} // namespace marrowgate
