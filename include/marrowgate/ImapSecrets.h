#pragma once

#include <string>

namespace marrowgate {

// Where the secrets of an IMAP login come from, other than the user at a
// terminal or in a dialog. Never the command line: other users of the
// machine can read a program's arguments.

// The environment variable the password may be given in.
inline constexpr const char* kImapPasswordVariable = "MARROWGATE_IMAP_PASSWORD";

// The first line of the file (its line end left off): a password kept in a
// file only its owner can read. Throws ConversionError naming the file when
// it cannot be read or holds nothing.
std::string ReadPasswordFile(const std::string& path);

// What `command` prints, less the white space around it: an OAuth access
// token from a helper the user names (for accounts that refuse passwords).
// Throws ConversionError when the command fails or prints nothing.
std::string RunTokenCommand(const std::string& command);

} // namespace marrowgate
