#pragma once

#include <string>
#include <utility>
#include <vector>

namespace marrowgate {

// The list of message paths a run converts, read row by row while the run
// goes on (the window's list, or a plain vector for the command line).
class MessageRows {
public:
    virtual ~MessageRows() = default;
    virtual int RowCount() const = 0;
    // The text of `row`, 0 <= row < RowCount().
    virtual std::string RowText(int row) const = 0;
};

// The rows of a plain list of paths, as the command line has them.
class VectorRows : public MessageRows {
public:
    explicit VectorRows(std::vector<std::string> rows) : rows_(std::move(rows)) {}
    int RowCount() const override { return static_cast<int>(rows_.size()); }
    std::string RowText(int row) const override { return rows_.at(static_cast<std::size_t>(row)); }

private:
    std::vector<std::string> rows_;
};

} // namespace marrowgate
