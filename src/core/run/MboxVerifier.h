#pragma once

#include "marrowgate/OutputVerifier.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace marrowgate {

// The check of an mbox output (see VerifyOutput()): each mailbox split into
// records as mail programs split it, every message matched to the one record
// the writer makes of it today.
class MboxVerifier {
public:
    MboxVerifier(std::vector<std::string> stores, std::string outputRoot,
                 const OutputTarget& target, VerifyReport& report);
    ~MboxVerifier();
    MboxVerifier(const MboxVerifier&) = delete;
    MboxVerifier& operator=(const MboxVerifier&) = delete;

    // A message file of the list, in order.
    void Add(const std::string& path);
    // Checks every mailbox; `yield` is called before each message,
    // `stopRequested` and `progress` after it. Each mailbox is read on a
    // second thread while its messages are made into records on this one.
    void Check(const YieldFn& yield, const std::function<bool()>& stopRequested,
               const std::function<void(int, int)>& progress);

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace marrowgate
