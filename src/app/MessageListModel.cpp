#include "app/MessageListModel.h"

#include <QBrush>
#include <QByteArrayView>
#include <QColor>

namespace marrowgate {

namespace {
// Cells are light yellow; the area beyond the last row keeps the view's white.
const QColor kCellBackground(255, 255, 191);
} // namespace

MessageListModel::MessageListModel(QObject* parent) : QAbstractListModel(parent), rows_(1) {}

void MessageListModel::Append(const QString& path) {
    if (IsEmpty()) {
        rows_.front() = path;
        const QModelIndex first = index(0);
        emit dataChanged(first, first, {Qt::DisplayRole});
        return;
    }
    const int row = RowCount();
    beginInsertRows(QModelIndex(), row, row);
    rows_.push_back(path);
    endInsertRows();
}

void MessageListModel::AppendFileName(const std::string& path) {
    const QByteArrayView bytes(path.data(), static_cast<qsizetype>(path.size()));
    if (!bytes.isValidUtf8()) {
        exactPaths_[IsEmpty() ? 0 : RowCount()] = path;
    }
    Append(QString::fromUtf8(bytes));
}

std::string MessageListModel::RowText(int row) const {
    if (!exactPaths_.empty()) {
        if (const auto exact = exactPaths_.find(row); exact != exactPaths_.end()) {
            return exact->second;
        }
    }
    return Path(row).toUtf8().toStdString();
}

void MessageListModel::Clear() {
    beginResetModel();
    exactPaths_.clear();
    rows_.clear();
    rows_.shrink_to_fit();
    rows_.emplace_back();
    endResetModel();
}

bool MessageListModel::IsEmpty() const {
    return rows_.size() == 1 && rows_.front().isEmpty();
}

int MessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

QVariant MessageListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= RowCount()) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return Path(index.row());
    case Qt::BackgroundRole:
        return QBrush(kCellBackground);
    default:
        return {};
    }
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace marrowgate
