#pragma once

#include "marrowgate/LineEnding.h"
#include "marrowgate/NativePaths.h"

#include <string>
#include <string_view>

namespace marrowgate {

// How many header field lines must go above a message so that its record
// starts with two. Some mail programs (Thunderbird) take a "From " line for a
// record separator only when two field lines follow it: each a name of
// printable characters other than ":" right before a ":", the first possibly
// folded onto lines that begin with a space or tab. A record that fails the
// test is read as part of the one before it.
//
// `head` is the start of the message as it is written into the record;
// `whole` says whether it holds the whole message. Text that ends before the
// test is decided passes when it is not whole, as the reader gives it the
// same benefit of the doubt. Returns 0, 1 or 2.
int FieldLinesMissing(std::string_view head, bool whole);

// `count` (1 or 2) header fields for the top of a record, named X-Marrowgate-
// so that anyone can tell and remove them: the message file's name, then its
// folder's name. Control characters in the names become "?".
std::string MarkerFields(int count, const std::string& messagePath, LineEnding lineEnd,
                         PathSyntax syntax = NativeSyntax());

} // namespace marrowgate
