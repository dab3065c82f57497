#include "entry_list_model.h"

#include <algorithm>
#include <utility>

#include "text_codec.h"

namespace {
constexpr quintptr kTopLevelId = 0;
}  // namespace

EntryListModel::EntryListModel(QObject* parent) : QAbstractItemModel(parent) {}

void EntryListModel::SetRows(EntryRows&& rows) {
    beginResetModel();
    // Not a plain move assignment: a std::string moved into may keep its old buffer, which
    // for a large store would hold a second copy of it until the next refresh.
    const EntryRows previous = std::exchange(m_rows, std::move(rows));
    // The flat rows decide what exists, so a store too large for int rows ends where they end.
    m_topLevelRowCount = m_rows.RowCount() / 2 + 1;
    m_linkRowCount =
        static_cast<int>(std::min<long long>(m_rows.EntryCount(), m_topLevelRowCount - 1));
    endResetModel();
}

int EntryListModel::FlatRowOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return -1;
    if (index.internalId() == kTopLevelId) return index.row() == 0 ? 0 : 2 * index.row() - 1;
    return 2 * static_cast<int>(index.internalId() - 1);
}

QModelIndex EntryListModel::IndexOfFlatRow(int row) const {
    if (row < 0 || row >= m_rows.RowCount()) return {};
    if (row == 0) return createIndex(0, 0, kTopLevelId);
    if (row % 2 == 1) return createIndex((row + 1) / 2, 0, kTopLevelId);
    return createIndex(0, 0, static_cast<quintptr>(row / 2) + 1);
}

QModelIndex EntryListModel::index(int row, int column, const QModelIndex& parent) const {
    // What hasIndex() checks, without its two virtual calls: the view asks for every top-level
    // row each time it lays the tree out.
    if (row < 0 || column != 0 || row >= rowCount(parent)) return {};
    if (!parent.isValid()) return createIndex(row, column, kTopLevelId);
    return createIndex(row, column, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex EntryListModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kTopLevelId) return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, kTopLevelId);
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return m_topLevelRowCount;
    return hasChildren(parent) ? 1 : 0;
}

bool EntryListModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return true;
    return parent.column() == 0 && parent.internalId() == kTopLevelId && IsLinkRow(parent.row());
}

int EntryListModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    return 1;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    return FromWindows1252(m_rows.RowText(FlatRowOf(index)));
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags itemFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // Lets the view skip asking notes and the header whether they have children.
    if (index.internalId() != kTopLevelId || !IsLinkRow(index.row())) {
        itemFlags |= Qt::ItemNeverHasChildren;
    }
    return itemFlags;
}
