#include "output/imap/ImapFolders.h"

#include "output/ModifiedUtf7.h"
#include "output/imap/ImapError.h"
#include "output/imap/ImapSession.h"

#include <algorithm>
#include <array>
#include <utility>

namespace marrowgate {
namespace {

// Windows Live Mail's names of the folders every account has, and the
// special-use attribute of the account's own.
constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kSpecialNames{{
    {"INBOX", "INBOX"},
    {"SENT ITEMS", "\\SENT"},
    {"DELETED ITEMS", "\\TRASH"},
    {"DRAFTS", "\\DRAFTS"},
    {"JUNK E-MAIL", "\\JUNK"},
}};

std::string_view SpecialUseOf(const std::string& folderName) {
    const std::string upper = ImapUpper(folderName);
    for (const auto& [name, use] : kSpecialNames) {
        if (upper == name) {
            return use;
        }
    }
    return {};
}

std::vector<std::string> SplitBase(const std::string& base) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < base.size()) {
        const std::size_t slash = base.find('/', start);
        const std::size_t end = slash == std::string::npos ? base.size() : slash;
        if (end > start) {
            parts.push_back(base.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

} // namespace

ImapFolders::ImapFolders(ImapSession& session, const std::string& base, bool specialFolders)
    : session_(&session), specialFolders_(specialFolders), base_(base) {
    Survey();
}

// The personal namespace and its delimiter, and the mailboxes there are.
void ImapFolders::Survey() {
    if (session_->Has("NAMESPACE")) {
        const ImapReply reply = session_->Run("NAMESPACE");
        for (const ImapResponse& data : reply.data) {
            const auto& items = data.Items();
            if (items.size() >= 2 && items[0].IsAtom("NAMESPACE") && !items[1].items.empty() &&
                items[1].items[0].items.size() >= 2) {
                prefix_ = items[1].items[0].items[0].text;
            }
        }
    }
    const ImapReply listed = session_->Run("LIST \"\" \"*\"");
    if (!listed.Ok()) {
        throw ImapError(ImapError::Kind::Refused,
                        "the server does not list its mailboxes: " + listed.done.FirstLine());
    }
    bool delimiterSeen = false;
    for (const ImapResponse& data : listed.data) {
        const auto& items = data.Items();
        if (items.size() < 4 || !items[0].IsAtom("LIST")) {
            continue;
        }
        if (!delimiterSeen) {
            delimiter_ = items[2].text.empty() ? '\0' : items[2].text[0];
            delimiterSeen = true;
        }
        existing_.insert(items[3].text);
        for (const ImapItem& attribute : items[1].items) {
            const std::string use = ImapUpper(attribute.text);
            if (use == "\\SENT" || use == "\\TRASH" || use == "\\DRAFTS" || use == "\\JUNK") {
                special_.emplace(use, items[3].text);
            }
        }
    }
    special_.emplace("INBOX", "INBOX");
}

bool ImapFolders::Exists(const std::string& name) const {
    return existing_.contains(name) || ImapUpper(name) == "INBOX";
}

std::string ImapFolders::Encode(const std::string& level) const {
    std::string name = session_->Utf8Names() ? ValidUtf8(level) : EncodeModifiedUtf7(level);
    // A level cannot hold the delimiter: it would split it in two.
    if (delimiter_ != '\0') {
        std::replace(name.begin(), name.end(), delimiter_, '_');
    }
    return name;
}

// The server's names of the mailbox and every mailbox above it, outermost
// first.
std::vector<std::string> ImapFolders::Levels(const std::vector<std::string>& names) const {
    const std::string joint = delimiter_ == '\0' ? "/" : std::string(1, delimiter_);
    std::vector<std::string> levels;
    std::string name;
    std::size_t from = 0;
    for (std::size_t i = 1; specialFolders_ && i < names.size(); ++i) {
        const std::string_view use = SpecialUseOf(names[i]);
        const auto found = use.empty() ? special_.end() : special_.find(std::string(use));
        if (found != special_.end()) {
            name = found->second;
            from = i + 1;
            break;
        }
    }
    if (name.empty()) {
        std::vector<std::string> top = SplitBase(base_);
        top.insert(top.end(), names.begin(), names.end());
        name = prefix_;
        if (name.ends_with(joint)) {
            name.resize(name.size() - joint.size());
        }
        for (const std::string& level : top) {
            name = name.empty() ? Encode(level) : name + joint + Encode(level);
            levels.push_back(name);
        }
        return levels;
    }
    levels.push_back(name);
    for (std::size_t i = from; i < names.size(); ++i) {
        name += joint + Encode(names[i]);
        levels.push_back(name);
    }
    return levels;
}

bool ImapFolders::Ensure(const std::vector<std::string>& levels) {
    bool created = false;
    for (const std::string& name : levels) {
        created = false;
        if (Exists(name)) {
            continue;
        }
        const std::string quoted = QuotedImapString(name, session_->Utf8Names());
        const ImapReply reply = session_->Run("CREATE " + quoted);
        if (!reply.Ok() && ImapUpper(reply.done.Code()) != "ALREADYEXISTS") {
            throw ImapError(ImapError::Kind::Refused, "the server does not create the mailbox " +
                                                          Readable(name) + ": " +
                                                          reply.done.Text());
        }
        if (reply.Ok()) {
            session_->Run("SUBSCRIBE " + quoted); // mail programs show subscribed ones
            created = true;
        }
        existing_.insert(name);
    }
    return created;
}

std::string ImapFolders::MailboxFor(const std::vector<std::string>& names, bool& created) {
    const std::vector<std::string> levels = Levels(names);
    created = Ensure(levels);
    return levels.back();
}

std::optional<std::string> ImapFolders::Existing(const std::vector<std::string>& names) const {
    const std::string name = Levels(names).back();
    return Exists(name) ? std::optional(name) : std::nullopt;
}

std::string ImapFolders::Readable(const std::string& serverName) const {
    std::string name =
        session_->Utf8Names() ? serverName : DecodeModifiedUtf7(serverName).value_or(serverName);
    if (delimiter_ != '\0' && delimiter_ != '/') {
        std::replace(name.begin(), name.end(), delimiter_, '/');
    }
    return name;
}

} // namespace marrowgate
