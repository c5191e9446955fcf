#pragma once

namespace marrowgate {

// How the lines of a record end: CR LF for the classic Mac importers, LF for
// the RFC 4155 readers (Thunderbird, Apple Mail, Dovecot, mailutils).
enum class LineEnding { CrLf, Lf };

} // namespace marrowgate
