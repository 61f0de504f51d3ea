#pragma once
// Hex pairs and line checksums of the device's serial protocol.
//
// A byte travels as two characters, the low-nibble digit first and the
// high-nibble digit second: 0x3C is written "C3". A line checksum is the
// negated 8-bit sum of the covered characters, so covered bytes plus checksum
// add up to 0 modulo 256.
#include <cstddef>
#include <cstdint>
#include <string>

namespace proto {

struct HexPair {
    char first;  // low-nibble digit
    char second; // high-nibble digit
};

HexPair EncodeHexPair(uint8_t value);

// Decodes two received (upper-cased) characters. Characters are not
// validated: a non-digit gives whatever the arithmetic gives, and the line
// checksum is what catches such a line. Inline, as it runs for every pair
// of every received report.
inline uint8_t DecodeHexPair(uint8_t first, uint8_t second) {
    const uint8_t high =
        second >= 'A' ? static_cast<uint8_t>((second + 9) * 16) : static_cast<uint8_t>(second * 16);
    const uint8_t low =
        first >= 'A' ? static_cast<uint8_t>(first - 0x37) : static_cast<uint8_t>(first - 0x30);
    return static_cast<uint8_t>(high + low);
}

// The 8-bit sum of `count` bytes, negated modulo 256.
uint8_t LineChecksum(const uint8_t* bytes, size_t count);

// A report line whose positions 0..k are covered and whose checksum pair
// stands at k+1 and k+2 is valid when sum + pair value == 0 modulo 256.
inline bool ReportChecksumValid(const uint8_t* line, int k) {
    uint8_t sum = 0;
    for (int i = 0; i <= k; ++i)
        sum = static_cast<uint8_t>(sum + line[i]);
    return static_cast<uint8_t>(sum + DecodeHexPair(line[k + 1], line[k + 2])) == 0;
}

// Line building, for both directions: appends the pair of `value`; appends
// the checksum pair of everything so far, then CR LF.
void AppendPair(std::string& line, uint8_t value);
void FinishLine(std::string& line);

} // namespace proto
