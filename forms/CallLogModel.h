// The call log as a table for a view: one row per held call, oldest first, texts made only for the rows shown.
// Refresh brings the rows up to date with the log (the sheet calls it on a timer and after its own actions).
#pragma once

#include <QAbstractTableModel>

#include <cstdint>

class TCallLog;

class TCallLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { NumberColumn, TimeColumn, MemberColumn, ArgumentsColumn, ResultColumn, DurationColumn, ColumnCount };

    explicit TCallLogModel(TCallLog& log, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Takes in the calls recorded and drops the calls forgotten since the last refresh; true when rows changed.
    bool Refresh();

    // Figures over the held calls (as of the last refresh).
    struct TSummary {
        std::size_t count = 0;
        std::int64_t total = 0; // nanoseconds
        int slowestSlot = 0;    // 0 when there are no calls
        std::int64_t slowest = 0;
    };
    TSummary Figures() const;

private:
    TCallLog& m_log;
    std::uint64_t m_first = 0; // sequence numbers of the rows shown: m_first .. m_next - 1
    std::uint64_t m_next = 0;
};
