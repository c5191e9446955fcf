#include "marrowgate/ImapProbe.h"

#include "marrowgate/ConversionError.h"
#include "output/imap/ImapConnection.h"
#include "output/imap/ImapSession.h"

#include <memory>

namespace marrowgate {

ImapProbe ProbeImapAccount(const ImapAccount& account, const ImapLogin& login) {
    try {
        ImapSession session(std::make_unique<ImapConnection>(account, login));
        session.Logout();
    } catch (const ConversionError& error) {
        return {false, error.what()};
    }
    return {true, "Logged in to " + account.Display() + " and out again: the account is ready."};
}

} // namespace marrowgate
