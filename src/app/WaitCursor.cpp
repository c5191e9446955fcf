#include "app/WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace marrowgate {

WaitCursor::WaitCursor() {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

WaitCursor::~WaitCursor() {
    Restore();
}

void WaitCursor::Restore() {
    if (active_) {
        QGuiApplication::restoreOverrideCursor();
        active_ = false;
    }
}

} // namespace marrowgate
