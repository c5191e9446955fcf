#include "app/MessageGrid.h"

#include "app/Twips.h"

#include <QHeaderView>
#include <QPalette>
#include <QTableView>

namespace marrowgate {

QTableView* NewMessageGrid(QWidget* parent, QAbstractItemModel* model) {
    auto* grid = new QTableView(parent);
    grid->setModel(model);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setDefaultSectionSize(TwipsToPixels(240));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setTabKeyNavigation(false);
    grid->setWordWrap(false);
    grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QPalette palette = grid->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(224, 224, 224));
    palette.setColor(QPalette::HighlightedText, palette.color(QPalette::Text));
    grid->setPalette(palette);
    grid->setStyleSheet(QStringLiteral("QTableView { gridline-color: rgb(192, 192, 192); }"));
    return grid;
}

} // namespace marrowgate
