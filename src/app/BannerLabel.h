#pragma once

#include <QLabel>
#include <QPixmap>
#include <QString>

namespace marrowgate {

// A picture that is never scaled: wider than the picture, the label carries
// its last column on to the right edge, so that a banner spans a window of
// any width. The line under the program's name is drawn on it as text, so
// that it can name the mail program chosen.
class BannerLabel : public QLabel {
    Q_OBJECT

public:
    explicit BannerLabel(QWidget* parent = nullptr) : QLabel(parent) {}

    void SetBanner(const QPixmap& banner);
    void SetTagline(const QString& tagline);
    const QString& Tagline() const { return tagline_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowAtWidth();

    QPixmap banner_;
    QString tagline_;
};

} // namespace marrowgate
