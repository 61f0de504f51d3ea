#include "PanelTable.h"

#include <algorithm>

namespace panel {

namespace {

// Read-outs with no stored precision show one decimal.
constexpr int kDefaultDecimals = 1;

// Most controls sit in a 69x24 caption box with a 66x13 control inside.
constexpr PanelEntry Readout(const char* caption, int id, int x, int y, int cx, int cy,
                             int decimals, const char* unit) {
    return {caption, id, PanelKind::Readout, {x, y, 69, 24}, {cx, cy, 66, 13}, decimals, unit};
}

constexpr PanelEntry Status(const char* caption, int id, int x, int y, int cx, int cy) {
    return {caption, id, PanelKind::StatusText, {x, y, 69, 24}, {cx, cy, 66, 13}, 0, ""};
}

constexpr PanelEntry Alternate(const char* caption, int id, int x, int y, int cx, int cy) {
    return {caption, id, PanelKind::AlternateText, {x, y, 69, 24}, {cx, cy, 66, 13}, 0, ""};
}

} // namespace

const std::array<PanelGroup, 4> kPanelGroups{{
    {"Engine Parameters", {7, 239, 286, 58}},
    {"Engine Parameters", {295, 3, 354, 112}},
    {"Engine Parameters", {295, 120, 354, 40}},
    {"Vessel Parameters", {295, 166, 354, 131}},
}};

const std::array<PanelEntry, kPanelEntryCount> kPanelEntries{{
    // Left: engine
    Readout("Engine Speed", 1035, 9, 247, 11, 256, 2, " RPM"),
    Readout("Engine Oil Pressure", 1037, 80, 247, 82, 256, 0, " Pa"),
    Readout("Engine Temp.", 1039, 151, 247, 153, 256, 2, " K"),
    Readout("Alternator Potential", 1040, 222, 247, 224, 256, 2, " V"),
    Readout("Fuel Rate", 1041, 9, 271, 11, 280, 4, " cum/hr"),
    Readout("Total Engine Hours", 1042, 222, 271, 224, 280, 0, " s"),

    // Upper right: engine and vessel read-outs
    Readout("Boost Pressure", 1049, 297, 11, 299, 20, 0, " Pa"),
    Readout("Engine Tilt/Trim", 1048, 368, 11, 370, 20, 0, " %"),
    Readout("Engine Oil Temp.", 1046, 438, 11, 440, 20, kDefaultDecimals, " K"),
    Readout("Coolant Pressure", 1047, 508, 11, 510, 20, 0, " Pa"),
    Readout("Fuel Pressure", 1043, 578, 11, 580, 20, 0, " KPa"),
    Readout("% Engine Load", 1045, 297, 35, 299, 44, 0, " %"),
    Readout("% Engine Torque", 1050, 368, 35, 370, 44, 0, " %"),
    Readout("Speed Water Ref.", 1051, 438, 35, 440, 44, 2, " m/s"),
    Readout("Speed Ref. Type", 1044, 508, 35, 510, 44, 0, ""),
    Readout("Speed Direction", 1052, 578, 35, 580, 44, 0, ""),
    Readout("Exhaust Gas Temp.", 1054, 297, 59, 299, 68, 3, " K"),
    Readout("Fuel Level", 1055, 367, 59, 369, 68, 3, " %"),
    Readout("F-tank Cap. (cum)", 1056, 438, 59, 440, 68, 4, ""),
    Readout("Battery Voltage", 1053, 508, 59, 510, 68, 2, " V"),
    Readout("Battery Current", 1057, 578, 59, 580, 68, kDefaultDecimals, " A"),
    Readout("Battery Case Temp.", 1062, 297, 84, 299, 93, 2, " K"),
    Readout("Measurement Date", 1061, 367, 84, 369, 93, 0, " days"),
    Readout("Measurement Time", 1060, 438, 84, 440, 93, 4, " s"),
    Readout("Total Distance", 1059, 508, 84, 510, 93, 0, " m"),
    Readout("Distance S. Reset", 1058, 578, 84, 580, 93, 0, " m"),

    // Middle right: the two engine status words
    {"Engine Discrete Status 1",
     1033,
     PanelKind::StatusText,
     {299, 128, 140, 29},
     {303, 140, 132, 13},
     0,
     ""},
    {"Engine Discrete Status 2",
     1036,
     PanelKind::StatusText,
     {505, 128, 140, 29},
     {509, 140, 132, 13},
     0,
     ""},

    // Lower right: vessel
    Readout("Waste Water Level", 1067, 297, 175, 299, 184, 3, " %"),
    Readout("WW-tank Cap.(cum)", 1080, 367, 175, 369, 184, 4, ""),
    Readout("Black Water Level", 1063, 438, 175, 440, 184, 3, " %"),
    Readout("BW-tank Cap. (cum)", 1079, 508, 175, 510, 184, 4, ""),
    Readout("Latitude (deg)", 1073, 578, 175, 580, 184, 7, ""),
    Readout("Longitude (deg)", 1078, 297, 199, 299, 208, 7, ""),
    Readout("Port Trim Tab", 1068, 367, 199, 369, 208, 0, " %"),
    Readout("Starboard Trim Tab", 1069, 438, 199, 440, 208, 0, " %"),
    Status("Rudder Dir. Order", 1038, 508, 199, 510, 208),
    Readout("Rudder Angle Order", 1071, 578, 199, 580, 208, 4, " rad"),
    Alternate("Rudder Angle Order", 1072, 578, 199, 580, 208),
    Readout("Rudder Position", 1070, 297, 223, 299, 232, 4, " rad"),
    Readout("Water Depth", 1076, 367, 223, 369, 232, 2, " m"),
    Readout("Water Depth Offset", 1075, 438, 223, 440, 232, 3, " m"),
    Readout("Max. Depth Range", 1074, 508, 223, 510, 232, 0, " m"),
    Alternate("Max. Depth Range", 1077, 508, 223, 510, 232),
    Status("Trans. Warning", 1034, 297, 247, 299, 256),
    Readout("Transmission Gear", 1064, 368, 247, 369, 256, 0, ""),
    Readout("Trans. Oil Pressure", 1065, 438, 247, 440, 256, 0, " Pa"),
    Readout("Trans. Oil Temp.", 1066, 508, 247, 510, 256, kDefaultDecimals, " K"),
    Status("COG Reference", 1083, 297, 271, 299, 280),
    Readout("Course Over Gound", 1081, 368, 271, 369, 280, 4, " rad"),
    Readout("Speed Over Ground", 1082, 438, 271, 440, 280, 2, " m/s"),
}};

const PanelEntry* FindPanelEntry(int controlId) {
    const auto it =
        std::find_if(kPanelEntries.begin(), kPanelEntries.end(),
                     [controlId](const PanelEntry& e) { return e.controlId == controlId; });
    return it == kPanelEntries.end() ? nullptr : &*it;
}

} // namespace panel
