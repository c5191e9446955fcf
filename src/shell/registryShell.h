#pragma once

#include <QString>

class QWidget;

// The desktop shell's half of the registry unit: choosing a folder and
// opening a document or web address with its registered handler.
namespace marrowgate {

// Shows the folder chooser, modal to `owner`, folders only, with `title`
// above it. Returns the chosen folder as a native path without a final
// separator (a root keeps its one: "/", "C:\"), or the empty text when the
// user cancels or anything fails.
QString BrowseForFolder(QWidget* owner, const QString& title);

// Opens `target` (a web address or a local path) with its registered handler.
// The empty text does nothing; the outcome is not examined.
void OpenWithShell(const QString& target);

} // namespace marrowgate
