#pragma once

#include "marrowgate/NativePaths.h"

#include <string>
#include <vector>

// Where each message goes: the mirrored folder under the output root and the
// mailbox file named after that folder.
namespace marrowgate {

// The message path a list row stands for: the row's text as it is. Every row
// is a path a walk found, and a name may end in a space, on Windows too (when
// another system wrote it).
std::string SourcePathOfRow(const std::string& rowText);

// The output root with a final separator ("D:\Out" -> "D:\Out\", "D:\" stays).
std::string NormaliseOutputRoot(const std::string& outputRoot, PathSyntax syntax = NativeSyntax());

// The folder under `outputRoot` (which ends with a separator) that mirrors the
// message's folder: the message folder less its root ("C:\", the "\\" of a UNC
// path, "/"). "." and ".." steps are resolved first, so the result never
// leaves the output root. Always ends with a separator. Throws
// ConversionError when the path holds a NUL character.
std::string MirroredFolder(const std::string& sourcePath, const std::string& outputRoot,
                           PathSyntax syntax = NativeSyntax());

// The mailbox file inside `mirroredFolder`, named after it: "...\Inbox\Inbox.mbox".
// A drive root gives its letter without the colon ("D:\D.mbox").
std::string MailboxPath(const std::string& mirroredFolder, PathSyntax syntax = NativeSyntax());

// The names of the message's folder counted from its store: the store
// folder's own name, then the folders between it and the message ("." and
// ".." resolved, never above the store). A message outside `storeFolder`
// counts from its own folder. An empty name (a store at the file system's
// root) becomes "Mailbox". Throws ConversionError when the path holds a NUL.
std::vector<std::string> FolderNamesFromStore(const std::string& sourcePath,
                                              const std::string& storeFolder,
                                              PathSyntax syntax = NativeSyntax());

// The innermost of `stores` (folders, without a final separator unless a
// root) that holds the message at `sourcePath`; empty when none does.
std::string InnermostStore(const std::string& sourcePath, const std::vector<std::string>& stores,
                           PathSyntax syntax = NativeSyntax());

} // namespace marrowgate
