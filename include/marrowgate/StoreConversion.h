#pragma once

#include "marrowgate/ConversionRun.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace marrowgate {

class WalkedRows;

// The conversion of whole store folders, as the command line asks for it.
// The stores are walked while they are converted, so that memory does not
// grow with their size; a first walk only counts, for the progress. Files
// added to the stores since the count follow in a second run, in walk order,
// unless the first one stopped or ended at a failure.
class StoreConversion {
public:
    // Counts the message files of `options.stores`; throws WalkError naming a
    // store folder that cannot be listed.
    StoreConversion(std::string outputRoot, RunOptions options);
    ~StoreConversion();
    StoreConversion(const StoreConversion&) = delete;
    StoreConversion& operator=(const StoreConversion&) = delete;

    // The message files known: counted at the start or found since.
    int RowCount() const;
    // Those converted or passed over so far.
    int Done() const { return done_; }
    // What ended the walk early, or the empty text.
    const std::string& WalkFailure() const;
    // Output folders inside the stores (the output folder, or any holding a
    // conversion ledger): passed over, their files never converted.
    const std::vector<std::string>& PassedOver() const;

    // Converts every row with the figures of all runs in one result, rows
    // numbered across them. `progress` is told after each row how many are
    // done of RowCount() and the bytes read so far; `stopRequested` ends the
    // run between records. Throws ConversionError when the output cannot be
    // written at all.
    using Progress = std::function<void(int done, int total, std::uint64_t bytesRead)>;
    RunResult Run(const Progress& progress, const std::function<bool()>& stopRequested);

private:
    std::string outputRoot_;
    RunOptions options_;
    std::unique_ptr<WalkedRows> rows_;
    int rowsBefore_ = 0; // rows of the runs before this one
    int extraRows_ = 0;  // rows found beyond the count
    int done_ = 0;       // rows done, in all runs
    std::uint64_t bytesRead_ = 0;
};

} // namespace marrowgate
