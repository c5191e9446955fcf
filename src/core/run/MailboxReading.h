#pragma once

#include "output/MailboxScanner.h"

#include <string>
#include <thread>
#include <vector>

namespace marrowgate {

// A mailbox split into its records (MailboxScanner) on a thread of its own,
// while the caller makes the records its messages should have: a check
// reads the mailbox and its messages side by side.
class MailboxReading {
public:
    // Starts reading the mailbox at `path`; one that does not exist has no
    // records.
    explicit MailboxReading(std::string path);
    // Waits for the reading to end.
    ~MailboxReading();
    MailboxReading(const MailboxReading&) = delete;
    MailboxReading& operator=(const MailboxReading&) = delete;

    // Wait for the reading: its records in order (those before the first
    // From_ line left out), and the errno value of a read that failed (0).
    const std::vector<MailboxScanner::Record>& Records();
    int Error();

private:
    void Wait();

    std::string path_;
    std::vector<MailboxScanner::Record> records_;
    int error_ = 0;
    std::thread thread_;
};

} // namespace marrowgate
