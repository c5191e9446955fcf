#pragma once

#include <QColor>

class QAbstractItemModel;
class QPalette;
class QTableView;
class QWidget;

namespace marrowgate {

// The colours of the message grid under a palette. On a light palette they
// are the grid's own: light yellow cells, light grey selection and grid
// lines, with the palette's text. On a dark palette the cells take a yellow
// tint of the palette's base, so that its light text stays readable.
struct GridColours {
    QColor cell;
    QColor text;
    QColor selected;
    QColor lines;
};
GridColours GridColoursFor(const QPalette& palette);

// True when the palette draws light text on dark backgrounds.
bool IsDarkPalette(const QPalette& palette);

// The one-column grid that shows the message list: no headers, fixed rows,
// colours as above (the area beyond the last row is the palette's base).
// Not editable; Tab leaves it.
QTableView* NewMessageGrid(QWidget* parent, QAbstractItemModel* model);

} // namespace marrowgate
