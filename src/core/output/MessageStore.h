#pragma once

#include "marrowgate/LineEnding.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marrowgate {

struct BareMessage;

// Where a run puts messages that are not mbox records: one message per file
// of a Maildir tree, one upload per message to an IMAP account. The run
// hands each message over as a BareMessage.
//
// Exactly once, with the run's ledger (StoreLedger): the ledger knows the
// messages it recorded by their source and their place in the store's own
// terms (a file name, "UIDVALIDITY,UID"), and the store tells whether each
// such place still holds its message (Holds()). What the ledger does not
// vouch for, the store looks through before a message is stored (Find():
// the same size and date, then the same bytes), so a run killed, stopped or
// cut off anywhere is finished by running it again, and a deleted ledger
// costs a slower run, never a doubled message. A copy found stands for one
// message file only.
class MessageStore {
public:
    // How a message is looked for.
    enum class Search {
        // Among the messages the mailbox held before the ledger's account of
        // it began, that no record claims.
        Earlier,
        // Wherever it may be: it went out before, and no answer came back.
        Sent,
    };
    struct Confirmed {
        std::uint64_t ticket = 0;
        std::string place;
    };
    struct Refusal {
        std::uint64_t ticket = 0;
        std::string reason;
    };
    // A message of a mailbox, as a check of the output reads it.
    struct Copy {
        std::string handle; // a UID, a file's path
        std::uint64_t size = 0;
        std::chrono::sys_seconds date{};
    };

    virtual ~MessageStore() = default;

    // The line ends the store's messages have.
    virtual LineEnding LineEnd() const = 0;
    // Makes `message` the bytes the store keeps (the content hash is taken
    // over these).
    virtual void Prepare(BareMessage& message) const { (void)message; }
    // The mailbox for the messages of a store folder, from the store's name
    // down (["Store", "Inbox", "Sub"]), made when missing (`created` tells).
    // The text names it for the user. Throws ConversionError.
    virtual std::string Mailbox(const std::vector<std::string>& folderNames, bool& created) = 0;
    // The name the ledger knows `mailbox` by.
    virtual std::string LedgerName(const std::string& mailbox) const = 0;

    // The run comes to `mailbox`; `begun` is where the ledger's account of it
    // begins, as an earlier Enter() gave it. Returns where it begins now when
    // that changed (the ledger then writes it). Throws ConversionError.
    virtual std::optional<std::string> Enter(const std::string& mailbox,
                                             const std::optional<std::string>& begun) = 0;
    // Whether the mailbox entered last still holds the message a record
    // places at `place`; that message is then no other's.
    virtual bool Holds(const std::string& place) = 0;
    // The place of `message` in the mailbox entered last when it is there, as
    // a copy that nothing claimed yet (now claimed). Throws ConversionError.
    virtual std::optional<std::string> Find(const BareMessage& message, Search search) = 0;

    // Whether messages are taken ahead of the store's answer (which
    // TakeConfirmed() and TakeRefusals() then bring): the ledger writes that
    // each is being sent, with SendingPlace(), before it goes.
    virtual bool AnswersLater() const { return false; }
    virtual std::string SendingPlace() const { return {}; }
    // Called before messages taken go out: the ledger's lines go to disk.
    void SetBeforeSending(std::function<void()> hook) { beforeSending_ = std::move(hook); }

    // Puts `message` into `mailbox` (entered last), or takes it to be put
    // there soon: TakeConfirmed() then gives its place, or TakeRefusals() the
    // reason it was refused, by `ticket`. Throws ConversionError when the
    // store refuses it or cannot be reached.
    virtual void Store(const std::string& mailbox, const BareMessage& message,
                       std::uint64_t ticket) = 0;
    // The messages stored since the last call, with their places.
    virtual std::vector<Confirmed> TakeConfirmed() = 0;
    // The messages taken that the store has refused since the last call,
    // each with the reason; each is that message's failure.
    virtual std::vector<Refusal> TakeRefusals() { return {}; }
    // Stores what was taken, makes it durable and lets go of the store.
    virtual void Finish() = 0;

    // Reading only, for the check of an output: nothing is made or written.
    // The mailbox of a store folder, when there is one.
    virtual std::optional<std::string>
    ExistingMailbox(const std::vector<std::string>& folderNames) = 0;
    // The messages `mailbox` holds.
    virtual std::vector<Copy> Copies(const std::string& mailbox) = 0;
    // Calls each(handle, bytes) for the messages `handles` of `mailbox`
    // (those gone since are passed over).
    using EachCopy = std::function<void(const std::string& handle, std::string_view bytes)>;
    virtual void ReadCopies(const std::string& mailbox, const std::vector<Copy>& copies,
                            const EachCopy& each) = 0;

protected:
    void BeforeSending() const {
        if (beforeSending_) {
            beforeSending_();
        }
    }

private:
    std::function<void()> beforeSending_;
};

} // namespace marrowgate
