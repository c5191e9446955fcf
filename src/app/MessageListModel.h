#pragma once

#include "convert/MessageRows.h"

#include <QAbstractListModel>
#include <QSet>
#include <QString>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace marrowgate {

// The message list: one path per row, in the order added; Append allows
// duplicates, AppendFileNameIfNew does not.
// It never has zero rows: the empty list is one row whose text is empty, and
// the first path added is written into that row. A conversion run reads it
// through MessageRows.
class MessageListModel : public QAbstractListModel, public MessageRows {
    Q_OBJECT

public:
    explicit MessageListModel(QObject* parent = nullptr);

    // Writes `path` into the empty row, or appends a row for it.
    void Append(const QString& path);
    // The same for a path as the file system gives it: any bytes. A path that
    // is not UTF-8 is shown as well as it can be and read back unchanged.
    void AppendFileName(const std::string& path);
    // AppendFileName unless the list already holds exactly these bytes, so
    // that a store folder added again adds only its new files. True when the
    // path was added.
    bool AppendFileNameIfNew(const std::string& path);
    // Back to the one empty row.
    void Clear();
    // One row, and its text is empty.
    bool IsEmpty() const;
    const QString& Path(int row) const { return rows_.at(static_cast<std::size_t>(row)); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int RowCount() const override { return static_cast<int>(rows_.size()); }
    std::string RowText(int row) const override;

private:
    std::vector<QString> rows_;
    // The exact bytes of the rows whose path is not UTF-8, which a QString
    // cannot hold; they are rare, so they are kept aside.
    std::unordered_map<int, std::string> exactPaths_;
    // The paths listed, for AppendFileNameIfNew: rows below indexedRows_ are
    // in one of the two sets. Filled only when that is called, so that
    // appending alone costs nothing more.
    void IndexNewRows();
    QSet<QString> listedText_;
    std::unordered_set<std::string> listedBytes_;
    int indexedRows_ = 0;
};

} // namespace marrowgate
