#include "app/MessageListModel.h"

#include <QByteArrayView>

namespace marrowgate {

MessageListModel::MessageListModel(QObject* parent) : QAbstractListModel(parent), rows_(1) {}

void MessageListModel::Append(const QString& path) {
    listedPaths_.insert(path.toUtf8().toStdString());
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

bool MessageListModel::AppendFileNameIfNew(const std::string& path) {
    if (listedPaths_.contains(path)) {
        return false;
    }
    AppendFileName(path);
    listedPaths_.insert(path);
    return true;
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
    listedPaths_.clear();
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
    default:
        return {};
    }
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace marrowgate
