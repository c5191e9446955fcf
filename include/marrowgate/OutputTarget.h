#pragma once

#include "marrowgate/LineEnding.h"
#include "marrowgate/NativePaths.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marrowgate {

// Where one message's record goes: the folder to create and the mailbox file
// in it, plus the mailboxes of the folders above it that the mail program
// needs to see as files before it shows the folder (Thunderbird's Name.sbd
// beside Name).
struct MailboxPlace {
    std::string folder;  // ends with a separator
    std::string mailbox; // inside `folder`
    std::vector<std::string> parentMailboxes;
};

// The mail program a conversion writes for, and with it every rule that
// differs between them: line ends, where the output tree starts, how
// mailboxes are named, and whether each record must start with header fields.
//
//   entourage   CR LF; the tree mirrors the whole source path; Name/Name.mbox
//   thunderbird LF; tree from the store; Name (no extension), subfolders in
//               Name.sbd/; records start with two header fields
//   apple-mail  LF; tree from the store; Name.mbox/mbox, subfolders inside
//   mboxrd      LF; tree from the store; Name/Name.mbox (RFC 4155)
//
// and two that keep one message per file or upload rather than mbox records
// (a MessageStore does the writing):
//
//   maildir     LF; a Maildir++ tree from the store (MaildirStore)
//   imap        CR LF; the mailboxes of an IMAP account (ImapStore)
class OutputTarget {
public:
    enum class Kind { Entourage, Thunderbird, AppleMail, Mboxrd, Maildir, Imap };

    OutputTarget() = default;
    explicit OutputTarget(Kind kind) : kind_(kind) {}

    // The target of a command-line name ("thunderbird"); nullopt for others.
    static std::optional<OutputTarget> Named(std::string_view name);
    static const std::vector<std::string_view>& Names();

    Kind GetKind() const { return kind_; }
    std::string_view Name() const;
    LineEnding LineEnd() const;
    // Every record must open with two header field lines, or mail programs
    // that look for them after a From_ line (Thunderbird) merge it into the
    // record before; fields named X-Marrowgate-... are added where needed.
    bool NeedsFieldsAtStart() const { return kind_ == Kind::Thunderbird; }
    // Messages go into a MessageStore, not into mbox files.
    bool KeepsMessagesApart() const { return kind_ == Kind::Maildir || kind_ == Kind::Imap; }

    // The place of the message at `sourcePath` under `outputRoot` (which ends
    // with a separator). `storeFolder` is the store the message was found in;
    // targets whose tree starts at the store begin with its name. Throws
    // ConversionError for a path that cannot be a file name (a NUL).
    MailboxPlace PlaceOf(const std::string& sourcePath, const std::string& storeFolder,
                         const std::string& outputRoot, PathSyntax syntax = NativeSyntax()) const;

    // How to bring the output into the mail program, one step a line.
    std::vector<std::string> ImportSteps() const;

private:
    Kind kind_ = Kind::Entourage;
};

} // namespace marrowgate
