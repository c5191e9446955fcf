#include "app/MessageGrid.h"

#include "app/Twips.h"

#include <QHeaderView>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QStyledItemDelegate>
#include <QTableView>

namespace marrowgate {

namespace {

QColor Mix(const QColor& from, const QColor& to, double share) {
    const auto mix = [share](int a, int b) { return qRound(a + (b - a) * share); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()),
                  mix(from.blue(), to.blue()));
}

// Paints each cell, and the grid lines below and right of it, in the colours
// of the view's palette as it is now, so that the grid follows a change of
// theme.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        const QRect& cell = option.rect;
        painter->save();
        painter->setPen(GridColoursFor(option.palette).lines);
        painter->drawLine(cell.bottomLeft(), cell.bottomRight());
        painter->drawLine(cell.topRight(), cell.bottomRight());
        // The styles mark the focus only after a key moved it, and faintly:
        // the current row of a list that has the focus is outlined plainly.
        if (option.state & QStyle::State_HasFocus) {
            painter->setPen(QPen(option.palette.color(QPalette::Active, QPalette::Highlight), 2));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(QRectF(cell).adjusted(1, 1, -1, -1));
        }
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const GridColours colours = GridColoursFor(option->palette);
        option->backgroundBrush = colours.cell;
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            option->palette.setColor(group, QPalette::Text, colours.text);
            option->palette.setColor(group, QPalette::Highlight, colours.selected);
            option->palette.setColor(group, QPalette::HighlightedText, colours.text);
        }
    }
};

// A list that takes the focus shows where it is: with no current row yet,
// the first one becomes current (without selecting it).
class MessageTable : public QTableView {
public:
    using QTableView::QTableView;

protected:
    void focusInEvent(QFocusEvent* event) override {
        if (!currentIndex().isValid() && model() != nullptr && model()->rowCount() > 0) {
            selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
        }
        QTableView::focusInEvent(event);
    }
};

} // namespace

bool IsDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Base).lightness() < palette.color(QPalette::Text).lightness();
}

GridColours GridColoursFor(const QPalette& palette) {
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    if (!IsDarkPalette(palette)) {
        return {QColor(255, 255, 191), text, QColor(224, 224, 224), QColor(192, 192, 192)};
    }
    return {Mix(base, QColor(255, 255, 191), 0.12), text, Mix(base, text, 0.25),
            Mix(base, text, 0.35)};
}

QTableView* NewMessageGrid(QWidget* parent, QAbstractItemModel* model) {
    auto* grid = new MessageTable(parent);
    grid->setModel(model);
    grid->setItemDelegate(new CellDelegate(grid));
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setDefaultSectionSize(TwipsToPixels(240));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setTabKeyNavigation(false);
    grid->setWordWrap(false);
    grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The cells draw their own lines: the styles pick the colour of a table's
    // grid themselves, and a style sheet would take the grid's font with it.
    grid->setShowGrid(false);
    return grid;
}

} // namespace marrowgate
