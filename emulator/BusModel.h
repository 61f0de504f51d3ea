#pragma once
// The device's two nodes on the NMEA 2000 bus, on a clock the caller passes,
// and what the serial side and the bus side tell each other. Plain C++: the
// bus side's thread drives it, the tests drive it on a clock of their own.
#include "core/N2kMessages.h"
#include "core/N2kNode.h"
#include "core/Reports.h"
#include "emulator/EmulatedDevice.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace emulator {

// Crosses between the serial side's loop and the bus side's thread. The
// serial side writes the device state after every command line and reads
// the claims for each claim broadcast; both only copy a few bytes under the
// lock, so neither side's timing depends on the other.
class CBusExchange {
public:
    void SetState(const n2k::DeviceState& state);
    n2k::DeviceState State() const;
    void SetClaims(const proto::AddressClaim& claims);
    proto::AddressClaim Claims() const;

    // Neither node holds an address: before the bus side has claimed, and
    // once it is off.
    static constexpr proto::AddressClaim kNothingClaimed{0, CEmulatedDevice::kEngineAddress,
                                                         CEmulatedDevice::kTransmissionAddress};

private:
    mutable std::mutex m_mutex;
    n2k::DeviceState m_state;
    proto::AddressClaim m_claims = kNothingClaimed;
};

class CBusModel {
public:
    explicit CBusModel(const DeviceSettings& settings);

    // Both nodes claim their addresses.
    void Start(uint64_t nowMs, std::vector<n2k::CanFrame>& out);
    // The messages due at `nowMs` from the nodes that hold their address;
    // the state's addresses are the nodes' own.
    void Tick(uint64_t nowMs, n2k::DeviceState state, std::vector<n2k::CanFrame>& out);
    // A frame of another node; the answers go to `out`.
    void Receive(const n2k::CanFrame& frame, uint64_t nowMs, std::vector<n2k::CanFrame>& out);
    // As the serial side's claim broadcast reports them.
    proto::AddressClaim Claims() const;

private:
    void FromNode(size_t node, const std::vector<n2k::CanFrame>& frames, uint64_t nowMs,
                  std::vector<n2k::CanFrame>& out);

    std::array<n2k::CNode, 2> m_nodes; // engine, transmission
    n2k::CMessageCycle m_cycle;
    n2k::CFrameEncoder m_encoder;
    uint32_t m_corruptPgn;
};

} // namespace emulator
