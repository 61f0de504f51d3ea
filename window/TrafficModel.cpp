#include "window/TrafficModel.h"

#include <QColor>
#include <algorithm>
#include <vector>

using session::TrafficLine;
using session::Verdict;

CTrafficModel::CTrafficModel(const session::CTrafficLog& log, QObject* parent)
    : QAbstractTableModel(parent), m_log(log) {}

int CTrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CTrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QString CTrafficModel::HeaderText(Column column) {
    switch (column) {
    case kTime:
        return tr("Time (s)");
    case kDirection:
        return tr("Dir");
    case kVerdict:
        return tr("Verdict");
    case kText:
        return tr("Text");
    case kColumns:
        break;
    }
    return {};
}

QString CTrafficModel::DirectionText(bool sent) {
    return sent ? tr("TX") : tr("RX");
}

QString CTrafficModel::VerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return tr("ok");
    case Verdict::BadChecksum:
        return tr("bad checksum");
    case Verdict::Unexpected:
        return tr("unexpected");
    case Verdict::Dropped:
        return tr("dropped");
    }
    return {};
}

QStringList CTrafficModel::Words(Column column) {
    QStringList words{HeaderText(column)};
    if (column == kDirection)
        words << DirectionText(true) << DirectionText(false);
    if (column == kVerdict)
        for (Verdict verdict :
             {Verdict::Ok, Verdict::BadChecksum, Verdict::Unexpected, Verdict::Dropped})
            words << VerdictText(verdict);
    return words;
}

QVariant CTrafficModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TrafficLine& line = Line(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case kTime:
            return session::FormatTime(line);
        case kDirection:
            return DirectionText(line.sent);
        case kVerdict:
            // A sent line has nothing to judge.
            return line.sent ? QString() : VerdictText(line.verdict);
        case kText:
            return QString::fromLatin1(session::VisibleText(line.bytes));
        }
        return {};
    case Qt::TextAlignmentRole:
        return index.column() == kTime ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        // Lines the device got wrong stand out: red for lost or corrupted
        // bytes, amber for lines that came at the wrong time.
        if (line.verdict == Verdict::BadChecksum || line.verdict == Verdict::Dropped)
            return QColor(255, 205, 205);
        if (line.verdict == Verdict::Unexpected)
            return QColor(255, 236, 190);
        return {};
    case Qt::ForegroundRole:
        // Dark text on the light marks, whatever the colour scheme.
        if (line.verdict != Verdict::Ok)
            return QColor(Qt::black);
        return {};
    default:
        return {};
    }
}

QVariant CTrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumns)
        return {};
    return HeaderText(static_cast<Column>(section));
}

int CTrafficModel::DropBefore(int64_t firstKept) {
    const auto end = std::lower_bound(m_rows.begin(), m_rows.end(), firstKept);
    const int count = static_cast<int>(end - m_rows.begin());
    if (count > 0) {
        beginRemoveRows({}, 0, count - 1);
        m_rows.erase(m_rows.begin(), end);
        endRemoveRows();
    }
    return count;
}

void CTrafficModel::AddFrom(int64_t from) {
    std::vector<int64_t> added;
    for (int64_t s = std::max(from, m_log.DroppedFromFront()); s < m_log.EndSequence(); ++s)
        if (m_filter.Accepts(m_log.BySequence(s)))
            added.push_back(s);
    if (added.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
    m_rows.insert(m_rows.end(), added.begin(), added.end());
    endInsertRows();
}

void CTrafficModel::Reset(const session::TrafficFilter& filter) {
    beginResetModel();
    m_filter = filter;
    m_rows.clear();
    for (int64_t s = m_log.DroppedFromFront(); s < m_log.EndSequence(); ++s)
        if (m_filter.Accepts(m_log.BySequence(s)))
            m_rows.push_back(s);
    endResetModel();
}

void CTrafficModel::RemoveAll() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
