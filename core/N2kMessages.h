#pragma once
// The messages the device puts on the bus for its state, and the way back:
// a received message's raw field values, to compare with the model.
#include "core/N2kFields.h"
#include "core/N2kFrames.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace panel {
struct RawValues;
}

namespace n2k {

struct DeviceState {
    uint8_t level = 0;                  // 0..100
    uint8_t modeFlags = 0;              // proto::kMode*; only Warnings changes the messages
    std::array<uint8_t, 8> instances{}; // in the order of device::kInstanceFields
    uint8_t engineAddress = 0;
    uint8_t transmissionAddress = 0;
};

// The raw values of a state, as the panel computes them.
panel::RawValues RawValuesOf(const DeviceState& state);

// One message of a group. Every field the panel shows takes the panel's raw
// value; reserved bits and unused bytes are ones.
Message BuildMessage(const Group& group, const DeviceState& state, const panel::RawValues& raw,
                     uint8_t sid);

// The device's transmit schedule: which groups are due when, each group's
// sequence identifier counting up by one with each of its messages (0..252,
// then 0 again).
class CMessageCycle {
public:
    // The messages due at `nowMs`: all of them at the first call, then each
    // group once its interval has passed.
    std::vector<Message> Due(uint64_t nowMs, const DeviceState& state);

private:
    bool m_started = false;
    std::array<uint64_t, kGroupCount> m_nextDue{};
    std::array<uint8_t, kGroupCount> m_sids{};
};

// A received message's raw field values, in the order of its group's fields.
struct Decoded {
    const Group* group = nullptr;
    std::array<int64_t, kMaxFields> values{};

    // The value of the field the panel entry `controlId` stands for.
    std::optional<int64_t> PanelValue(int controlId) const;
    std::optional<int64_t> Value(const char* field) const;
};

// Decodes a message of one of our groups; nothing for other groups, for a
// payload shorter than the group's, or a Fluid Level or Temperature message
// whose tank type or source is not one we send.
std::optional<Decoded> Decode(const Message& message);

} // namespace n2k
