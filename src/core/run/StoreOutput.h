#pragma once

#include "marrowgate/ConversionRun.h"
#include "output/MessageStore.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace marrowgate {

// The output of a run whose target keeps messages apart (maildir, imap): the
// MessageStore, opened at the first message, and what the run needs of it
// for one message file at a time.
class StoreOutput {
public:
    struct Stored {
        MessageStore::Outcome outcome = MessageStore::Outcome::Stored;
        std::uint64_t bytesRead = 0;
        std::uint64_t bytesStored = 0;
        bool empty = false;
    };

    // `output` is as the user gave it (an account's URL stays one), `root`
    // the folder form of it. Nothing is opened yet.
    StoreOutput(const RunOptions& options, std::string output, std::string root,
                std::function<bool()> stopRequested);
    ~StoreOutput();
    StoreOutput(const StoreOutput&) = delete;
    StoreOutput& operator=(const StoreOutput&) = delete;

    // Opens the store, unless it is open (a refused login throws
    // ConversionError).
    void Open();
    // The mailbox of the store folder of `source`; `created` tells whether it
    // was made now.
    std::string Mailbox(const std::string& source, bool& created);
    // Reads the message file of `row` and puts it into `mailbox`. A file met
    // before in this run (listed twice) counts as there already. Throws
    // ConversionError and RunInterrupted.
    Stored Put(int row, const std::string& source, const std::string& mailbox);
    // The messages Put() reported stored that the store refused since (sent
    // ahead of its answer), with the reason.
    struct Refused {
        RowFailure failure;
        Stored stored;
    };
    std::vector<Refused> TakeRefusals();
    void Finish();

private:
    const RunOptions& options_;
    std::string output_;
    std::string root_;
    std::function<bool()> stopRequested_;
    std::unique_ptr<MessageStore> store_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> filesMet_; // device and inode
    std::vector<char> buffer_;
    std::deque<Refused> recent_; // the messages last reported stored
};

} // namespace marrowgate
