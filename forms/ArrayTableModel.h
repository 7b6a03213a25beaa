// An automation array as a table for a view: a vector as one column of values with the indices as row headers, a
// two-dimensional array as rows (first index) and columns (second index), more dimensions as one row per element
// headed by its indices. The model keeps its own copy of the array; cell texts are made only for the cells shown.
#pragma once

#include "platform/ole/SafeArray.h"

#include <QAbstractTableModel>

#include <vector>

class TArrayTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TArrayTableModel(QObject* parent = nullptr);
    ~TArrayTableModel() override;

    // Shows a copy of `array`; null shows nothing. False when the array cannot be copied.
    bool Show(SAFEARRAY* array);
    // "3 × 2, VT_R8": the element counts per dimension and the element type; empty when nothing is shown.
    QString Shape() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // The element's indices for a cell of the table.
    std::vector<LONG> Indices(int row, int column) const;

    SAFEARRAY* m_array = nullptr;
    std::vector<LONG> m_lower;   // per dimension
    std::vector<ULONG> m_counts; // per dimension
    std::size_t m_elements = 0;
};
