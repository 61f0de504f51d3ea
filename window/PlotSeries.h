#pragma once
// What a plot draws of a read-out's history: at most two points for each
// pixel column, so that a line over an hour of a flood costs what one over
// a minute does, and a spike narrower than a pixel still shows.
#include "session/ReadoutHistory.h"

#include <QList>
#include <QPointF>
#include <QString>
#include <cstdint>
#include <optional>

struct PlotRange {
    int64_t fromMs = 0; // the history's milliseconds
    int64_t toMs = 0;
};

// The points of `readout` from `range.fromMs` to `range.toMs` in `columns`
// columns, x in seconds after `xOriginMs` of the history. A column that
// holds one broadcast is that broadcast's point; one that holds more gives
// its least and its greatest number in the order they came (the first and
// last broadcasts tell which came first). The last broadcast before the
// range starts the line, so it enters from the left edge.
QList<QPointF> PlotPoints(const session::CReadoutHistory& history, int readout,
                          const PlotRange& range, int columns, int64_t xOriginMs);

// The least and greatest y of the points, or nothing for none.
std::optional<std::pair<double, double>> YExtent(const QList<QPointF>& points);

// What the cursor reads at `ms`: the read-out's number with its unit where
// the newest bucket at or before `ms` has it (its least and greatest when
// it gathered several broadcasts that differ), or an empty text when the
// history has nothing there.
QString CursorReading(const session::CReadoutHistory& history, int readout, int64_t ms);
