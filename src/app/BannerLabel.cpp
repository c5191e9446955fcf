#include "app/BannerLabel.h"

#include <QPaintEvent>
#include <QPainter>

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

// Where the banner's drawing leaves room for it: under the name, in the
// drawing's face and light blue.
void BannerLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (tagline_.isEmpty()) {
        return;
    }
    QPainter painter(this);
    QFont face;
    face.setFamilies(
        {QStringLiteral("DejaVu Sans"), QStringLiteral("Tahoma"), QStringLiteral("Verdana")});
    face.setPixelSize(12);
    face.setLetterSpacing(QFont::AbsoluteSpacing, 0.25);
    painter.setFont(face);
    painter.setPen(QColor(0xd6, 0xe6, 0xf5));
    painter.drawText(QPointF(106, 66), tagline_);
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
