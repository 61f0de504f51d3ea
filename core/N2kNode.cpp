#include "core/N2kNode.h"

#include <algorithm>
#include <utility>

namespace n2k {

namespace {

constexpr uint32_t kAddressClaimPgn = 60928;
constexpr uint32_t kRequestPgn = 59904;
constexpr uint32_t kProductInfoPgn = 126996;

// 126996: version and product code, four 32-byte strings, certification
// level and load equivalency.
constexpr uint8_t kProductInfoLength = 134;
constexpr size_t kStringLength = 32;
constexpr size_t kFirstString = 4;
constexpr uint16_t kNmea2000Version = 2100; // x0.001: 2.100
constexpr uint8_t kLoadEquivalency = 1;     // x50 mA
// The certification level stays "not available": the simulator is not certified.

// Not in the public list of manufacturer codes.
constexpr uint16_t kManufacturerCode = 2000;
constexpr uint8_t kIndustryMarine = 4;
constexpr uint8_t kClassPropulsion = 50;
constexpr uint8_t kFunctionEngine = 140;
constexpr uint8_t kFunctionTransmission = 165;

void Put(uint8_t* payload, const char* field, int64_t value) {
    if (const Field* f = FindField(kAddressClaim, field))
        PutField(payload, *f, value);
}

uint64_t NameOf(const uint8_t* payload) {
    uint64_t name = 0;
    for (int i = 7; i >= 0; --i)
        name = name << 8 | payload[i];
    return name;
}

void Append(CFrameEncoder& encoder, const Message& m, std::vector<CanFrame>& out) {
    CFrameEncoder::Frames frames;
    const size_t n = encoder.Encode(m, frames);
    out.insert(out.end(), frames.begin(), frames.begin() + static_cast<long>(n));
}

} // namespace

uint64_t EncodeName(const NameFields& n) {
    uint8_t payload[8];
    std::fill(std::begin(payload), std::end(payload), 0xFF);
    Put(payload, "uniqueNumber", n.uniqueNumber);
    Put(payload, "manufacturerCode", n.manufacturerCode);
    Put(payload, "deviceInstanceLower", n.deviceInstance & 7);
    Put(payload, "deviceInstanceUpper", n.deviceInstance >> 3);
    Put(payload, "deviceFunction", n.deviceFunction);
    Put(payload, "deviceClass", n.deviceClass);
    Put(payload, "systemInstance", n.systemInstance);
    Put(payload, "industryGroup", n.industryGroup);
    Put(payload, "arbitraryAddressCapable", n.arbitraryAddressCapable ? 1 : 0);
    return NameOf(payload);
}

NameFields DeviceName(Node node, uint32_t serialNumber) {
    NameFields n;
    n.uniqueNumber = serialNumber & 0x1FFFFF;
    n.manufacturerCode = kManufacturerCode;
    n.deviceFunction = node == Node::Engine ? kFunctionEngine : kFunctionTransmission;
    n.deviceClass = kClassPropulsion;
    n.industryGroup = kIndustryMarine;
    n.arbitraryAddressCapable = true;
    return n;
}

Message ProductInfoMessage(const ProductInfo& info, uint8_t source) {
    Message m;
    m.pgn = kProductInfoPgn;
    m.priority = 6;
    m.source = source;
    m.length = kProductInfoLength;
    m.data.fill(0xFF);
    m.data[0] = kNmea2000Version & 0xFF;
    m.data[1] = kNmea2000Version >> 8;
    m.data[2] = info.productCode & 0xFF;
    m.data[3] = static_cast<uint8_t>(info.productCode >> 8);
    const std::string* strings[] = {&info.modelId, &info.softwareVersion, &info.modelVersion,
                                    &info.serialCode};
    for (size_t i = 0; i < std::size(strings); ++i)
        std::copy_n(strings[i]->begin(), std::min(strings[i]->size(), kStringLength),
                    m.data.begin() + static_cast<long>(kFirstString + i * kStringLength));
    m.data[kProductInfoLength - 1] = kLoadEquivalency;
    return m;
}

CNode::CNode(const NameFields& name, uint8_t preferredAddress, ProductInfo product)
    : m_name(EncodeName(name)), m_arbitraryAddressCapable(name.arbitraryAddressCapable),
      m_product(std::move(product)), m_address(std::min(preferredAddress, kHighestAddress)) {}

void CNode::SendClaim(uint8_t destination, std::vector<CanFrame>& out) {
    CanFrame f;
    const uint8_t source = m_state == ClaimState::CannotClaim ? kNullAddress : m_address;
    f.id = MakeId(kAddressClaim.priority, kAddressClaimPgn, source, destination);
    f.length = 8;
    for (size_t i = 0; i < 8; ++i)
        f.data[i] = static_cast<uint8_t>(m_name >> (8 * i));
    out.push_back(f);
}

void CNode::Claim(uint64_t nowMs, std::vector<CanFrame>& out) {
    if (m_state == ClaimState::CannotClaim) {
        SendClaim(kGlobal, out);
        return;
    }
    m_state = ClaimState::Claiming;
    m_claimedAt = nowMs;
    SendClaim(kGlobal, out);
}

void CNode::Advance(uint64_t nowMs) {
    if (m_state == ClaimState::Claiming && nowMs - m_claimedAt >= kContentionMs)
        m_state = ClaimState::Claimed;
}

void CNode::Receive(const CanFrame& frame, uint64_t nowMs, std::vector<CanFrame>& out) {
    if (frame.id > 0x1FFFFFFF)
        return;
    const IdParts id = SplitId(frame.id);
    if (id.pgn == kAddressClaimPgn && frame.length == 8) {
        OnClaim(id.source, NameOf(frame.data.data()), nowMs, out);
    } else if (id.pgn == kRequestPgn && frame.length >= kIsoRequest.length) {
        const auto pgn = static_cast<uint32_t>(GetField(frame.data.data(), kIsoRequest.fields[0]));
        OnRequest(pgn, id.source, id.destination, out);
    }
}

void CNode::OnClaim(uint8_t address, uint64_t otherName, uint64_t nowMs,
                    std::vector<CanFrame>& out) {
    if (address >= kNullAddress || otherName == m_name)
        return;
    if (address != m_address || m_state == ClaimState::CannotClaim) {
        m_taken.set(address);
        return;
    }
    if (m_name < otherName) {
        // Ours by the lower NAME: say so, and the other node moves.
        SendClaim(kGlobal, out);
        return;
    }
    m_taken.set(address);
    if (m_arbitraryAddressCapable && MoveToFreeAddress()) {
        Claim(nowMs, out);
        return;
    }
    m_state = ClaimState::CannotClaim;
    SendClaim(kGlobal, out);
}

// The next address nobody holds, counting up from the lost one and round.
bool CNode::MoveToFreeAddress() {
    for (int step = 1; step <= kHighestAddress + 1; ++step) {
        const auto candidate = static_cast<uint8_t>((m_address + step) % (kHighestAddress + 1));
        if (!m_taken.test(candidate)) {
            m_address = candidate;
            return true;
        }
    }
    return false;
}

void CNode::OnRequest(uint32_t pgn, uint8_t requester, uint8_t destination,
                      std::vector<CanFrame>& out) {
    const bool toUs = destination == m_address && m_state != ClaimState::CannotClaim;
    if (!toUs && destination != kGlobal)
        return;
    // An answer to a request of our own address goes back to the requester;
    // a global request, or one from a node without an address, to everyone.
    const uint8_t answerTo = toUs && requester < kNullAddress ? requester : kGlobal;
    if (pgn == kAddressClaimPgn) {
        SendClaim(m_state == ClaimState::CannotClaim ? kGlobal : answerTo, out);
    } else if (pgn == kProductInfoPgn && MayTransmit()) {
        // 126996 is broadcast by its format: it carries no destination.
        Append(m_encoder, ProductInfoMessage(m_product, m_address), out);
    }
}

} // namespace n2k
