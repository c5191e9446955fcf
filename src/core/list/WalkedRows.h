#pragma once

#include "list/StoreWalk.h"
#include "marrowgate/MessageRows.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace marrowgate {

// The message files below a list of store folders, as rows for a run, found
// by walking the stores while the run reads them: what CollectMessageFiles
// gives for each store in turn, in the same order, without holding the list.
//
// RowCount() comes from a first walk that only counts. Rows are read in
// increasing order, though the last kRecall rows read may be read again (a run
// looks a few rows ahead); reading an earlier one throws std::logic_error. Should the stores change
// between the count and the run: a row past the last file the walk finds reads as empty (a run
// skips it), and files found beyond RowCount() wait in TakeRest(). A folder that cannot be listed
// during the run ends the walk: later rows read as empty and WalkFailure() names it.
class WalkedRows : public MessageRows {
public:
    // Counts the message files, passing over output folders inside the
    // stores, `outputRoot` among them (OutputFolders). Throws WalkError
    // naming a folder that cannot be listed, before anything is read for the
    // run.
    explicit WalkedRows(std::vector<std::string> stores, std::string outputRoot = {});

    static constexpr int kRecall = 64;

    int RowCount() const override { return count_; }
    std::string RowText(int row) const override;

    // The message files the walk finds after the last row read, in walk order.
    std::vector<std::string> TakeRest();
    // What ended the walk early, or the empty text.
    const std::string& WalkFailure() const { return failure_; }
    // The output folders inside the stores that the count passed over.
    const std::vector<std::string>& PassedOver() const { return passedOver_; }

private:
    bool NextMessage(std::string& path) const;

    std::vector<std::string> stores_;
    std::string outputRoot_;
    std::vector<std::string> passedOver_;
    int count_ = 0;
    mutable std::size_t store_ = 0;
    mutable std::unique_ptr<StoreWalk> walk_;
    mutable int row_ = -1;                   // the last row read
    mutable std::deque<std::string> recent_; // the rows up to row_, last at the back
    mutable std::string failure_;
};

} // namespace marrowgate
