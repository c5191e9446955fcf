#pragma once

#include <QString>

#include <string>

// The window's longer prompts. Lines are broken with CR LF.
namespace marrowgate {

// The eight lines shown after a complete conversion.
QString CompletionText();

// The list holds no path, so a conversion has nothing to do.
QString NothingToConvertText();

// A conversion stopped at row `row` (from 0) of `count`; `description` names
// the message file, the mailbox file and the reason.
QString FailedRowText(int row, int count, const std::string& description);

// A store folder could not be walked; `reason` names the folder and why.
QString WalkFailedText(const char* reason);

} // namespace marrowgate
