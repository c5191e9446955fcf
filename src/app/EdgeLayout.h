#pragma once

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

namespace marrowgate {

// Keeps controls laid out at fixed positions as their container grows or
// shrinks: each control follows the right and bottom edges by a share of the
// change in size (0 stays put, 1/2 stays centred, 1 moves or grows with the
// edge). At the base size every control stands exactly where it was placed.
// A band along the top may give up its height when the container is shorter
// still: the controls below it move up by what it gave.
class EdgeLayout {
public:
    // How a control's left, top, width and height follow the change.
    struct Follow {
        double left = 0;
        double top = 0;
        double width = 0;
        double height = 0;
    };

    explicit EdgeLayout(const QSize& base) : base_(base) {}

    // Takes the control's present geometry as its place at the base size.
    void Add(QWidget* control, Follow follow);

    // Below `height` the controls cannot shrink further: `band`, at the top,
    // gives up what is missing, down to none of its height.
    void SetTopBand(QWidget* band, int height);

    // Lays every control out for a container of `size`.
    void Apply(const QSize& size) const;

private:
    struct Entry {
        QPointer<QWidget> control;
        QRect base;
        Follow follow;
    };
    QSize base_;
    std::vector<Entry> entries_;
    QPointer<QWidget> band_;
    int bandFrom_ = 0;
};

} // namespace marrowgate
