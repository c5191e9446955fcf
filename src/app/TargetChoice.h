#pragma once

#include "marrowgate/OutputTarget.h"

#include <QString>

class QComboBox;
class QWidget;

namespace marrowgate {

// The window's choice of the mail program a conversion writes for: a combo
// box holding every output target, Entourage first, each item carrying the
// target's command-line name.
QComboBox* NewTargetChoice(QWidget* parent);

// The target chosen, Entourage when the box holds no valid choice.
OutputTarget ChosenTarget(const QComboBox* box);

// Chooses the target named `name` (as the command line names it), when the
// box holds it; any other name leaves the choice as it is.
void ChooseTarget(QComboBox* box, const QString& name);

// The mail program's name as users know it ("Apple Mail", "mboxrd").
QString TargetTitle(const OutputTarget& target);

// What the window's texts say the mailboxes are for: the program's name, or
// "any mbox reader" for plain mboxrd.
QString TargetReader(const OutputTarget& target);

} // namespace marrowgate
