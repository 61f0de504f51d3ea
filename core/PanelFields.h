#pragma once
// The panel's fields: every read-out and text box of the instrument panel,
// in panel order, with the NMEA 2000 field it stands for and how it shows
// it. Where each one stands on the window is the window's business.
#include <array>
#include <cstdint>

namespace panel {

enum class PanelKind {
    Readout,       // a value with fixed decimals and a unit text
    StatusText,    // bit strings, "Not Applicable"
    AlternateText, // lies on a read-out and shows a text instead of its number, below level 3
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
    // The entry's number: the control's id on the window, and the "id" of a
    // read-out in brendlowctl's records.
    int controlId;
    PanelKind kind;
    int decimals;     // read-outs only; the three with no stored precision show 1
    const char* unit; // read-outs only; "" where none
    FieldSource source;
    int bits;    // status texts only: how many low bits of the field they show
    int partner; // alternate texts only: the read-out they lie on
    // Alternate texts only: what the read-out's raw value means when it is
    // a code, or nullptr when it is a number the read-out shows.
    const char* (*codeText)(int64_t raw);
};

inline constexpr int kPanelEntryCount = 51; // 44 read-outs, 5 status texts, 2 alternates
inline constexpr int kReadoutCount = 44;
inline constexpr int kStatusTextCount = 5;

extern const std::array<PanelEntry, kPanelEntryCount> kPanelEntries;

// The published name of a parameter group, "" for one the panel has not.
const char* PgnName(long pgn);

// The entry for a control id, or nullptr.
const PanelEntry* FindPanelEntry(int controlId);
// The alternate text box lying on a read-out, or nullptr.
const PanelEntry* AlternateOf(const PanelEntry& readout);

} // namespace panel
