#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace marrowgate {

QSize OpeningSize(const QSize& kept, const QSize& designed, const QSize& smallest) {
    const QSize wanted = kept.isValid() ? kept : designed;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize room = screen != nullptr ? screen->availableSize() - QSize(16, 40) : wanted;
    return wanted.boundedTo(room).expandedTo(smallest);
}

void CentreOnScreen(QWidget& window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
}

} // namespace marrowgate
