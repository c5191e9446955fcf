#pragma once

#include <string_view>

namespace marrowgate {

// True when `path` names a message file: its last four characters, once the
// path is lower-cased and stripped of spaces at both ends, are ".eml".
// "MSG.EML" and "a.eml " qualify; "a.emlx", "a.eml.txt" and "eml" do not.
// A file's name alone gets the answer its path gets.
bool IsMessageFilePath(std::string_view path);

} // namespace marrowgate
