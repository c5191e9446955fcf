#include "app/EdgeLayout.h"

#include <QtMath>

#include <algorithm>

namespace marrowgate {

void EdgeLayout::Add(QWidget* control, Follow follow) {
    entries_.push_back({control, control->geometry(), follow});
}

void EdgeLayout::SetTopBand(QWidget* band, int height) {
    band_ = band;
    bandFrom_ = height;
}

void EdgeLayout::Apply(const QSize& size) const {
    const Entry* band = nullptr;
    for (const Entry& entry : entries_) {
        band = band_ && entry.control == band_ ? &entry : band;
    }
    // Laid out as for the height where nothing had to give, then raised.
    const int cut =
        band != nullptr ? std::clamp(bandFrom_ - size.height(), 0, band->base.height()) : 0;
    const double dx = size.width() - base_.width();
    const double dy = size.height() + cut - base_.height();
    for (const Entry& entry : entries_) {
        if (!entry.control) {
            continue;
        }
        const QRect& base = entry.base;
        // Controls inside another control move with it.
        const bool beside = entry.control->parentWidget() == band_->parentWidget();
        const int raise = &entry == band || !beside ? 0 : cut;
        entry.control->setGeometry(base.x() + qRound(dx * entry.follow.left),
                                   base.y() + qRound(dy * entry.follow.top) - raise,
                                   base.width() + qRound(dx * entry.follow.width),
                                   base.height() + qRound(dy * entry.follow.height) -
                                       (&entry == band ? cut : 0));
    }
}

} // namespace marrowgate
