#pragma once

namespace marrowgate {

class CommandLine;

// --verify: checks every message of the stores against its record in the
// output, prints a table of the messages, verified and problems per folder
// and a total line on stdout, then each problem a line on stderr. False on
// any problem, or when the output cannot be read at all.
bool PrintVerificationTable(const CommandLine& command);

} // namespace marrowgate
