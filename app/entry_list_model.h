#pragma once

#include <QAbstractItemModel>

#include "entry_rows.h"

// EntryTree's model over EntryRows. Top-level rows are the header, the link rows and a
// childless trailing row; each link row has exactly one child, its note. Flat row numbers
// (0 .. count - 1, every row expanded) are the numbers the handlers use.
//
// Indexes carry their parent in internalId (0 for a top-level row, parent row + 1 for a note),
// so index, parent and rowCount are O(1) and nothing is allocated per row.
class EntryListModel final : public QAbstractItemModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EntryListModel)

public:
    explicit EntryListModel(QObject* parent = nullptr);

    // Replaces every row; a view collapses all of them.
    void SetRows(EntryRows&& rows);
    const EntryRows& Rows() const { return m_rows; }

    // -1 for an index that is not a row of this model.
    int FlatRowOf(const QModelIndex& index) const;
    // An invalid index outside 0 .. Rows().RowCount() - 1.
    QModelIndex IndexOfFlatRow(int row) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool IsLinkRow(int topLevelRow) const {
        return topLevelRow >= 1 && topLevelRow <= m_linkRowCount;
    }

    EntryRows m_rows;
    // Kept from SetRows: a view laying out a million rows asks for them several times per row.
    int m_topLevelRowCount = 1;
    int m_linkRowCount = 0;
};
