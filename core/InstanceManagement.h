#pragma once
// The device instances of the simulator's eight data sources, as the About
// box lets the operator change them.
#include "core/CommandLine.h"
#include "core/Reports.h"

#include <array>
#include <optional>
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

// Instances to change, in line order; none: keep what the device reports.
using GivenInstances = std::array<std::optional<uint8_t>, 8>;

// The line the About box's Confirm would send: each given instance, each
// other one as the device reports it now, where a value above 15 goes out
// as 255 and so stays as it is.
std::array<uint8_t, 8> NewInstanceLine(const proto::InstanceReport& current,
                                       const GivenInstances& given);

// Whether a report shows every given instance of `line` taken (255 asks for
// no change, so there is nothing to see).
bool InstancesTaken(const proto::InstanceReport& report, const GivenInstances& given,
                    const std::array<uint8_t, 8>& line);

} // namespace device
