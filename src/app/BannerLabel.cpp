#include "app/BannerLabel.h"

#include <QPainter>

namespace marrowgate {

void BannerLabel::SetBanner(const QPixmap& banner) {
    banner_ = banner;
    ShowAtWidth();
}

void BannerLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    ShowAtWidth();
}

void BannerLabel::ShowAtWidth() {
    if (width() <= banner_.width() || banner_.isNull()) {
        setPixmap(banner_);
        return;
    }
    QPixmap wide(width(), banner_.height());
    QPainter painter(&wide);
    painter.drawPixmap(0, 0, banner_);
    painter.drawPixmap(QRect(banner_.width(), 0, width() - banner_.width(), banner_.height()),
                       banner_, QRect(banner_.width() - 1, 0, 1, banner_.height()));
    painter.end();
    setPixmap(wide);
}

} // namespace marrowgate
