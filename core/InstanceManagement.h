#pragma once
// The device instances of the simulator's eight data sources, as the About
// box lets the operator change them.
#include "core/CommandLine.h"
#include "core/Reports.h"

#include <array>
#include <string_view>

namespace device {

// One data source: its name on the command line, its caption in the About
// box and its value in the device's instance broadcast.
struct InstanceField {
    const char* name;
    const char* caption;
    uint8_t (*fromReport)(const proto::InstanceReport& report);
};

// The eight in the order of the instance line: Engine, Fuel Level, Battery,
// Exhaust Gas Temp., Transmission, W. Water Level, Rudder, B. Water Level.
extern const std::array<InstanceField, 8> kInstanceFields;

// "0".."15" exactly give their number; every other text (empty, "N/A", "16",
// "05", " 3") gives 255, which leaves that instance unchanged on the device.
uint8_t InstanceFromText(std::string_view text);

// The eight instances of a broadcast, in line order.
std::array<uint8_t, 8> InstancesInLineOrder(const proto::InstanceReport& report);

} // namespace device
