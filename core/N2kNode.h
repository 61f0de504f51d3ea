#pragma once
// One node's network management, as a state machine with nothing of its own
// to wait on: the caller passes the time, the frames received, and sends the
// frames it gets back. ISO address claim (60928), ISO request (59904) for the
// claim and for product information (126996), and address contention as ISO
// 11783-5 resolves it.
#include "core/N2kFields.h"
#include "core/N2kFrames.h"

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

namespace n2k {

struct NameFields {
    uint32_t uniqueNumber = 0;     // 21 bits
    uint16_t manufacturerCode = 0; // 11 bits
    uint8_t deviceInstance = 0;    // lower 3 bits, upper 5 bits
    uint8_t deviceFunction = 0;
    uint8_t deviceClass = 0;    // 7 bits
    uint8_t systemInstance = 0; // 4 bits
    uint8_t industryGroup = 0;  // 3 bits
    bool arbitraryAddressCapable = false;
};

uint64_t EncodeName(const NameFields& fields);

// The NAME each of the device's nodes claims with; docs/nmea2000.md lists it.
NameFields DeviceName(Node node, uint32_t serialNumber);

// What 126996 tells, as the device's serial side reports it.
struct ProductInfo {
    uint16_t productCode = 0;
    std::string modelId;         // the product's name
    std::string softwareVersion; // the firmware version text
    std::string modelVersion;
    std::string serialCode; // the serial number in decimal
};

// The product information payload: strings cut to 32 bytes and padded with
// ones.
Message ProductInfoMessage(const ProductInfo& info, uint8_t source);

enum class ClaimState {
    Claiming,    // claimed, waiting out the contention time; sends nothing else
    Claimed,     // the address is ours
    CannotClaim, // no address: silent but for "cannot claim"
};

class CNode {
public:
    static constexpr uint64_t kContentionMs = 250;
    static constexpr uint8_t kHighestAddress = 251; // addresses a node may claim: 0..251

    CNode(const NameFields& name, uint8_t preferredAddress, ProductInfo product);

    // Claims the address (again): at start, or when the owner asks.
    void Claim(uint64_t nowMs, std::vector<CanFrame>& out);
    // Lets time pass: a claim nobody contested is ours after kContentionMs.
    void Advance(uint64_t nowMs);
    // A received frame; answers go to `out`.
    void Receive(const CanFrame& frame, uint64_t nowMs, std::vector<CanFrame>& out);

    uint64_t Name() const { return m_name; }
    // kNullAddress once the node cannot claim one.
    uint8_t Address() const {
        return m_state == ClaimState::CannotClaim ? kNullAddress : m_address;
    }
    ClaimState State() const { return m_state; }
    // The node may send its own messages.
    bool MayTransmit() const { return m_state == ClaimState::Claimed; }

private:
    void SendClaim(uint8_t destination, std::vector<CanFrame>& out);
    void OnClaim(uint8_t address, uint64_t otherName, uint64_t nowMs, std::vector<CanFrame>& out);
    void OnRequest(uint32_t pgn, uint8_t requester, uint8_t destination,
                   std::vector<CanFrame>& out);
    bool MoveToFreeAddress();

    uint64_t m_name;
    bool m_arbitraryAddressCapable;
    ProductInfo m_product;
    uint8_t m_address;
    ClaimState m_state = ClaimState::Claiming;
    uint64_t m_claimedAt = 0;
    std::bitset<256> m_taken; // addresses other nodes hold
    CFrameEncoder m_encoder;
};

} // namespace n2k
