#pragma once

#include <QString>

class QWidget;

namespace marrowgate {

// Buttons and icon of a message box, as the style values the window uses.
enum class MsgStyle {
    OkOnly = 0,         // OK, no icon
    Critical = 16,      // OK, error icon
    YesNoQuestion = 36, // Yes and No, question icon, Yes the default
    Information = 64,   // OK, information icon
};

// The button the user pressed.
enum class MsgAnswer { Ok = 1, Yes = 6, No = 7 };

// Everything the window asks of the user or of the desktop goes through here,
// so that tests can script the answers. Every message box is titled
// "Marrowgate" and is modal to `owner`.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    virtual MsgAnswer MsgBox(QWidget* owner, const QString& prompt, MsgStyle style) = 0;

    // A folder chosen by the user, or the empty text when cancelled.
    virtual QString BrowseForFolder(QWidget* owner, const QString& title) = 0;

    // Opens a document or an address with its registered handler.
    virtual void OpenWithShell(const QString& target) = 0;
};

} // namespace marrowgate
