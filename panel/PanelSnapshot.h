#pragma once
// What the panel shows for one level, entry by entry, as text: for the
// command line's records and for copying the window's values. The read-out
// widget formats its value with the same function.
#include "PanelTable.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace panel {

// A read-out's text: the value with its fixed decimals and the unit text,
// never "-" in front of a zero ("5000.00 RPM", "0.0 K").
QString FormatReadout(double value, int decimals, const QString& unit);

struct SnapshotEntry {
    const PanelEntry* entry;
    QString text;   // what the panel shows there
    double value;   // raw x resolution
    int64_t raw;    // the field's raw value
    bool alternate; // a read-out whose alternate text box is shown instead
};

struct PanelSnapshot {
    std::vector<SnapshotEntry> readouts; // the 44 read-outs, in panel order
    std::vector<SnapshotEntry> texts;    // the five status text boxes, in panel order
};

PanelSnapshot SnapshotAt(uint8_t level, bool warnings);

// The unit without the read-out's leading space: "RPM", "" where none.
QString UnitName(const PanelEntry& entry);

// What an entry stands for on the bus, for its tooltip: parameter group,
// field, resolution and unit, and with a shown level the raw value in
// decimal and hex.
QString DetailText(const PanelEntry& entry, const SnapshotEntry* shown);

// The panel as tab-separated lines for the clipboard: a header, then per
// read-out caption, shown text, value, unit, PGN and raw, then per status
// text box caption and text. `shown` gives what each control shows now, by
// control id; `snapshot`, when a level is shown, the values behind it.
QString CopyText(const std::function<QString(int controlId)>& shown, const PanelSnapshot* snapshot);

} // namespace panel
