#include "HexPair.h"

namespace proto {

namespace {
char NibbleDigit(uint8_t nibble) {
    return static_cast<char>(nibble < 10 ? nibble + 0x30 : nibble + 0x37);
}
} // namespace

HexPair EncodeHexPair(uint8_t value) {
    return HexPair{NibbleDigit(value & 0x0F), NibbleDigit(static_cast<uint8_t>(value >> 4))};
}

uint8_t DecodeHexPair(uint8_t first, uint8_t second) {
    const uint8_t high =
        second >= 'A' ? static_cast<uint8_t>((second + 9) * 16) : static_cast<uint8_t>(second * 16);
    const uint8_t low =
        first >= 'A' ? static_cast<uint8_t>(first - 0x37) : static_cast<uint8_t>(first - 0x30);
    return static_cast<uint8_t>(high + low);
}

uint8_t LineChecksum(const uint8_t* bytes, size_t count) {
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    return static_cast<uint8_t>(0x100 - sum);
}

bool ReportChecksumValid(const uint8_t* line, int k) {
    uint8_t sum = 0;
    for (int i = 0; i <= k; ++i)
        sum = static_cast<uint8_t>(sum + line[i]);
    return static_cast<uint8_t>(sum + DecodeHexPair(line[k + 1], line[k + 2])) == 0;
}

void AppendPair(std::string& line, uint8_t value) {
    const HexPair pair = EncodeHexPair(value);
    line += pair.first;
    line += pair.second;
}

void FinishLine(std::string& line) {
    AppendPair(line, LineChecksum(reinterpret_cast<const uint8_t*>(line.data()), line.size()));
    line += "\r\n";
}

} // namespace proto
