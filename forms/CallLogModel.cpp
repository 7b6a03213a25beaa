#include "forms/CallLogModel.h"

#include "automation/CallLog.h"

#include <QBrush>
#include <QDateTime>

#include <algorithm>

TCallLogModel::TCallLogModel(TCallLog& log, QObject* parent) : QAbstractTableModel(parent), m_log(log) {
    m_first = m_next = log.FirstSequence();
    Refresh();
}

int TCallLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_next - m_first);
}

int TCallLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TCallLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const std::uint64_t sequence = m_first + static_cast<std::uint64_t>(index.row());
    // Rows of calls the log has dropped since the last refresh show nothing until the refresh removes them.
    if (sequence < m_log.FirstSequence() || sequence >= m_log.NextSequence())
        return {};
    const TCallRecord& record = m_log.At(static_cast<std::size_t>(sequence - m_log.FirstSequence()));
    if (role == Qt::ForegroundRole)
        return record.result < 0 ? QVariant(QBrush(Qt::red)) : QVariant();
    if (role == Qt::TextAlignmentRole)
        return index.column() == NumberColumn || index.column() == DurationColumn
                   ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                   : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case NumberColumn:
        return QString::number(sequence + 1);
    case TimeColumn:
        return QDateTime::fromMSecsSinceEpoch(TCallLog::WallClockMs(record.start)).toString("hh:mm:ss.zzz");
    case MemberColumn: {
        const TMemberInfo* member = FindNavilonixMember(record.slot);
        return member ? QString::fromUtf8(member->name.data(), static_cast<qsizetype>(member->name.size()))
                      : QString::number(record.slot);
    }
    case ArgumentsColumn:
        return QString::fromStdString(CallArgumentsText(record));
    case ResultColumn:
        return QString::fromStdString(CallResultText(record));
    case DurationColumn:
        return QString::number(TCallLog::Nanoseconds(record.duration) / 1000.0, 'f', 1);
    default:
        return {};
    }
}

QVariant TCallLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const captions[ColumnCount] = {"№", "Время", "Член", "Аргументы", "Значение или код", "мкс"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(captions[section]) : QVariant();
}

bool TCallLogModel::Refresh() {
    const std::uint64_t first = m_log.FirstSequence();
    const std::uint64_t next = m_log.NextSequence();
    if (first == m_first && next == m_next)
        return false;
    if (first > m_first) {
        const std::uint64_t gone = std::min(first, m_next) - m_first;
        if (gone > 0) {
            beginRemoveRows({}, 0, static_cast<int>(gone - 1));
            m_first += gone;
            endRemoveRows();
        }
        m_first = first;
        if (m_next < m_first)
            m_next = m_first;
    }
    if (next > m_next) {
        beginInsertRows({}, rowCount(), rowCount() + static_cast<int>(next - m_next) - 1);
        m_next = next;
        endInsertRows();
    }
    return true;
}

TCallLogModel::TSummary TCallLogModel::Figures() const {
    TSummary summary;
    summary.count = m_log.Count();
    std::int64_t slowest = 0;
    for (std::size_t i = 0; i < summary.count; ++i) {
        const TCallRecord& record = m_log.At(i);
        if (summary.slowestSlot == 0 || record.duration > slowest) {
            slowest = record.duration;
            summary.slowestSlot = record.slot;
        }
    }
    summary.total = static_cast<std::int64_t>(TCallLog::Nanoseconds(m_log.TotalDuration()));
    summary.slowest = static_cast<std::int64_t>(TCallLog::Nanoseconds(slowest));
    return summary;
}
