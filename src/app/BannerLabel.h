#pragma once

#include <QLabel>
#include <QPixmap>

namespace marrowgate {

// A picture that is never scaled: wider than the picture, the label carries
// its last column on to the right edge, so that a banner spans a window of
// any width.
class BannerLabel : public QLabel {
    Q_OBJECT

public:
    explicit BannerLabel(QWidget* parent = nullptr) : QLabel(parent) {}

    void SetBanner(const QPixmap& banner);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowAtWidth();

    QPixmap banner_;
};

} // namespace marrowgate
