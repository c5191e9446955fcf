#include "app/MessageListModel.h"

#include <QByteArray>

#include <functional>

namespace marrowgate {

namespace {
std::size_t FolderLength(std::string_view path) {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? 0 : cut + 1;
}
} // namespace

MessageListModel::MessageListModel(QObject* parent) : QAbstractListModel(parent) {}

void MessageListModel::Append(const QString& path) {
    const QByteArray bytes = path.toUtf8();
    Store(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void MessageListModel::AppendFileName(const std::string& path) {
    Store(path);
}

void MessageListModel::Store(std::string_view path) {
    if (IsEmpty() && path.empty()) {
        return; // the empty row stays as it was
    }
    const std::size_t folderLength = FolderLength(path);
    const Row row{FolderOf(path.substr(0, folderLength)),
                  static_cast<std::uint32_t>(names_.size())};
    const bool wasEmpty = IsEmpty();
    if (!wasEmpty) {
        beginInsertRows(QModelIndex(), RowCount(), RowCount());
    }
    names_.append(path.substr(folderLength));
    rows_.push_back(row);
    if (!index_.empty()) {
        IndexRow(static_cast<std::uint32_t>(rows_.size() - 1));
    }
    if (wasEmpty) {
        const QModelIndex first = index(0);
        emit dataChanged(first, first, {Qt::DisplayRole});
    } else {
        endInsertRows();
    }
}

std::uint32_t MessageListModel::FolderOf(std::string_view folder) {
    // The rows of one folder mostly come one after another.
    if (!folders_.empty() && folders_[lastFolder_] == folder) {
        return lastFolder_;
    }
    if (const auto found = folderNumbers_.find(folder); found != folderNumbers_.end()) {
        return lastFolder_ = found->second;
    }
    lastFolder_ = static_cast<std::uint32_t>(folders_.size());
    folderNumbers_.emplace(folders_.emplace_back(folder), lastFolder_);
    return lastFolder_;
}

std::string_view MessageListModel::Name(std::size_t row) const {
    const std::size_t end = row + 1 < rows_.size() ? rows_[row + 1].nameStart : names_.size();
    return std::string_view(names_).substr(rows_[row].nameStart, end - rows_[row].nameStart);
}

std::string MessageListModel::RowText(int row) const {
    if (IsEmpty()) {
        return {};
    }
    const auto at = static_cast<std::size_t>(row);
    std::string text = folders_[rows_.at(at).folder];
    text += Name(at);
    return text;
}

QString MessageListModel::Path(int row) const {
    return QString::fromStdString(RowText(row));
}

std::size_t MessageListModel::Hash(std::uint32_t folder, std::string_view name) const {
    return std::hash<std::string_view>{}(name) ^ (std::size_t{folder} * 0x9E3779B97F4A7C15ull);
}

void MessageListModel::IndexRow(std::uint32_t row) const {
    if (2 * (rows_.size() + 1) > index_.size()) {
        Reindex(); // indexes every row, this one included
        return;
    }
    const std::size_t mask = index_.size() - 1;
    std::size_t slot = Hash(rows_[row].folder, Name(row)) & mask;
    while (index_[slot] != 0) {
        slot = (slot + 1) & mask;
    }
    index_[slot] = row + 1;
}

void MessageListModel::Reindex() const {
    std::size_t capacity = 16;
    while (capacity < 4 * (rows_.size() + 1)) {
        capacity *= 2;
    }
    index_.assign(capacity, 0);
    for (std::uint32_t row = 0; row < rows_.size(); ++row) {
        IndexRow(row);
    }
}

bool MessageListModel::Contains(std::string_view path) const {
    if (rows_.empty()) {
        return false;
    }
    const std::size_t folderLength = FolderLength(path);
    const auto folder = folderNumbers_.find(path.substr(0, folderLength));
    if (folder == folderNumbers_.end()) {
        return false;
    }
    if (index_.empty()) {
        Reindex();
    }
    const std::string_view name = path.substr(folderLength);
    const std::size_t mask = index_.size() - 1;
    for (std::size_t slot = Hash(folder->second, name) & mask; index_[slot] != 0;
         slot = (slot + 1) & mask) {
        const std::uint32_t row = index_[slot] - 1;
        if (rows_[row].folder == folder->second && Name(row) == name) {
            return true;
        }
    }
    return false;
}

bool MessageListModel::AppendFileNameIfNew(const std::string& path) {
    if (Contains(path)) {
        return false;
    }
    AppendFileName(path);
    return true;
}

void MessageListModel::Clear() {
    beginResetModel();
    rows_ = {};
    names_ = {};
    folders_ = {};
    folderNumbers_ = {};
    lastFolder_ = 0;
    index_ = {};
    endResetModel();
}

bool MessageListModel::IsEmpty() const {
    return rows_.empty();
}

int MessageListModel::RowCount() const {
    return rows_.empty() ? 1 : static_cast<int>(rows_.size());
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
