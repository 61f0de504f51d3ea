#include "window/PlotSeries.h"

#include "session/PanelSnapshot.h"

#include <algorithm>

using session::CReadoutHistory;

namespace {

double Seconds(int64_t ms, int64_t originMs) {
    return double(ms - originMs) / 1000.0;
}

// The broadcasts of the buckets that fall in one column.
struct Column {
    int64_t firstMs = 0;
    int64_t lastMs = 0;
    uint32_t count = 0;
    double first = 0, last = 0, low = 0, high = 0;

    void Add(const CReadoutHistory::Bucket& b, int readout) {
        const double low_ = CReadoutHistory::Number(b.minState[size_t(readout)], readout);
        const double high_ = CReadoutHistory::Number(b.maxState[size_t(readout)], readout);
        if (count == 0) {
            firstMs = b.count == 1 ? b.lastMs : b.startMs;
            first = CReadoutHistory::Number(b.firstState, readout);
            low = low_;
            high = high_;
        }
        low = std::min(low, low_);
        high = std::max(high, high_);
        lastMs = b.lastMs;
        last = CReadoutHistory::Number(b.lastState, readout);
        count += b.count;
    }

    void AppendTo(QList<QPointF>& points, int64_t xOriginMs) const {
        if (count == 1 || low == high) {
            points.append({Seconds(lastMs, xOriginMs), last});
            return;
        }
        const bool rising = first <= last;
        points.append({Seconds(firstMs, xOriginMs), rising ? low : high});
        points.append({Seconds(lastMs, xOriginMs), rising ? high : low});
    }
};

} // namespace

QList<QPointF> PlotPoints(const CReadoutHistory& history, int readout, const PlotRange& range,
                          int columns, int64_t xOriginMs) {
    QList<QPointF> points;
    const auto& buckets = history.Buckets();
    const int64_t span = std::max<int64_t>(1, range.toMs - range.fromMs);
    columns = std::max(1, columns);
    size_t i = history.LowerBound(range.fromMs);
    if (i > 0) {
        // The broadcast before the range: where the line comes from.
        Column before;
        before.Add(buckets[i - 1], readout);
        points.append({Seconds(before.lastMs, xOriginMs), before.last});
    }
    Column column;
    int64_t columnIndex = -1;
    for (; i < buckets.size() && buckets[i].startMs <= range.toMs; ++i) {
        const int64_t at = (buckets[i].startMs - range.fromMs) * columns / span;
        if (at != columnIndex && column.count > 0) {
            column.AppendTo(points, xOriginMs);
            column = Column();
        }
        columnIndex = at;
        column.Add(buckets[i], readout);
    }
    if (column.count > 0)
        column.AppendTo(points, xOriginMs);
    return points;
}

std::optional<std::pair<double, double>> YExtent(const QList<QPointF>& points) {
    if (points.isEmpty())
        return std::nullopt;
    std::pair<double, double> extent{points.first().y(), points.first().y()};
    for (const QPointF& p : points) {
        extent.first = std::min(extent.first, p.y());
        extent.second = std::max(extent.second, p.y());
    }
    return extent;
}

QString CursorReading(const CReadoutHistory& history, int readout, int64_t ms) {
    const CReadoutHistory::Bucket* b = history.At(ms);
    // Nothing after the newest broadcast, and nothing in a gap: a bucket
    // stands for its own 50 ms and the broadcast period after it.
    if (b == nullptr || ms > b->lastMs + 1000 + CReadoutHistory::kBucketMs)
        return {};
    const panel::PanelEntry& e = session::ReadoutEntry(readout);
    const double low = CReadoutHistory::Number(b->minState[size_t(readout)], readout);
    const double high = CReadoutHistory::Number(b->maxState[size_t(readout)], readout);
    QString number = panel::ReadoutNumber(low, e.decimals);
    if (high != low)
        number += QStringLiteral("..") + panel::ReadoutNumber(high, e.decimals);
    return number + QString::fromLatin1(e.unit);
}
