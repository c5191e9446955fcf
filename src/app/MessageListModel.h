#pragma once

#include "marrowgate/MessageRows.h"

#include <QAbstractListModel>
#include <QString>

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace marrowgate {

// The message list: one path per row, in the order added; Append allows
// duplicates, AppendFileNameIfNew does not.
// It never has zero rows: the empty list is one row whose text is empty, and
// the first path added is written into that row. A conversion run reads it
// through MessageRows.
//
// Paths are kept as the bytes they were given (UTF-8 from the window, any
// bytes from the file system), cut at their last separator ("/" or "\"): each
// folder once in a table, each row as its folder's number and where its name
// starts in one block of names. A row costs 8 bytes beyond its name's, and
// the text shown is made only for the rows a view asks for.
//
// Contains() answers "is this path listed" with one look in the folder table
// and one in an index of rows by (folder, name): open addressing over row
// numbers, 4 bytes a slot and at most half full, built on the first call and
// kept up to date by every append after it.
class MessageListModel : public QAbstractListModel, public MessageRows {
    Q_OBJECT

public:
    explicit MessageListModel(QObject* parent = nullptr);

    // Writes `path` into the empty row, or appends a row for it.
    void Append(const QString& path);
    // The same for a path as the file system gives it: any bytes. A path that
    // is not UTF-8 is shown as well as it can be and read back unchanged.
    void AppendFileName(const std::string& path);
    // AppendFileName unless a row holds these bytes already, so that a store
    // folder added again adds only its new files. True when it was added.
    bool AppendFileNameIfNew(const std::string& path);
    // Back to the one empty row.
    void Clear();
    // One row, and its text is empty.
    bool IsEmpty() const;
    // The text of `row` as shown.
    QString Path(int row) const;
    // True when a row holds exactly these bytes (the empty row does not count).
    bool Contains(std::string_view path) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int RowCount() const override;
    std::string RowText(int row) const override;

private:
    struct Row {
        std::uint32_t folder;
        std::uint32_t nameStart; // in names_; the name ends where the next row's starts
    };

    void Store(std::string_view path);
    std::string_view Name(std::size_t row) const;
    std::uint32_t FolderOf(std::string_view folder);
    std::size_t Hash(std::uint32_t folder, std::string_view name) const;
    void IndexRow(std::uint32_t row) const;
    void Reindex() const;

    std::vector<Row> rows_; // empty: the list is in its empty state
    std::string names_;
    std::deque<std::string> folders_; // a deque: the index below points into it
    std::unordered_map<std::string_view, std::uint32_t> folderNumbers_;
    std::uint32_t lastFolder_ = 0;
    mutable std::vector<std::uint32_t> index_; // row + 1 per slot, 0 when free
};

} // namespace marrowgate
