#include "core/HexPair.h"

namespace proto {

namespace {
char NibbleDigit(uint8_t nibble) {
    return static_cast<char>(nibble < 10 ? nibble + 0x30 : nibble + 0x37);
}
} // namespace

HexPair EncodeHexPair(uint8_t value) {
    return HexPair{NibbleDigit(value & 0x0F), NibbleDigit(static_cast<uint8_t>(value >> 4))};
}

uint8_t LineChecksum(const uint8_t* bytes, size_t count) {
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    return static_cast<uint8_t>(0x100 - sum);
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
