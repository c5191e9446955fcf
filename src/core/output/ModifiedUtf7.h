#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace marrowgate {

// IMAP mailbox names in the modified UTF-7 of RFC 3501 (5.1.3): printable
// ASCII stands for itself ("&" as "&-"), every other run of characters is
// UTF-16 in base64 with "," for "/", between "&" and "-".
//
// Folder names are file-system bytes: a byte that is not part of valid UTF-8
// is taken as the Latin-1 character of that value (the likeliest meaning of
// such a name), so every name has an encoding and two different names never
// share one.
std::string EncodeModifiedUtf7(std::string_view utf8);

// The UTF-8 name; nullopt for text that is not modified UTF-7 (a server's
// name that does not follow the rules is shown as the server sent it).
std::optional<std::string> DecodeModifiedUtf7(std::string_view utf7);

// `bytes` as valid UTF-8, with the same reading of stray bytes as above: for
// servers that take mailbox names in UTF-8 (UTF8=ACCEPT).
std::string ValidUtf8(std::string_view bytes);

} // namespace marrowgate
