#include "forms/ArrayTableModel.h"

#include "automation/CallLog.h"

#include <cstring>

TArrayTableModel::TArrayTableModel(QObject* parent) : QAbstractTableModel(parent) {}

TArrayTableModel::~TArrayTableModel() {
    if (m_array)
        SafeArrayDestroy(m_array);
}

bool TArrayTableModel::Show(SAFEARRAY* array) {
    beginResetModel();
    if (m_array)
        SafeArrayDestroy(m_array);
    m_array = nullptr;
    m_lower.clear();
    m_counts.clear();
    m_elements = 0;
    bool copied = true;
    if (array) {
        copied = SUCCEEDED(SafeArrayCopy(array, &m_array)) && m_array;
        if (copied) {
            for (UINT dim = 1; dim <= SafeArrayGetDim(m_array); ++dim) {
                LONG lower = 0;
                LONG upper = -1;
                SafeArrayGetLBound(m_array, dim, &lower);
                SafeArrayGetUBound(m_array, dim, &upper);
                m_lower.push_back(lower);
                m_counts.push_back(static_cast<ULONG>(static_cast<std::int64_t>(upper) - lower + 1));
            }
            m_elements = SafeArrayElementCount(m_array);
        }
    }
    endResetModel();
    return copied;
}

QString TArrayTableModel::Shape() const {
    if (!m_array)
        return {};
    QStringList counts;
    for (const ULONG count : m_counts)
        counts << QString::number(count);
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(m_array, &vt);
    return counts.join(QStringLiteral(" × ")) + ", " + QString::fromStdString(VarTypeName(vt));
}

int TArrayTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_array)
        return 0;
    // Rows past what a view can count are left out.
    const std::size_t rows = m_counts.size() == 2 ? m_counts[0] : m_elements;
    return static_cast<int>(std::min<std::size_t>(rows, INT_MAX));
}

int TArrayTableModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_array)
        return 0;
    return m_counts.size() == 2 ? static_cast<int>(std::min<ULONG>(m_counts[1], INT_MAX)) : 1;
}

std::vector<LONG> TArrayTableModel::Indices(int row, int column) const {
    std::vector<LONG> indices(m_counts.size());
    if (m_counts.size() == 2) {
        indices[0] = m_lower[0] + row;
        indices[1] = m_lower[1] + column;
        return indices;
    }
    // One row per element, the first index varying fastest.
    auto rest = static_cast<std::size_t>(row);
    for (std::size_t dim = 0; dim < m_counts.size(); ++dim) {
        indices[dim] = m_lower[dim] + static_cast<LONG>(rest % m_counts[dim]);
        rest /= m_counts[dim];
    }
    return indices;
}

QVariant TArrayTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_array || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const std::vector<LONG> indices = Indices(index.row(), index.column());
    void* element = nullptr;
    if (FAILED(SafeArrayPtrOfIndex(m_array, indices.data(), &element)) || !element)
        return {};
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(m_array, &vt);
    if (vt == VT_VARIANT) // each element its own type: shown with it
        return QString::fromStdString(LoggedValueText(TCallLog::Logged(*static_cast<const VARIANT*>(element))));
    // An element of the array's one type, as the value of a variant of that type (the variant does not own it).
    VARIANT value;
    VariantInit(&value);
    value.vt = vt;
    std::memcpy(&value.llVal, element, std::min<std::size_t>(SafeArrayGetElemsize(m_array), sizeof value.llVal));
    return QString::fromStdString(VariantValueText(TCallLog::Logged(value)));
}

QVariant TArrayTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || !m_array)
        return {};
    if (m_counts.size() == 2)
        return QString::number(m_lower[orientation == Qt::Vertical ? 0 : 1] + section);
    if (orientation == Qt::Horizontal)
        return QStringLiteral("Значение");
    const std::vector<LONG> indices = Indices(section, 0);
    QStringList texts;
    for (const LONG index : indices)
        texts << QString::number(index);
    return texts.size() == 1 ? texts.front() : "(" + texts.join(QStringLiteral(", ")) + ")";
}
