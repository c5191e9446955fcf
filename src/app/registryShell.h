#pragma once

// The desktop shell, for the window: choosing a folder and opening a document
// or web address with its registered handler. The path text these build on is
// the core's (convert/registry.h).

#include <QString>

class QWidget;

namespace marrowgate {

// Shows the folder chooser, modal to `owner`, folders only, with `title`
// above it. Returns the chosen folder as a native path without a final
// separator (a root keeps its one: "/", "C:\"), or the empty text when the
// user cancels or anything fails. It starts in `startFolder` when given.
// With `createMissing` the user may name a folder that does not exist yet:
// it is created (with its parents) before the dialog closes.
QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder = {},
                        bool createMissing = false);

// Shows the chooser of a file to save into, modal to `owner`, proposing
// `suggested` (a path), for text files. Returns the chosen file as a native
// path, or the empty text when the user cancels. A file that exists is
// replaced only after the user agreed.
QString BrowseForSaveFile(QWidget* owner, const QString& title, const QString& suggested);

// Opens `target` (a web address or a local path) with its registered handler.
// The empty text does nothing. False when no handler took it (on Linux: no
// launcher such as xdg-open is installed).
bool OpenWithShell(const QString& target);

} // namespace marrowgate
