// The Bootp Manager's list: each item names a row of the working list by
// its index, so sorting the view never moves rows. The proxy sorts on
// request only, as the list control did: new items go to the end.
#pragma once

#include "server/core/entry_rows.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <vector>

class EntryListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit EntryListModel(EntryRowArray& rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;

    // Column widths in pixels, as the list had them.
    static int ColumnWidth(int column);

    // Items for rows 0 to count - 1, in that order.
    void ResetItems(int count);
    void AppendItem(int rowIndex);
    // Row index of an item (its item data).
    int RowIndexOf(int item) const { return items_[static_cast<size_t>(item)]; }
    // The row of an item changed.
    void ItemChanged(int item);

private:
    EntryRowArray& rows_;
    std::vector<int> items_;
};

class EntrySortProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    EntrySortProxy(EntryRowArray& rows, QObject* parent = nullptr);

    // Items holding the text (ignoring case) in any column stay listed;
    // an empty text lists all.
    void SetFilterText(const QString& text);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    EntryRowArray& rows_;
    QString filter_;
};
