#include "core/N2kFrames.h"

#include "core/N2kFields.h"

#include <algorithm>

namespace n2k {

namespace {

constexpr uint32_t kFirstPdu2 = 240;
constexpr uint32_t kProductInformation = 126996;
constexpr size_t kFirstFrameBytes = 6; // after the counter and the byte count
constexpr size_t kLaterFrameBytes = 7; // after the counter

size_t FrameCount(size_t total) {
    return total <= kFirstFrameBytes
               ? 1
               : 1 + (total - kFirstFrameBytes + kLaterFrameBytes - 1) / kLaterFrameBytes;
}

// Where frame `index` of a fast packet puts its bytes in the payload.
size_t FrameOffset(size_t index) {
    return index == 0 ? 0 : kFirstFrameBytes + (index - 1) * kLaterFrameBytes;
}

} // namespace

uint32_t MakeId(uint8_t priority, uint32_t pgn, uint8_t source, uint8_t destination) {
    const uint32_t pf = (pgn >> 8) & 0xFF;
    const uint32_t ps = pf < kFirstPdu2 ? destination : pgn & 0xFF;
    return (priority & 7u) << 26 | (pgn & 0x30000) << 8 | pf << 16 | ps << 8 | source;
}

IdParts SplitId(uint32_t id) {
    const uint32_t page = (id >> 24) & 3;
    const uint32_t pf = (id >> 16) & 0xFF;
    const uint32_t ps = (id >> 8) & 0xFF;
    const auto source = static_cast<uint8_t>(id & 0xFF);
    const auto priority = static_cast<uint8_t>((id >> 26) & 7);
    if (pf < kFirstPdu2)
        return {priority, page << 16 | pf << 8, source, static_cast<uint8_t>(ps)};
    return {priority, page << 16 | pf << 8 | ps, source, kGlobal};
}

bool IsFastPacket(uint32_t pgn) {
    if (pgn == kProductInformation)
        return true;
    return std::any_of(kGroups.begin(), kGroups.end(),
                       [pgn](const Group& g) { return g.pgn == pgn && g.length > 8; });
}

uint8_t CFrameEncoder::NextSequence(uint32_t pgn) {
    for (size_t i = 0; i < m_pgns.size(); ++i) {
        if (m_pgns[i] == 0)
            m_pgns[i] = pgn;
        if (m_pgns[i] == pgn)
            return m_sequences[i]++ & 7;
    }
    return 0; // more fast-packet groups than we send: their counters stay 0
}

size_t CFrameEncoder::Encode(const Message& m, Frames& out) {
    const uint32_t id = MakeId(m.priority, m.pgn, m.source, m.destination);
    if (!IsFastPacket(m.pgn)) {
        out[0] = {id, static_cast<uint8_t>(std::min<size_t>(m.length, 8)), {}};
        std::copy_n(m.data.begin(), out[0].length, out[0].data.begin());
        return 1;
    }
    if (m.length > kMaxPayload)
        return 0;
    const uint8_t sequence = NextSequence(m.pgn);
    const size_t count = FrameCount(m.length);
    for (size_t i = 0; i < count; ++i) {
        CanFrame& f = out[i];
        f = {id, 8, {}};
        f.data.fill(0xFF);
        f.data[0] = static_cast<uint8_t>(sequence << 5 | i);
        const size_t at = i == 0 ? 2 : 1;
        if (i == 0)
            f.data[1] = m.length;
        const size_t offset = FrameOffset(i);
        const size_t n = std::min<size_t>(8 - at, m.length - offset);
        std::copy_n(m.data.begin() + static_cast<long>(offset), n,
                    f.data.begin() + static_cast<long>(at));
    }
    return count;
}

CReassembler::Slot& CReassembler::SlotFor(uint32_t pgn, uint8_t source, uint8_t sequence) {
    Slot* chosen = nullptr;
    for (Slot& s : m_slots)
        if (s.used && s.pgn == pgn && s.source == source) {
            chosen = &s;
            break;
        }
    if (!chosen) {
        // A free slot, or else the one left alone longest.
        chosen =
            &*std::min_element(m_slots.begin(), m_slots.end(), [](const Slot& a, const Slot& b) {
                return a.used != b.used ? !a.used : a.lastUse < b.lastUse;
            });
        chosen->used = false;
    }
    if (!chosen->used || chosen->sequence != sequence) {
        // A new message, or the sender moved on before finishing the last.
        *chosen = Slot{};
        chosen->used = true;
        chosen->pgn = pgn;
        chosen->source = source;
        chosen->sequence = sequence;
    }
    chosen->lastUse = ++m_clock;
    return *chosen;
}

std::optional<Message> CReassembler::Push(const CanFrame& frame) {
    if (frame.id > 0x1FFFFFFF || frame.length > 8)
        return std::nullopt;
    const IdParts id = SplitId(frame.id);
    if (!IsFastPacket(id.pgn)) {
        Message m;
        m.pgn = id.pgn;
        m.priority = id.priority;
        m.source = id.source;
        m.destination = id.destination;
        m.length = frame.length;
        std::copy_n(frame.data.begin(), frame.length, m.data.begin());
        return m;
    }
    if (frame.length < 1)
        return std::nullopt;
    const auto sequence = static_cast<uint8_t>(frame.data[0] >> 5);
    const size_t index = frame.data[0] & 0x1F;
    Slot& slot = SlotFor(id.pgn, id.source, sequence);
    const auto drop = [&slot] {
        slot = Slot{};
        return std::nullopt;
    };

    size_t at = 1;
    if (index == 0) {
        if (frame.length < 2 || frame.data[1] == 0 || frame.data[1] > kMaxPayload)
            return drop();
        if (slot.total != 0 && slot.total != frame.data[1])
            return drop(); // a byte count that contradicts the first one
        slot.total = frame.data[1];
        at = 2;
    }
    const size_t offset = FrameOffset(index);
    // Until frame 0 tells the length, a frame is taken as carrying a full
    // load; the check below drops what lies beyond the real end.
    const size_t end = slot.total != 0 ? slot.total : kMaxPayload;
    if (offset >= end)
        return drop();
    const size_t n = std::min(static_cast<size_t>(8 - at), end - offset);
    if (frame.length < at + n)
        return drop();
    std::copy_n(frame.data.begin() + static_cast<long>(at), n,
                slot.message.data.begin() + static_cast<long>(offset));
    slot.received |= uint32_t{1} << index;
    if (slot.total == 0)
        return std::nullopt;

    const size_t count = FrameCount(slot.total);
    const uint32_t all = count == 32 ? ~uint32_t{0} : (uint32_t{1} << count) - 1;
    if ((slot.received & ~all) != 0)
        return drop(); // frames beyond the message's end: not one message
    if (slot.received != all)
        return std::nullopt;
    Message m = slot.message;
    m.pgn = id.pgn;
    m.priority = id.priority;
    m.source = id.source;
    m.destination = id.destination;
    m.length = slot.total;
    std::fill(m.data.begin() + m.length, m.data.end(), 0xFF);
    slot = Slot{};
    return m;
}

} // namespace n2k
