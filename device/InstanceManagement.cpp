#include "InstanceManagement.h"

namespace device {

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

proto::CommandLine DeviceInstanceLine(const std::array<std::string_view, 8>& texts) {
    std::array<uint8_t, 8> values{};
    for (size_t i = 0; i < texts.size(); ++i)
        values[i] = InstanceFromText(texts[i]);
    return proto::BuildDeviceInstanceLine(values);
}

} // namespace device
