#include "marrowgate/RowSizes.h"

#include "marrowgate/PathDerivation.h"
#include "platform/FileSystem.h"

namespace marrowgate {

std::vector<std::uint64_t> RowSizesAddedUp(const MessageRows& rows, const YieldFn& yield) {
    const int count = rows.RowCount();
    std::vector<std::uint64_t> sums;
    sums.reserve(static_cast<std::size_t>(count) + 1);
    sums.push_back(0);
    for (int row = 0; row < count; ++row) {
        CallYield(yield);
        const std::string source = SourcePathOfRow(rows.RowText(row));
        platform::FileStatus status;
        const bool sized =
            !source.empty() && platform::Status(source, status) == 0 && status.regular;
        sums.push_back(sums.back() + (sized ? status.size : 0));
    }
    return sums;
}

} // namespace marrowgate
