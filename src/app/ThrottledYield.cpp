#include "app/ThrottledYield.h"

#include <QCoreApplication>

namespace marrowgate {

bool ThrottledYield::Due() const {
    return !sinceLastProcessed_.isValid() || sinceLastProcessed_.elapsed() >= intervalMs_;
}

bool ThrottledYield::operator()() {
    if (!Due()) {
        return false;
    }
    QCoreApplication::processEvents();
    // Measured from the end, so that slow repaints cannot take up the whole run.
    sinceLastProcessed_.start();
    return true;
}

} // namespace marrowgate
