#pragma once
// Where every read-out and text box of the instrument panel stands, and how a
// read-out formats its value. Rectangles are in dialog units.
#include <array>

namespace panel {

struct DluRect {
    int x, y, w, h;
};

enum class PanelKind {
    Readout,       // analog display: value with fixed decimals and unit text
    StatusText,    // read-only centred edit: bit strings, "Not Applicable"
    AlternateText, // read-only centred edit lying on a read-out, shown below level 3
};

struct PanelGroup {
    const char* caption;
    DluRect box;
};

struct PanelEntry {
    const char* caption; // caption of the small group box around the control
    int controlId;
    PanelKind kind;
    DluRect captionBox;
    DluRect control;
    int decimals;     // read-outs only; the three with no stored precision show 1
    const char* unit; // read-outs only; "" where none
};

inline constexpr int kPanelEntryCount = 51; // 44 read-outs, 5 status texts, 2 alternates

extern const std::array<PanelGroup, 4> kPanelGroups;
extern const std::array<PanelEntry, kPanelEntryCount> kPanelEntries;

// The entry for a control id, or nullptr.
const PanelEntry* FindPanelEntry(int controlId);

} // namespace panel
