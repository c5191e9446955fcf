#pragma once

#include "marrowgate/MessageRows.h"
#include "marrowgate/Yield.h"

#include <cstdint>
#include <vector>

namespace marrowgate {

// The sizes of the message files the rows name, added up row by row: entry
// i is the bytes of rows 0 to i - 1, the last entry the bytes of them all.
// A row that is empty or names no file counts nothing. `yield` is called
// between rows, so that a window stays live over a long list.
std::vector<std::uint64_t> RowSizesAddedUp(const MessageRows& rows, const YieldFn& yield = {});

} // namespace marrowgate
