#pragma once

#include <string>
#include <string_view>

namespace marrowgate {

// `text` fit to print as one line of a terminal: control characters (a line
// break in a folder's name, an escape sequence) written as \xNN, so that no
// name can forge a line of the report or move the cursor. Other bytes stand.
std::string PrintableText(std::string_view text);

} // namespace marrowgate
