#pragma once

#include "marrowgate/ImapAccount.h"
#include "marrowgate/ImapOptions.h"

#include <string>

namespace marrowgate {

// What logging in to an account and out again found: a window's "Test
// Connection".
struct ImapProbe {
    bool loggedIn = false;
    // One plain sentence: that it worked, or why not (the server cannot be
    // reached, its certificate cannot be trusted, it refused the password).
    std::string text;
};

// Connects to `account`, logs in with `login` and logs out; uploads
// nothing. Never throws for what the server or the network does.
ImapProbe ProbeImapAccount(const ImapAccount& account, const ImapLogin& login);

} // namespace marrowgate
