#pragma once
// The parameter model: every simulated NMEA 2000 field is a fixed function of
// the device's level (0..100) and the Warnings mode. Two steps: the raw field
// values, then their scaling into what the panel shows.
#include "core/PanelFields.h"

#include <array>
#include <cstdint>
#include <string>

namespace panel {

// Raw field values, each in its field's own type.
struct RawValues {
    uint16_t engineSpeed;            // 1035, x0.25 rpm
    uint16_t boostPressure;          // 1049, x100 Pa
    int8_t tiltTrim;                 // 1048, %
    uint16_t oilPressure;            // 1037, x100 Pa
    uint16_t oilTemperature;         // 1046, x0.1 K
    uint16_t engineTemperature;      // 1039, x0.01 K
    int16_t alternatorPotential;     // 1040, x0.01 V
    int16_t fuelRate;                // 1041, x0.0001 m3/h
    uint32_t totalEngineHours;       // 1042, s
    uint16_t coolantPressure;        // 1047, x100 Pa
    uint16_t fuelPressure;           // 1043, kPa
    uint16_t discreteStatus1;        // 1033, low 16 bits of the warnings word
    uint16_t discreteStatus2;        // 1036, high 16 bits of the warnings word
    int8_t engineLoad;               // 1045, %
    int8_t engineTorque;             // 1050, %
    uint8_t transmissionGearByte;    // 1064, gear = low 2 bits
    uint16_t transOilPressure;       // 1065, x100 Pa
    uint16_t transOilTemperature;    // 1066, x0.1 K
    uint8_t transWarning;            // 1034, transmission warning byte
    int16_t fuelLevel;               // 1055, x0.004 %
    uint32_t fuelCapacity;           // 1056, x0.0001 m3
    int16_t wasteWaterLevel;         // 1067, x0.004 %
    uint32_t wasteWaterCapacity;     // 1080, x0.0001 m3
    int16_t blackWaterLevel;         // 1063, x0.004 %
    uint32_t blackWaterCapacity;     // 1079, x0.0001 m3
    int16_t batteryVoltage;          // 1053, x0.01 V
    int16_t batteryCurrent;          // 1057, x0.1 A
    uint16_t batteryCaseTemperature; // 1062, x0.01 K
    uint32_t exhaustGasTemperature;  // 1054, unsigned 24-bit, x0.001 K
    uint16_t speedWaterRef;          // 1051, x0.01 m/s
    uint8_t speedRefType;            // 1044
    uint8_t speedDirectionByte;      // 1052, direction = low 4 bits
    uint16_t measurementDate;        // 1061, days
    uint32_t measurementTime;        // 1060, x0.0001 s
    uint32_t totalDistance;          // 1059, m
    uint32_t tripDistance;           // 1058, m
    uint8_t rudderDirOrderByte;      // 1038, order = low 3 bits
    int16_t rudderAngleOrder;        // 1071 / 1072, x0.0001 rad (0x7FFF below level 3)
    int16_t rudderPosition;          // 1070, x0.0001 rad
    int8_t portTrimTab;              // 1068, %
    int8_t starboardTrimTab;         // 1069, %
    uint32_t waterDepth;             // 1076, x0.01 m
    int16_t waterDepthOffset;        // 1075, x0.001 m
    uint8_t maxDepthRange;           // 1074 / 1077, x10 m (0xFF, 0xFE, 0xFD below level 3)
    uint8_t cogReferenceByte;        // 1083, reference = low 2 bits
    uint16_t courseOverGround;       // 1081, x0.0001 rad
    uint16_t speedOverGround;        // 1082, x0.01 m/s
    int32_t latitude;                // 1073, x1e-7 deg
    int32_t longitude;               // 1078, x1e-7 deg
};

// Levels above 100 are taken as 100.
RawValues ComputeRawValues(uint8_t level, bool warnings);

struct ReadoutSetting {
    int controlId;
    double value;          // raw x resolution
    const char* alternate; // the text shown instead of the number, or nullptr
};

// Everything the panel shows for one level.
struct PanelValues {
    std::array<ReadoutSetting, kReadoutCount> readouts;    // in panel order
    std::array<std::string, kStatusTextCount> statusTexts; // in panel order, "0B" + bits
};

PanelValues ScaleRawValues(const RawValues& raw);

// Below level 3 the depth range and rudder angle fields carry a code, not a
// number: their read-outs are hidden, keep their old value, and the
// alternate text box lying on each shows what the code means.
const char* DepthRangeCodeText(int64_t raw);  // "Data not available", "Error", "> 2520 meters"
const char* RudderAngleCodeText(int64_t raw); // "0x7FFF"
// The text a read-out's alternate box shows at these raw values, or nullptr
// when the read-out shows its number.
const char* AlternateText(const PanelEntry& readout, const RawValues& raw);

// "0B" and `width` characters, most significant bit first.
std::string BitString(uint32_t value, int width);

} // namespace panel
