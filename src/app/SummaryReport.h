#pragma once

#include <QString>

namespace marrowgate {

// What the box that ends a run shows: the closing words, which stay short
// whatever happened, and the details (figures, paths, every failure and
// every problem the check found), which may run to thousands of lines and
// are shown scrollable and saved as a report.
struct SummaryReport {
    QString text;
    QString details;
    // Something failed, was stopped or did not verify.
    bool warning = false;
    // The messages are in a folder the desktop can open (not an account).
    bool inFolder = true;
};

} // namespace marrowgate
