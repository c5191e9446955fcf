#include "app/MessageListModel.h"

#include <QByteArrayView>

namespace marrowgate {

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

bool MessageListModel::AppendFileNameIfNew(const std::string& path) {
    IndexNewRows();
    const QByteArrayView bytes(path.data(), static_cast<qsizetype>(path.size()));
    if (bytes.isValidUtf8() ? listedText_.contains(QString::fromUtf8(bytes))
                            : listedBytes_.contains(path)) {
        return false;
    }
    AppendFileName(path);
    IndexNewRows();
    return true;
}

// A path that is UTF-8 is known by its text, which holds it exactly (and
// shares the row's storage); any other by its bytes, since two of those may
// show as the same text.
void MessageListModel::IndexNewRows() {
    if (IsEmpty()) {
        return;
    }
    for (; indexedRows_ < RowCount(); ++indexedRows_) {
        const auto exact = exactPaths_.empty() ? exactPaths_.end() : exactPaths_.find(indexedRows_);
        if (exact != exactPaths_.end()) {
            listedBytes_.insert(exact->second);
        } else {
            listedText_.insert(Path(indexedRows_));
        }
    }
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
    listedText_.clear();
    listedBytes_.clear();
    indexedRows_ = 0;
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
