#include "app/EdgeLayout.h"

#include <QtMath>

namespace marrowgate {

void EdgeLayout::Add(QWidget* control, Follow follow) {
    entries_.push_back({control, control->geometry(), follow});
}

void EdgeLayout::Apply(const QSize& size) const {
    const double dx = size.width() - base_.width();
    const double dy = size.height() - base_.height();
    for (const Entry& entry : entries_) {
        if (!entry.control) {
            continue;
        }
        const QRect& base = entry.base;
        entry.control->setGeometry(base.x() + qRound(dx * entry.follow.left),
                                   base.y() + qRound(dy * entry.follow.top),
                                   base.width() + qRound(dx * entry.follow.width),
                                   base.height() + qRound(dy * entry.follow.height));
    }
}

} // namespace marrowgate
