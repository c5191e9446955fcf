#include "app/BannerLabel.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace marrowgate {

void BannerLabel::SetBanner(const QPixmap& banner) {
    banner_ = banner;
    ShowAtWidth();
}

void BannerLabel::SetTagline(const QString& tagline) {
    tagline_ = tagline;
    setAccessibleDescription(tagline);
    update();
}

// Shorter than the picture (a window short of room), the banner shows the
// picture's middle, where the name and the line under it are. The line is
// drawn where the picture leaves room for it: under the name, in the
// picture's face and light blue.
void BannerLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int top = std::min(0, (height() - pixmap().height()) / 2);
    painter.drawPixmap(0, top, pixmap());
    if (tagline_.isEmpty()) {
        return;
    }
    QFont face;
    face.setFamilies(
        {QStringLiteral("DejaVu Sans"), QStringLiteral("Tahoma"), QStringLiteral("Verdana")});
    face.setPixelSize(12);
    face.setLetterSpacing(QFont::AbsoluteSpacing, 0.25);
    painter.setFont(face);
    painter.setPen(QColor(0xd6, 0xe6, 0xf5));
    painter.drawText(QPointF(106, 66 + top), tagline_);
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
