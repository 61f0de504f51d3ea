#include "emulator/BusModel.h"

#include <algorithm>

namespace emulator {

namespace {

constexpr size_t kEngine = 0;
constexpr size_t kTransmission = 1;

n2k::CNode MakeNode(n2k::Node node, const DeviceSettings& settings) {
    n2k::ProductInfo product;
    product.productCode = settings.productCode;
    product.modelId = proto::ProductName(settings.productCode);
    // The serial side's identification report numbers versions from 0 for 1.
    product.softwareVersion =
        proto::FirmwareVersionText(static_cast<uint16_t>(settings.firmwareByte + 1));
    product.modelVersion = node == n2k::Node::Engine ? "Engine" : "Transmission";
    product.serialCode = proto::FormatDecimal(settings.serialNumber);
    return n2k::CNode(n2k::DeviceName(node, settings.serialNumber),
                      node == n2k::Node::Engine ? CEmulatedDevice::kEngineAddress
                                                : CEmulatedDevice::kTransmissionAddress,
                      std::move(product));
}

size_t NodeOf(uint32_t pgn) {
    const auto group = std::find_if(n2k::kGroups.begin(), n2k::kGroups.end(),
                                    [pgn](const n2k::Group& g) { return g.pgn == pgn; });
    return group != n2k::kGroups.end() && group->node == n2k::Node::Transmission ? kTransmission
                                                                                 : kEngine;
}

} // namespace

void CBusExchange::SetState(const n2k::DeviceState& state) {
    const std::lock_guard lock(m_mutex);
    m_state = state;
}

n2k::DeviceState CBusExchange::State() const {
    const std::lock_guard lock(m_mutex);
    return m_state;
}

void CBusExchange::SetClaims(const proto::AddressClaim& claims) {
    const std::lock_guard lock(m_mutex);
    m_claims = claims;
}

proto::AddressClaim CBusExchange::Claims() const {
    const std::lock_guard lock(m_mutex);
    return m_claims;
}

CBusModel::CBusModel(const DeviceSettings& settings)
    : m_nodes{MakeNode(n2k::Node::Engine, settings), MakeNode(n2k::Node::Transmission, settings)},
      m_corruptPgn(settings.corruptPgn) {}

void CBusModel::Start(uint64_t nowMs, std::vector<n2k::CanFrame>& out) {
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        std::vector<n2k::CanFrame> claim;
        m_nodes[i].Claim(nowMs, claim);
        FromNode(i, claim, nowMs, out);
    }
}

void CBusModel::Tick(uint64_t nowMs, n2k::DeviceState state, std::vector<n2k::CanFrame>& out) {
    for (n2k::CNode& node : m_nodes)
        node.Advance(nowMs);
    const std::array<bool, 2> may{m_nodes[kEngine].MayTransmit(),
                                  m_nodes[kTransmission].MayTransmit()};
    // The schedule's first round waits for a node that may send it.
    if (!may[kEngine] && !may[kTransmission])
        return;
    state.engineAddress = m_nodes[kEngine].Address();
    state.transmissionAddress = m_nodes[kTransmission].Address();
    n2k::CFrameEncoder::Frames frames;
    for (n2k::Message& m : m_cycle.Due(nowMs, state)) {
        if (!may[NodeOf(m.pgn)])
            continue;
        if (m.pgn == m_corruptPgn)
            m.data[1] = static_cast<uint8_t>(~m.data[1]);
        const size_t n = m_encoder.Encode(m, frames);
        out.insert(out.end(), frames.begin(), frames.begin() + static_cast<long>(n));
    }
}

void CBusModel::Receive(const n2k::CanFrame& frame, uint64_t nowMs,
                        std::vector<n2k::CanFrame>& out) {
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        std::vector<n2k::CanFrame> answers;
        m_nodes[i].Receive(frame, nowMs, answers);
        FromNode(i, answers, nowMs, out);
    }
}

// A bus does not hand a sender its own frames back, so each node's network
// management goes to its sibling here: the engine node that loses its
// address must know the transmission node's, and the other way round.
void CBusModel::FromNode(size_t node, const std::vector<n2k::CanFrame>& frames, uint64_t nowMs,
                         std::vector<n2k::CanFrame>& out) {
    for (const n2k::CanFrame& frame : frames) {
        out.push_back(frame);
        std::vector<n2k::CanFrame> answers;
        m_nodes[1 - node].Receive(frame, nowMs, answers);
        FromNode(1 - node, answers, nowMs, out);
    }
}

proto::AddressClaim CBusModel::Claims() const {
    proto::AddressClaim claims{0, m_nodes[kEngine].Address(), m_nodes[kTransmission].Address()};
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        const n2k::ClaimState state = m_nodes[i].State();
        if (state == n2k::ClaimState::Claimed)
            claims.claimFlags |= proto::ClaimedFlag(static_cast<unsigned>(i));
        else if (state == n2k::ClaimState::CannotClaim)
            claims.claimFlags |= proto::CannotClaimFlag(static_cast<unsigned>(i));
    }
    return claims;
}

} // namespace emulator
