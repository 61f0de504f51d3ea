#pragma once
// What the panel shows, entry by entry, as text: the one place where the
// panel's texts are made. The window draws it, copies it and explains it;
// brendlowctl writes it as records.
#include "core/PanelFields.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace panel {

// A read-out's number: the value with its fixed decimals, never "-" in
// front of a zero ("5000.00", "0.0").
QString ReadoutNumber(double value, int decimals);
// A read-out's text: its number and the unit text ("5000.00 RPM").
QString FormatReadout(double value, int decimals, const QString& unit);

// What a status text box shows while no level is: "Not Applicable".
QString NotApplicableText();

struct SnapshotEntry {
    const PanelEntry* entry;
    QString text;   // what the panel shows there
    double value;   // raw x resolution
    int64_t raw;    // the field's raw value
    bool alternate; // a read-out whose alternate text box is shown instead
};

struct PanelSnapshot {
    std::optional<uint8_t> level; // none: the panel is cleared
    bool warnings = false;
    std::vector<SnapshotEntry> readouts; // the 44 read-outs, in panel order
    std::vector<SnapshotEntry> texts;    // the five status text boxes, in panel order
};

// The panel for a level and Warnings mode.
PanelSnapshot SnapshotAt(uint8_t level, bool warnings);
// The panel with no level: read-outs at zero, status texts "Not Applicable".
PanelSnapshot ClearedSnapshot();

// What the snapshot holds for an entry's field (an alternate text box
// stands for its read-out's), or nullptr when the panel is cleared.
const SnapshotEntry* FieldShown(const PanelSnapshot& snapshot, const PanelEntry& entry);

// The unit without the read-out's leading space: "RPM", "" where none.
QString UnitName(const PanelEntry& entry);

// What an entry stands for on the bus, for its tooltip: parameter group,
// field, resolution and unit, and with a shown level the raw value in
// decimal and hex.
QString DetailText(const PanelEntry& entry, const PanelSnapshot& shown);

// The panel as tab-separated lines for the clipboard: a header, then per
// read-out caption, shown text, value (the number shown, with its decimals,
// as brendlowctl's records give it), unit, PGN and raw (value and raw
// empty while the panel is cleared), then per status text box caption and
// text.
QString CopyText(const PanelSnapshot& shown);

} // namespace panel
