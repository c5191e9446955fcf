#include "ledger/LedgerFileLines.h"

#include "marrowgate/ConversionError.h"

#include <cerrno>

namespace marrowgate {

void LedgerFileLines::ReadFailed(const std::string& path) {
    throw ConversionError::FromErrno("Cannot read the conversion ledger", path, errno);
}

std::string LedgerFileLines::LineAt(int fd, const std::string& path, std::uint64_t offset) {
    std::string line;
    char buffer[1024];
    for (;;) {
        const long long got = platform::ReadAt(fd, buffer, sizeof buffer, offset);
        if (got < 0) {
            ReadFailed(path);
        }
        const std::string_view chunk(buffer, static_cast<std::size_t>(got));
        const std::size_t lf = chunk.find('\n');
        line.append(chunk.substr(0, lf));
        if (got == 0 || lf != std::string_view::npos) {
            return line;
        }
        offset += static_cast<std::uint64_t>(got);
    }
}

} // namespace marrowgate
