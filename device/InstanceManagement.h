#pragma once
// The device instances of the simulator's eight data sources, as the About
// box lets the operator change them.
#include "CommandLine.h"

#include <array>
#include <string_view>

namespace device {

// "0".."15" exactly give their number; every other text (empty, "N/A", "16",
// "05", " 3") gives 255, which leaves that instance unchanged on the device.
uint8_t InstanceFromText(std::string_view text);

// The 25-byte "AT DI" line for eight instance texts in line order: Engine,
// Fuel Level, Battery, Exhaust Gas Temp., Transmission, W. Water Level,
// Rudder, B. Water Level.
proto::CommandLine DeviceInstanceLine(const std::array<std::string_view, 8>& texts);

} // namespace device
