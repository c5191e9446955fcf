#include "marrowgate/StoreConversion.h"

#include "list/WalkedRows.h"

#include <utility>
#include <vector>

namespace marrowgate {

StoreConversion::StoreConversion(std::string outputRoot, RunOptions options)
    : outputRoot_(std::move(outputRoot)), options_(std::move(options)),
      rows_(std::make_unique<WalkedRows>(options_.stores, outputRoot_)) {}

StoreConversion::~StoreConversion() = default;

int StoreConversion::RowCount() const {
    return rows_->RowCount() + extraRows_;
}

const std::string& StoreConversion::WalkFailure() const {
    return rows_->WalkFailure();
}

const std::vector<std::string>& StoreConversion::PassedOver() const {
    return rows_->PassedOver();
}

RunResult StoreConversion::Run(const Progress& progress,
                               const std::function<bool()>& stopRequested) {
    RunHooks hooks;
    hooks.messageConverted = [this](std::uint64_t bytes) { bytesRead_ += bytes; };
    hooks.progress = [this, &progress](int rowsDone, int /*total*/) {
        done_ = rowsBefore_ + rowsDone;
        progress(done_, RowCount(), bytesRead_);
    };
    hooks.stopRequested = stopRequested;

    RunResult result = RunConversion(*rows_, outputRoot_, hooks, options_);
    if (!result.stopped && (options_.keepGoing || result.failures.empty())) {
        if (std::vector<std::string> rest = rows_->TakeRest(); !rest.empty()) {
            rowsBefore_ = rows_->RowCount();
            extraRows_ = static_cast<int>(rest.size());
            result.Add(RunConversion(VectorRows(std::move(rest)), outputRoot_, hooks, options_),
                       rowsBefore_);
        }
    }
    return result;
}

} // namespace marrowgate
