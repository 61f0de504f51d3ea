#pragma once
// The traffic monitor's list: one row for each logged line the filter
// shows, with its time, direction, verdict and visible text; lines the
// device got wrong are marked in colour.
#include "session/TrafficLog.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <cstdint>
#include <deque>

class CTrafficModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kTime, kDirection, kVerdict, kText, kColumns };

    // The log must outlive the model; the model follows it only when told
    // (DropBefore, AddFrom, Reset, RemoveAll).
    CTrafficModel(const session::CTrafficLog& log, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static QString HeaderText(Column column);
    static QString DirectionText(bool sent);
    static QString VerdictText(session::Verdict verdict);
    // Every word a column of words can show, its header included, so that
    // the column can be made wide enough for the widest.
    static QStringList Words(Column column);

    const session::TrafficLine& Line(int row) const {
        return m_log.BySequence(m_rows[static_cast<size_t>(row)]);
    }
    const session::TrafficFilter& Filter() const { return m_filter; }

    // Before the log lets go of the lines older than `firstKept`; returns how
    // many rows went.
    int DropBefore(int64_t firstKept);
    // After the log took lines from sequence `from` on.
    void AddFrom(int64_t from);
    // Shows what `filter` accepts of the whole log.
    void Reset(const session::TrafficFilter& filter);
    // Before the log is cleared.
    void RemoveAll();

private:
    const session::CTrafficLog& m_log;
    session::TrafficFilter m_filter;
    // The sequence numbers of the rows' lines, oldest first. Rows come and
    // go in batches at the ends only.
    std::deque<int64_t> m_rows;
};
