#pragma once

#include <optional>

namespace marrowgate {

class CommandLine;

// Fills command.login for the imap target: the token from --oauth-command,
// else the password from --password-file, from $MARROWGATE_IMAP_PASSWORD, or
// asked for on the terminal without echo. Returns the exit code when there is
// none to be had (the reason printed); nothing for the other targets.
std::optional<int> GatherAccountLogin(CommandLine& command);

} // namespace marrowgate
