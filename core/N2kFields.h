#pragma once
// The NMEA 2000 parameter groups the device transmits: each field's place in
// its payload and where its value comes from. The encoder and the decoder
// both read this table, so a field's offset, width and signedness stand here
// only.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace n2k {

// The device stands on the bus as two nodes.
enum class Node : uint8_t { Engine, Transmission };

// Where a field's value comes from.
enum class Origin : uint8_t {
    Panel,        // the raw value of the panel entry whose control id is `arg`
    Instance,     // the device instance at index `arg` of device::kInstanceFields
    Sid,          // the group's sequence identifier
    Constant,     // the value `arg`; the decoder also recognises our messages by it
    NotAvailable, // a value the panel has no number for
    Reserved,     // all ones
    Given,        // network management: the sender fills it in
};

struct Field {
    const char* name;
    uint16_t offset; // bits from the start of the payload
    uint8_t width;   // bits, 1..63
    bool isSigned;
    Origin origin;
    int32_t arg;
};

struct Group {
    uint32_t pgn;
    uint8_t priority;
    uint16_t intervalMs; // 0: sent when asked for
    Node node;           // the node that sends it
    uint8_t length;      // payload bytes
    std::span<const Field> fields;
};

inline constexpr size_t kMaxFields = 14;

// The thirteen parameter groups the panel names, Fluid Level once per tank:
// fifteen messages in all.
inline constexpr size_t kGroupCount = 15;
extern const std::array<Group, kGroupCount> kGroups;

// Network management.
extern const Group kAddressClaim; // 60928, the NAME
extern const Group kIsoRequest;   // 59904

// A field's "not available": all ones of its width, or the largest positive
// value of a signed field.
int64_t NotAvailable(const Field& field);

// Writes the low `width` bits of `value` at the field's place, least
// significant bit first, as the bus orders them.
void PutField(uint8_t* payload, const Field& field, int64_t value);
// Reads a field back; a signed field is sign-extended.
int64_t GetField(const uint8_t* payload, const Field& field);

// The field called `name` in a group, or nullptr.
const Field* FindField(const Group& group, const char* name);

} // namespace n2k
