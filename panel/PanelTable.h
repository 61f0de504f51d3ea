#pragma once
// Where every read-out and text box of the instrument panel stands, and how a
// read-out formats its value. Rectangles are in dialog units.
#include <array>
#include <cstdint>

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

struct RawValues;

// The NMEA 2000 field an entry stands for.
struct FieldSource {
    long pgn;                               // parameter group number
    const char* field;                      // the field's name in its group
    double resolution;                      // a read-out shows raw x resolution
    int64_t (*raw)(const RawValues& model); // the raw field value at a level
    const char* unit;                       // the field's unit; "" where none
};

struct PanelEntry {
    const char* caption; // caption of the small group box around the control
    int controlId;
    PanelKind kind;
    DluRect captionBox;
    DluRect control;
    int decimals;     // read-outs only; the three with no stored precision show 1
    const char* unit; // read-outs only; "" where none
    FieldSource source;
};

inline constexpr int kPanelEntryCount = 51; // 44 read-outs, 5 status texts, 2 alternates

extern const std::array<PanelGroup, 4> kPanelGroups;
extern const std::array<PanelEntry, kPanelEntryCount> kPanelEntries;

// The published name of a parameter group, "" for one the panel has not.
const char* PgnName(long pgn);

// The entry for a control id, or nullptr.
const PanelEntry* FindPanelEntry(int controlId);

} // namespace panel
