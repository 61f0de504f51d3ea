#pragma once
// The device's side of the protocol: builds report lines as the device
// writes them. Used by the device emulator, the tests and the benchmarks.
#include <array>
#include <cstdint>
#include <string>

namespace proto {

std::string BuildLevelAckLine(); // "ACK %" CR LF
std::string BuildKeyAckLine();   // "ACK KI" CR LF
std::string BuildIdReportLine(uint8_t productCode, uint32_t serialNumber, uint8_t firmwareByte);
std::string BuildLevelBroadcastLine(uint8_t level, uint8_t modeFlags);
std::string BuildAddressClaimLine(uint8_t claimFlags, uint8_t engineAddress,
                                  uint8_t transmissionAddress);
// The nine pairs in line order: engine, SID, fuel level, battery, exhaust gas
// temperature, transmission, waste water, rudder, black water.
std::string BuildInstanceBroadcastLine(const std::array<uint8_t, 9>& values);

} // namespace proto
