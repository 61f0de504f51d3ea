#pragma once
// The emulated device: its state, what it does with a received command line,
// and the report lines it writes. No I/O here; the pty loop owns that.
#include "core/Reports.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emulator {

struct DeviceSettings {
    uint8_t productCode = '9';
    uint32_t serialNumber = 1234567;
    uint8_t firmwareByte = 9; // version " 1.0A"
    bool sweep = false;       // level broadcasts cycle through 0..100
    int badChecksumEvery = 0; // 0: every checksum is right
    uint32_t corruptPgn = 0;  // bus side: this group's byte 1 inverted; 0 for none
};

// Splits received bytes into command lines. A line ends at LF (a CR before
// it is dropped); "AT " restarts the line, so a command that follows garbage
// without a line end is still found; lines longer than kMaxLine are dropped.
class CCommandFramer {
public:
    static constexpr size_t kMaxLine = 40;

    // True when `b` completed a line; the line, without CR LF, is in Line().
    bool Push(uint8_t b);
    const std::string& Line() const { return m_line; }

private:
    std::string m_pending;
    std::string m_line;
    bool m_overlong = false;
};

struct CommandResult {
    std::vector<std::string> replies; // lines to write, CR LF included
    bool levelOrModeChanged = false;  // the next level broadcast is due now
};

class CEmulatedDevice {
public:
    // Instance order of "AT DI": engine, fuel level, battery, exhaust gas
    // temperature, transmission, waste water, rudder, black water.
    static constexpr int kInstanceCount = 8;
    static constexpr uint8_t kLevelStep = 5;
    static constexpr uint8_t kSidLimit = 253; // the SID runs 0..252
    // The nodes' addresses on the NMEA 2000 bus, unless another node holds
    // one.
    static constexpr uint8_t kEngineAddress = 0;
    static constexpr uint8_t kTransmissionAddress = 3;

    explicit CEmulatedDevice(const DeviceSettings& settings);

    // Acts on one framed line (without CR LF). Unknown lines and lines with a
    // bad checksum are ignored.
    CommandResult HandleLine(std::string_view line);

    bool Queried() const { return m_queried; }
    uint8_t Level() const { return m_level; }
    uint8_t ModeFlags() const { return m_modeFlags; }
    const std::array<uint8_t, kInstanceCount>& Instances() const { return m_instances; }

    // The next broadcast lines. `shownLevel` receives the level the line shows.
    // `spoilt` tells whether its checksum was spoilt on purpose.
    std::string NextLevelBroadcast(uint8_t* shownLevel = nullptr, bool* spoilt = nullptr);
    // What the bus side claimed, when there is one; both claimed at their
    // addresses otherwise.
    std::string NextAddressClaim(std::optional<proto::AddressClaim> fromBus = std::nullopt);
    std::string NextInstanceBroadcast(); // advances the SID

private:
    std::string Checksummed(std::string line);

    DeviceSettings m_settings;
    bool m_queried = false;
    uint8_t m_level = 50;
    uint8_t m_modeFlags = 0x01; // Quiet off, Dynamic off, Warnings off
    uint8_t m_claimFlags = proto::ClaimedFlag(0) | proto::ClaimedFlag(1);
    std::array<uint8_t, kInstanceCount> m_instances{0, 1, 2, 3, 4, 5, 6, 7};
    uint8_t m_sid = 0;
    uint8_t m_sweepLevel = 0;
    uint64_t m_checksummedLines = 0;
    bool m_lastSpoilt = false; // the last checksummed line's checksum is wrong
};

} // namespace emulator
