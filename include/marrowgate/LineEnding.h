#pragma once

namespace marrowgate {

// How the lines of a record end in the mailbox: CR LF, or a lone LF as mbox
// files on Unix and macOS have them.
enum class LineEnding { CrLf, Lf };

} // namespace marrowgate
