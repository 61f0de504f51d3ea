#pragma once
// NMEA 2000 messages on CAN: 29-bit identifiers, single frames and fast
// packets, and the receiving side that puts fast packets back together.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace n2k {

inline constexpr uint8_t kGlobal = 255;      // destination: every node
inline constexpr uint8_t kNullAddress = 254; // source of a node without an address
inline constexpr size_t kMaxPayload = 223;   // a fast packet's limit
inline constexpr size_t kMaxFrames = 32;     // frames of the longest fast packet

// An extended (29-bit) CAN data frame.
struct CanFrame {
    uint32_t id = 0;
    uint8_t length = 0;
    std::array<uint8_t, 8> data{};
};

struct Message {
    uint32_t pgn = 0;
    uint8_t priority = 0;
    uint8_t source = 0;
    uint8_t destination = kGlobal;
    uint8_t length = 0;
    std::array<uint8_t, kMaxPayload> data{};
};

// Priority, PGN, destination and source in a CAN identifier. A PGN whose PDU
// format is below 240 is addressed (PDU1): its low byte carries the
// destination. From 240 on (PDU2) it is broadcast and `destination` is not
// sent.
uint32_t MakeId(uint8_t priority, uint32_t pgn, uint8_t source, uint8_t destination);

struct IdParts {
    uint8_t priority;
    uint32_t pgn;
    uint8_t source;
    uint8_t destination; // kGlobal for a broadcast (PDU2) group
};
IdParts SplitId(uint32_t id);

// The groups we send or read as fast packets.
bool IsFastPacket(uint32_t pgn);

// Frames for messages. Keeps each PGN's sequence counter, so consecutive
// fast packets of one group can be told apart on the receiving side.
class CFrameEncoder {
public:
    using Frames = std::array<CanFrame, kMaxFrames>;
    // Fills `out` and returns the number of frames; 0 for a message longer
    // than a fast packet carries.
    size_t Encode(const Message& message, Frames& out);

private:
    uint8_t NextSequence(uint32_t pgn);

    std::array<uint32_t, 8> m_pgns{};
    std::array<uint8_t, 8> m_sequences{};
};

// Puts received frames back into messages. Fixed buffers, nothing allocated
// per frame; frames of other senders and groups may interleave, the frames
// of a fast packet may come in any order. A frame that does not fit the
// message it belongs to drops that message: what comes out was received
// whole.
class CReassembler {
public:
    // The message this frame completes, if any.
    std::optional<Message> Push(const CanFrame& frame);

private:
    struct Slot {
        bool used = false;
        uint32_t pgn = 0;
        uint8_t source = 0;
        uint8_t sequence = 0;
        uint8_t total = 0; // payload bytes, from frame 0; 0 until it came
        uint32_t received = 0;
        uint64_t lastUse = 0;
        Message message;
    };

    Slot& SlotFor(uint32_t pgn, uint8_t source, uint8_t sequence);

    std::array<Slot, 8> m_slots{};
    uint64_t m_clock = 0;
};

} // namespace n2k
