#include "core/PanelFields.h"

#include "core/ParameterModel.h"

#include <algorithm>

namespace panel {

namespace {

// Read-outs with no stored precision show one decimal.
constexpr int kDefaultDecimals = 1;

// The field a panel entry shows: its raw value read from the model's raw
// values, in the type the model keeps it.
#define RAW(expression) [](const RawValues& r) -> int64_t { return expression; }

constexpr FieldSource Source(long pgn, const char* field, double resolution,
                             int64_t (*raw)(const RawValues&), const char* unit) {
    return {pgn, field, resolution, raw, unit};
}

PanelEntry Readout(const char* caption, int id, int decimals, const char* unit,
                   FieldSource source) {
    return {caption, id, PanelKind::Readout, decimals, unit, source, 0, 0, nullptr};
}

// A status text shows the field's low `bits` bits.
PanelEntry Status(const char* caption, int id, int bits, FieldSource source) {
    return {caption, id, PanelKind::StatusText, 0, "", source, bits, 0, nullptr};
}

// An alternate text box lies on the read-out `partner` and stands for its field.
PanelEntry Alternate(const char* caption, int id, int partner, const char* (*codeText)(int64_t),
                     FieldSource source) {
    return {caption, id, PanelKind::AlternateText, 0, "", source, 0, partner, codeText};
}

} // namespace

const std::array<PanelEntry, kPanelEntryCount> kPanelEntries{{
    // Left: engine
    Readout("Engine Speed", 1035, 2, " RPM",
            Source(127488, "engine speed", 0.25, RAW(r.engineSpeed), "rpm")),
    Readout("Engine Oil Pressure", 1037, 0, " Pa",
            Source(127489, "oil pressure", 100, RAW(r.oilPressure), "Pa")),
    Readout("Engine Temp.", 1039, 2, " K",
            Source(127489, "engine temperature", 0.01, RAW(r.engineTemperature), "K")),
    Readout("Alternator Potential", 1040, 2, " V",
            Source(127489, "alternator potential", 0.01, RAW(r.alternatorPotential), "V")),
    Readout("Fuel Rate", 1041, 4, " cum/hr",
            Source(127489, "fuel rate", 0.0001, RAW(r.fuelRate), "m³/h")),
    Readout("Total Engine Hours", 1042, 0, " s",
            Source(127489, "total engine hours", 1, RAW(r.totalEngineHours), "s")),

    // Upper right: engine and vessel read-outs
    Readout("Boost Pressure", 1049, 0, " Pa",
            Source(127488, "boost pressure", 100, RAW(r.boostPressure), "Pa")),
    Readout("Engine Tilt/Trim", 1048, 0, " %",
            Source(127488, "tilt/trim", 1, RAW(r.tiltTrim), "%")),
    Readout("Engine Oil Temp.", 1046, kDefaultDecimals, " K",
            Source(127489, "oil temperature", 0.1, RAW(r.oilTemperature), "K")),
    Readout("Coolant Pressure", 1047, 0, " Pa",
            Source(127489, "coolant pressure", 100, RAW(r.coolantPressure), "Pa")),
    Readout("Fuel Pressure", 1043, 0, " KPa",
            Source(127489, "fuel pressure", 1, RAW(r.fuelPressure), "kPa")),
    Readout("% Engine Load", 1045, 0, " %",
            Source(127489, "percent engine load", 1, RAW(r.engineLoad), "%")),
    Readout("% Engine Torque", 1050, 0, " %",
            Source(127489, "percent engine torque", 1, RAW(r.engineTorque), "%")),
    Readout("Speed Water Ref.", 1051, 2, " m/s",
            Source(128259, "speed water referenced", 0.01, RAW(r.speedWaterRef), "m/s")),
    Readout("Speed Ref. Type", 1044, 0, "",
            Source(128259, "speed water referenced type", 1, RAW(r.speedRefType), "")),
    Readout("Speed Direction", 1052, 0, "",
            Source(128259, "speed direction", 1, RAW(r.speedDirectionByte & 0x0F), "")),
    Readout("Exhaust Gas Temp.", 1054, 3, " K",
            Source(130316, "temperature", 0.001, RAW(r.exhaustGasTemperature), "K")),
    Readout("Fuel Level", 1055, 3, " %",
            Source(127505, "level (fuel tank)", 0.004, RAW(r.fuelLevel), "%")),
    Readout("F-tank Cap. (cum)", 1056, 4, "",
            Source(127505, "tank capacity (fuel)", 0.0001, RAW(r.fuelCapacity), "m³")),
    Readout("Battery Voltage", 1053, 2, " V",
            Source(127508, "voltage", 0.01, RAW(r.batteryVoltage), "V")),
    Readout("Battery Current", 1057, kDefaultDecimals, " A",
            Source(127508, "current", 0.1, RAW(r.batteryCurrent), "A")),
    Readout("Battery Case Temp.", 1062, 2, " K",
            Source(127508, "temperature", 0.01, RAW(r.batteryCaseTemperature), "K")),
    Readout("Measurement Date", 1061, 0, " days",
            Source(128275, "date", 1, RAW(r.measurementDate), "days")),
    Readout("Measurement Time", 1060, 4, " s",
            Source(128275, "time", 0.0001, RAW(r.measurementTime), "s")),
    Readout("Total Distance", 1059, 0, " m", Source(128275, "log", 1, RAW(r.totalDistance), "m")),
    Readout("Distance S. Reset", 1058, 0, " m",
            Source(128275, "trip log", 1, RAW(r.tripDistance), "m")),

    // Middle right: the two engine status words
    Status("Engine Discrete Status 1", 1033, 16,
           Source(127489, "discrete status 1", 1, RAW(r.discreteStatus1), "")),
    Status("Engine Discrete Status 2", 1036, 16,
           Source(127489, "discrete status 2", 1, RAW(r.discreteStatus2), "")),

    // Lower right: vessel
    Readout("Waste Water Level", 1067, 3, " %",
            Source(127505, "level (waste water tank)", 0.004, RAW(r.wasteWaterLevel), "%")),
    Readout("WW-tank Cap.(cum)", 1080, 4, "",
            Source(127505, "tank capacity (waste water)", 0.0001, RAW(r.wasteWaterCapacity), "m³")),
    Readout("Black Water Level", 1063, 3, " %",
            Source(127505, "level (black water tank)", 0.004, RAW(r.blackWaterLevel), "%")),
    Readout("BW-tank Cap. (cum)", 1079, 4, "",
            Source(127505, "tank capacity (black water)", 0.0001, RAW(r.blackWaterCapacity), "m³")),
    Readout("Latitude (deg)", 1073, 7, "",
            Source(129025, "latitude", 0.0000001, RAW(r.latitude), "deg")),
    Readout("Longitude (deg)", 1078, 7, "",
            Source(129025, "longitude", 0.0000001, RAW(r.longitude), "deg")),
    Readout("Port Trim Tab", 1068, 0, " %",
            Source(130576, "port trim tab", 1, RAW(r.portTrimTab), "%")),
    Readout("Starboard Trim Tab", 1069, 0, " %",
            Source(130576, "starboard trim tab", 1, RAW(r.starboardTrimTab), "%")),
    Status("Rudder Dir. Order", 1038, 3,
           Source(127245, "direction order", 1, RAW(r.rudderDirOrderByte & 0x07), "")),
    Readout("Rudder Angle Order", 1071, 4, " rad",
            Source(127245, "angle order", 0.0001, RAW(r.rudderAngleOrder), "rad")),
    Alternate("Rudder Angle Order", 1072, 1071, RudderAngleCodeText,
              Source(127245, "angle order", 0.0001, RAW(r.rudderAngleOrder), "rad")),
    Readout("Rudder Position", 1070, 4, " rad",
            Source(127245, "position", 0.0001, RAW(r.rudderPosition), "rad")),
    Readout("Water Depth", 1076, 2, " m", Source(128267, "depth", 0.01, RAW(r.waterDepth), "m")),
    Readout("Water Depth Offset", 1075, 3, " m",
            Source(128267, "offset", 0.001, RAW(r.waterDepthOffset), "m")),
    Readout("Max. Depth Range", 1074, 0, " m",
            Source(128267, "range", 10, RAW(r.maxDepthRange), "m")),
    Alternate("Max. Depth Range", 1077, 1074, DepthRangeCodeText,
              Source(128267, "range", 10, RAW(r.maxDepthRange), "m")),
    Status("Trans. Warning", 1034, 8,
           Source(127493, "discrete status 1", 1, RAW(r.transWarning), "")),
    Readout("Transmission Gear", 1064, 0, "",
            Source(127493, "gear", 1, RAW(r.transmissionGearByte & 0x03), "")),
    Readout("Trans. Oil Pressure", 1065, 0, " Pa",
            Source(127493, "oil pressure", 100, RAW(r.transOilPressure), "Pa")),
    Readout("Trans. Oil Temp.", 1066, kDefaultDecimals, " K",
            Source(127493, "oil temperature", 0.1, RAW(r.transOilTemperature), "K")),
    Status("COG Reference", 1083, 2,
           Source(129026, "COG reference", 1, RAW(r.cogReferenceByte & 0x03), "")),
    Readout("Course Over Gound", 1081, 4, " rad",
            Source(129026, "course over ground", 0.0001, RAW(r.courseOverGround), "rad")),
    Readout("Speed Over Ground", 1082, 2, " m/s",
            Source(129026, "speed over ground", 0.01, RAW(r.speedOverGround), "m/s")),
}};

const char* PgnName(long pgn) {
    static const std::pair<long, const char*> kNames[] = {
        {127245, "Rudder"},
        {127488, "Engine Parameters, Rapid Update"},
        {127489, "Engine Parameters, Dynamic"},
        {127493, "Transmission Parameters, Dynamic"},
        {127505, "Fluid Level"},
        {127508, "Battery Status"},
        {128259, "Speed"},
        {128267, "Water Depth"},
        {128275, "Distance Log"},
        {129025, "Position, Rapid Update"},
        {129026, "COG & SOG, Rapid Update"},
        {130316, "Temperature, Extended Range"},
        {130576, "Small Craft Status"},
    };
    for (const auto& [number, name] : kNames)
        if (number == pgn)
            return name;
    return "";
}

const PanelEntry* AlternateOf(const PanelEntry& readout) {
    // Asked for every read-out of every level shown: found once, by position.
    static const std::array<const PanelEntry*, kPanelEntryCount> kAlternates = [] {
        std::array<const PanelEntry*, kPanelEntryCount> alternates{};
        for (const PanelEntry& alternate : kPanelEntries)
            if (alternate.kind == PanelKind::AlternateText)
                for (size_t i = 0; i < kPanelEntries.size(); ++i)
                    if (kPanelEntries[i].controlId == alternate.partner)
                        alternates[i] = &alternate;
        return alternates;
    }();
    const auto index = &readout - kPanelEntries.data();
    return index >= 0 && index < kPanelEntryCount ? kAlternates[static_cast<size_t>(index)]
                                                  : nullptr;
}

const PanelEntry* FindPanelEntry(int controlId) {
    const auto it =
        std::find_if(kPanelEntries.begin(), kPanelEntries.end(),
                     [controlId](const PanelEntry& e) { return e.controlId == controlId; });
    return it == kPanelEntries.end() ? nullptr : &*it;
}

} // namespace panel
