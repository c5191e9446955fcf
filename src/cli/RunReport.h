#pragma once

#include "marrowgate/ConversionRun.h"

#include <string>
#include <vector>

namespace marrowgate {

class OutputTarget;

// What the converter tells of a finished run: each problem a line on
// stderr, the files passed over, the figures and how to import the
// mailboxes on stdout.
class RunReport {
public:
    // `walkFailure` is what ended the walk of the stores early, or empty;
    // `passedOver` the output folders inside the stores the walk passed over.
    RunReport(const RunResult& result, std::string walkFailure,
              std::vector<std::string> passedOver = {});

    // A signal stopped the run after `done` of `total` messages: the failures
    // met so far, and how to go on.
    void PrintInterrupted(int done, int total) const;

    // The run went through; it took `seconds`.
    void Print(const OutputTarget& target, double seconds) const;

    // No message failed, every store was walked to its end and no file
    // counted at the start had gone when the walk reached its folder.
    bool Succeeded() const;

private:
    void PrintFailures() const;
    void PrintFigures(double seconds) const;
    void PrintImportSteps(const OutputTarget& target) const;
    bool FilesGone() const;

    const RunResult& result_;
    std::string walkFailure_;
    std::vector<std::string> passedOver_;
};

} // namespace marrowgate
