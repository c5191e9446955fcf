#pragma once

#include "marrowgate/LineEnding.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marrowgate {

struct BareMessage;

// Where a run puts messages that are not mbox records: one message per file
// of a Maildir tree, one upload per message to an IMAP account. The run
// hands each message over as a BareMessage.
//
// Exactly once without a ledger of its own: before a message is stored, the
// store looks for it among the messages its mailbox holds already (the same
// size and date, then the same bytes), so a run that was killed, stopped or
// cut off is finished by running it again, and a copy the store holds counts
// for one message file only.
class MessageStore {
public:
    enum class Outcome { Stored, AlreadyThere };

    virtual ~MessageStore() = default;

    // The line ends the store's messages have.
    virtual LineEnding LineEnd() const = 0;
    // The mailbox for the messages of a store folder, from the store's name
    // down (["Store", "Inbox", "Sub"]), made when missing (`created` tells).
    // The text names it for the user. Throws ConversionError.
    virtual std::string Mailbox(const std::vector<std::string>& folderNames, bool& created) = 0;
    // Puts `message` into `mailbox`, unless it holds that message already.
    // Throws ConversionError when the store refuses it or cannot be reached.
    // A store may send a message ahead of its answer (Stored then means
    // taken): should the store refuse it later, TakeRefusals() names it by
    // `ticket`.
    virtual Outcome Store(const std::string& mailbox, const BareMessage& message,
                          std::uint64_t ticket) = 0;
    // The messages taken that the store has refused since the last call,
    // each with the reason; each is that message's failure.
    struct Refusal {
        std::uint64_t ticket = 0;
        std::string reason;
    };
    virtual std::vector<Refusal> TakeRefusals() { return {}; }
    // Stores what was taken, makes it durable and lets go of the store.
    virtual void Finish() = 0;
};

} // namespace marrowgate
