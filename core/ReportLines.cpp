#include "core/ReportLines.h"

#include "core/HexPair.h"

namespace proto {

namespace {

std::string WithChecksum(std::string line) {
    FinishLine(line);
    return line;
}

} // namespace

std::string BuildLevelAckLine() {
    return "ACK %\r\n";
}
std::string BuildKeyAckLine() {
    return "ACK KI\r\n";
}

std::string BuildIdReportLine(uint8_t productCode, uint32_t serialNumber, uint8_t firmwareByte) {
    std::string line = "ACK ID";
    AppendPair(line, productCode);
    for (int i = 0; i < 4; ++i)
        AppendPair(line, static_cast<uint8_t>(serialNumber >> (8 * i)));
    AppendPair(line, firmwareByte);
    return WithChecksum(line);
}

std::string BuildLevelBroadcastLine(uint8_t level, uint8_t modeFlags) {
    std::string line = "BRC %S";
    AppendPair(line, level);
    AppendPair(line, modeFlags);
    return WithChecksum(line);
}

std::string BuildAddressClaimLine(uint8_t claimFlags, uint8_t engineAddress,
                                  uint8_t transmissionAddress) {
    std::string line = "BRC ACS";
    AppendPair(line, claimFlags);
    AppendPair(line, engineAddress);
    AppendPair(line, transmissionAddress);
    return WithChecksum(line);
}

std::string BuildInstanceBroadcastLine(const std::array<uint8_t, 9>& values) {
    std::string line = "BRC DS";
    for (uint8_t v : values)
        AppendPair(line, v);
    return WithChecksum(line);
}

} // namespace proto
