#include "core/InstanceManagement.h"

namespace device {

const std::array<InstanceField, 8> kInstanceFields{{
    {"engine", "Engine", [](const proto::InstanceReport& r) { return r.engine; }},
    // The fuel level pair carries the tank type in its high nibble.
    {"fuel", "Fuel Level",
     [](const proto::InstanceReport& r) { return static_cast<uint8_t>(r.fuelLevel & 0x0F); }},
    {"battery", "Battery", [](const proto::InstanceReport& r) { return r.battery; }},
    {"exhaust", "Exhaust Gas Temp.",
     [](const proto::InstanceReport& r) { return r.exhaustGasTemp; }},
    {"transmission", "Transmission", [](const proto::InstanceReport& r) { return r.transmission; }},
    {"wwater", "W. Water Level", [](const proto::InstanceReport& r) { return r.wasteWater; }},
    {"rudder", "Rudder", [](const proto::InstanceReport& r) { return r.rudder; }},
    {"bwater", "B. Water Level", [](const proto::InstanceReport& r) { return r.blackWater; }},
}};

uint8_t InstanceFromText(std::string_view text) {
    if (text.empty() || text.size() > 2)
        return 255;
    if (text.size() == 1)
        return text[0] >= '0' && text[0] <= '9' ? static_cast<uint8_t>(text[0] - '0') : 255;
    // Two digits: "10".."15" only.
    if (text[0] == '1' && text[1] >= '0' && text[1] <= '5')
        return static_cast<uint8_t>(10 + text[1] - '0');
    return 255;
}

std::array<uint8_t, 8> InstancesInLineOrder(const proto::InstanceReport& report) {
    std::array<uint8_t, 8> values{};
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = kInstanceFields[i].fromReport(report);
    return values;
}

std::array<uint8_t, 8> NewInstanceLine(const proto::InstanceReport& current,
                                       const GivenInstances& given) {
    const std::array<uint8_t, 8> now = InstancesInLineOrder(current);
    std::array<uint8_t, 8> line{};
    for (size_t i = 0; i < line.size(); ++i)
        line[i] = given[i].value_or(now[i] <= 15 ? now[i] : 255);
    return line;
}

bool InstancesTaken(const proto::InstanceReport& report, const GivenInstances& given,
                    const std::array<uint8_t, 8>& line) {
    const std::array<uint8_t, 8> now = InstancesInLineOrder(report);
    for (size_t i = 0; i < now.size(); ++i)
        if (given[i] && line[i] != 255 && now[i] != line[i])
            return false;
    return true;
}

} // namespace device
