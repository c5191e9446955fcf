#include "marrowgate/OutputTarget.h"

#include "marrowgate/PathDerivation.h"

#include <array>

namespace marrowgate {
namespace {

constexpr std::array<std::string_view, 6> kNames{"entourage", "thunderbird", "apple-mail",
                                                 "mboxrd",    "maildir",     "imap"};

} // namespace

std::optional<OutputTarget> OutputTarget::Named(std::string_view name) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (kNames[i] == name) {
            return OutputTarget(static_cast<Kind>(i));
        }
    }
    return std::nullopt;
}

const std::vector<std::string_view>& OutputTarget::Names() {
    static const std::vector<std::string_view> names(kNames.begin(), kNames.end());
    return names;
}

std::string_view OutputTarget::Name() const {
    return kNames[static_cast<std::size_t>(kind_)];
}

LineEnding OutputTarget::LineEnd() const {
    return kind_ == Kind::Entourage || kind_ == Kind::Imap ? LineEnding::CrLf : LineEnding::Lf;
}

MailboxPlace OutputTarget::PlaceOf(const std::string& sourcePath, const std::string& storeFolder,
                                   const std::string& outputRoot, PathSyntax syntax) const {
    MailboxPlace place;
    if (kind_ == Kind::Entourage) {
        place.folder = MirroredFolder(sourcePath, outputRoot, syntax);
        place.mailbox = MailboxPath(place.folder, syntax);
        return place;
    }
    const char separator = Separator(syntax);
    const std::vector<std::string> names = FolderNamesFromStore(sourcePath, storeFolder, syntax);
    place.folder = outputRoot;
    switch (kind_) {
    case Kind::Thunderbird:
        // Store.sbd/Inbox.sbd/Sub: each folder's mailbox lies beside the
        // .sbd folder that holds its subfolders.
        for (std::size_t i = 0; i + 1 < names.size(); ++i) {
            place.parentMailboxes.push_back(place.folder + names[i]);
            place.folder.append(names[i]).append(".sbd").push_back(separator);
        }
        place.mailbox = place.folder + names.back();
        break;
    case Kind::AppleMail:
        // Store.mbox/Inbox.mbox/mbox: subfolders nest inside their parent's bundle.
        for (const auto& name : names) {
            place.folder.append(name).append(".mbox").push_back(separator);
        }
        place.mailbox = place.folder + "mbox";
        break;
    default:
        for (const auto& name : names) {
            place.folder.append(name).push_back(separator);
        }
        place.mailbox = place.folder + names.back() + ".mbox";
        break;
    }
    return place;
}

std::vector<std::string> OutputTarget::ImportSteps() const {
    switch (kind_) {
    case Kind::Thunderbird:
        return {
            "Quit Thunderbird: it must not run while folders are copied into its profile.",
            "Find its Local Folders folder: Account Settings > Local Folders > Local Directory "
            "(for example ~/.thunderbird/PROFILE/Mail/Local Folders, or "
            "%APPDATA%\\Thunderbird\\Profiles\\PROFILE\\Mail\\Local Folders on Windows).",
            "Copy everything inside the output folder (the mailbox files and their .sbd "
            "folders) into it. Should a name be taken there already, rename the existing one "
            "first: a copy would replace its mail.",
            "Start Thunderbird: the folders appear under Local Folders.",
        };
    case Kind::AppleMail:
        return {
            "Copy the output folder to the Mac.",
            "In Mail choose File > Import Mailboxes..., then Files in mbox format.",
            "Select the output folder and continue: every .mbox folder below it is imported, "
            "under Imported in the sidebar.",
        };
    case Kind::Maildir:
        return {
            "The output folder is a Maildir++ tree: each store folder is a maildir named "
            ".Store.Folder.Sub beside cur/, new/ and tmp/.",
            "Copy its folders into the mail folder of Dovecot, Courier or another Maildir server "
            "(Dovecot: mail_location = maildir:~/Maildir), or open it directly (mutt -f FOLDER).",
        };
    case Kind::Imap:
        return {
            "The messages are in the account: open it in any mail program, or on the web. The "
            "store's folders are under a folder named after the store.",
            "A program that shows subscribed folders only shows them too: they were subscribed.",
        };
    case Kind::Mboxrd:
        return {
            "Each .mbox file is a standard mbox mailbox (RFC 4155, LF line ends, >From "
            "quoting).",
            "Open it with your mail program's mbox import, or directly (mutt -f FILE); "
            "Dovecot and other servers read the folders as mbox folders.",
        };
    default:
        return {
            "Start Entourage.",
            "On the File menu, click Import.",
            "Click Contacts or messages from a text file, and then click the right arrow.",
            "Click Import messages from an MBOX-format text file, and then click the right arrow.",
            "Follow the instructions on the screen.",
        };
    }
}

} // namespace marrowgate
