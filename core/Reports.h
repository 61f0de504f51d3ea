#pragma once
// The device's report lines: recognition by first word and length, checksum
// tests, decoding of their fields, and the texts the window shows for them.
#include <array>
#include <cstdint>
#include <string>

namespace proto {

inline constexpr int kLevelAckLength = 7;           // "ACK %" CR LF
inline constexpr int kKeyAckLength = 8;             // "ACK KI" CR LF
inline constexpr int kIdReportLength = 22;          // "ACK ID" ...
inline constexpr int kLevelBroadcastLength = 14;    // "BRC %S" ...
inline constexpr int kAddressClaimLength = 17;      // "BRC ACS" ...
inline constexpr int kInstanceBroadcastLength = 28; // "BRC DS" ...

struct IdReport {
    uint8_t productCode = 0;
    uint32_t serialNumber = 0;
    uint8_t firmwareByte = 0;
};

struct AddressClaim {
    uint8_t claimFlags = 0;
    uint8_t engineAddress = 0;
    uint8_t transmissionAddress = 0;
};

// The nine pairs of the instance broadcast, in line order.
struct InstanceReport {
    uint8_t engine = 0;
    uint8_t sid = 0;
    uint8_t fuelLevel = 0;
    uint8_t battery = 0;
    uint8_t exhaustGasTemp = 0;
    uint8_t transmission = 0;
    uint8_t wasteWater = 0;
    uint8_t rudder = 0;
    uint8_t blackWater = 0;
};

// What the dispatcher needs from whoever owns the link's state.
class CReportTarget {
public:
    virtual ~CReportTarget() = default;
    virtual void SetTrafficSeen() = 0;
    virtual bool IdQueryPending() const = 0;
    virtual bool DeviceIdentified() const = 0; // firmware version number is not 0

    virtual void OnLevelAck() = 0;
    virtual void OnKeyAck() = 0;
    // The whole 22-byte line; the handler tests its checksum itself.
    virtual void OnIdReport(const uint8_t* line) = 0;
    // Broadcasts reach their handlers only with a valid checksum.
    virtual void OnLevelBroadcast(uint8_t level, uint8_t modeFlags) = 0;
    virtual void OnAddressClaim(const AddressClaim& claim) = 0;
    virtual void OnInstanceBroadcast(const InstanceReport& instances) = 0;
};

// What became of a received line.
enum class ReportVerdict {
    Ok,          // acted on
    BadChecksum, // recognised, but its checksum does not add up
    Unexpected,  // well formed, but nothing the terminal acts on now
};

// Dispatches one complete, upper-cased line of `length` bytes ending in CR LF.
ReportVerdict DispatchReport(const uint8_t* line, int length, CReportTarget& target);

bool IdReportChecksumValid(const uint8_t* line);
IdReport DecodeIdReport(const uint8_t* line);

// Unsigned decimal without leading zeros, "0" for zero.
std::string FormatDecimal(uint32_t value);

// Five characters from the firmware version number 1..256: " 0.1A", "12.3A".
std::string FirmwareVersionText(uint16_t versionNumber);

// The product codes '7'..'>' are known products.
bool IsKnownProduct(uint8_t productCode);
// The name of a known product, or "Wrong ID".
std::string ProductName(uint8_t productCode);

// The claim flags of the address claim broadcast, two bits a node: the
// engine's (node 0) are bits 0 and 1, the transmission's (node 1) 2 and 3.
inline constexpr uint8_t ClaimedFlag(unsigned node) {
    return static_cast<uint8_t>(1u << (2 * node));
}
inline constexpr uint8_t CannotClaimFlag(unsigned node) {
    return static_cast<uint8_t>(2u << (2 * node));
}

// "SA=n; Claimed; Normal." and its variants, for the engine and the
// transmission node.
std::string EngineSaText(const AddressClaim& claim);
std::string TransmissionSaText(const AddressClaim& claim);

// Mode flags of the level broadcast.
inline constexpr uint8_t kModeQuietOff = 0x01; // Quiet is on when this bit is clear
inline constexpr uint8_t kModeDynamic = 0x02;
inline constexpr uint8_t kModeWarnings = 0x04;

} // namespace proto
