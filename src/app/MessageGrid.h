#pragma once

class QAbstractItemModel;
class QTableView;
class QWidget;

namespace marrowgate {

// The one-column grid that shows the message list: no headers, fixed rows,
// light yellow cells on white, light grey grid lines and selection. Not
// editable; Tab leaves it.
QTableView* NewMessageGrid(QWidget* parent, QAbstractItemModel* model);

} // namespace marrowgate
