#pragma once

#include <QSize>

class QWidget;

namespace marrowgate {

// The size a window opens at: the one it was closed at (`kept`, when valid)
// or the designed one, within the primary screen with room for a frame,
// which is unknown before the window is shown (at a large scale factor the
// designed size may not fit), but never below the smallest.
QSize OpeningSize(const QSize& kept, const QSize& designed, const QSize& smallest);

// Moves `window` to the middle of the primary screen's free area.
void CentreOnScreen(QWidget& window);

} // namespace marrowgate
