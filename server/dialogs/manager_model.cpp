#include "server/dialogs/manager_model.h"

#include "server/dialogs/host_listing.h"

#include <QFont>

namespace {

struct Column {
    const char* heading;
    int width;
};
constexpr Column kColumns[kEntryFieldCount] = {
    {"Hardware Address", 100}, {"Host Name", 100},   {"IP Address", 100},
    {"Comment", 150},          {"Subnet Mask", 100}, {"Gateway", 100},
};

} // namespace

EntryListModel::EntryListModel(EntryRowArray& rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows) {}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

int EntryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kEntryFieldCount;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    int rowIndex = RowIndexOf(index.row());
    if (role == Qt::UserRole)
        return rowIndex;
    if (rowIndex >= rows_.Count())
        return {};
    const EntryRow& row = rows_[rowIndex];
    // Pending changes stand out until they are applied.
    bool pending = row.isNew || row.modified;
    if (role == Qt::FontRole && pending) {
        QFont font;
        font.setItalic(true);
        font.setBold(true);
        return font;
    }
    if (role == Qt::ToolTipRole && pending)
        return row.isNew ? QStringLiteral("Added, not yet applied")
                         : QStringLiteral("Changed, not yet applied");
    if (role != Qt::DisplayRole)
        return {};
    std::string_view text = row.Field(index.column());
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kEntryFieldCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(kColumns[section].heading);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

bool EntryListModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count < 1 || row + count > rowCount())
        return false;
    beginRemoveRows(parent, row, row + count - 1);
    items_.erase(items_.begin() + row, items_.begin() + row + count);
    endRemoveRows();
    return true;
}

int EntryListModel::ColumnWidth(int column) {
    return column >= 0 && column < kEntryFieldCount ? kColumns[column].width : 0;
}

void EntryListModel::ResetItems(int count) {
    beginResetModel();
    items_.clear();
    for (int i = 0; i < count; ++i)
        items_.push_back(i);
    endResetModel();
}

void EntryListModel::AppendItem(int rowIndex) {
    int item = rowCount();
    beginInsertRows({}, item, item);
    items_.push_back(rowIndex);
    endInsertRows();
}

void EntryListModel::ItemChanged(int item) {
    emit dataChanged(index(item, 0), index(item, kEntryFieldCount - 1));
}

EntrySortProxy::EntrySortProxy(EntryRowArray& rows, QObject* parent)
    : QSortFilterProxyModel(parent), rows_(rows) {
    setDynamicSortFilter(false);
}

bool EntrySortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    int a = left.data(Qt::UserRole).toInt();
    int b = right.data(Qt::UserRole).toInt();
    if (a >= rows_.Count() || b >= rows_.Count())
        return false;
    return korrind::CompareListItems(rows_[a], rows_[b], left.column()) < 0;
}

void EntrySortProxy::SetFilterText(const QString& text) {
    filter_ = text.trimmed();
    invalidateFilter();
}

bool EntrySortProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (filter_.isEmpty())
        return true;
    QAbstractItemModel* source = sourceModel();
    for (int c = 0; c < source->columnCount(); ++c)
        if (source->index(sourceRow, c, sourceParent)
                .data()
                .toString()
                .contains(filter_, Qt::CaseInsensitive))
            return true;
    return false;
}
