#include "emulator/EmulatedDevice.h"

#include "core/CommandLine.h"
#include "core/HexPair.h"
#include "core/ReportLines.h"

#include <algorithm>

namespace emulator {

namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// "<head><pairs><checksum pair>" of exactly `pairs` data pairs, with hex digits
// only after the head and a checksum that adds up.
bool IsCheckedCommand(std::string_view line, std::string_view head, int pairs) {
    const size_t length = head.size() + 2 * static_cast<size_t>(pairs) + 2;
    if (line.size() != length || line.substr(0, head.size()) != head)
        return false;
    if (!std::all_of(line.begin() + static_cast<long>(head.size()), line.end(), IsHexDigit))
        return false;
    return proto::ReportChecksumValid(reinterpret_cast<const uint8_t*>(line.data()),
                                      static_cast<int>(length) - 3);
}

uint8_t PairAt(std::string_view line, size_t pos) {
    return proto::DecodeHexPair(static_cast<uint8_t>(line[pos]),
                                static_cast<uint8_t>(line[pos + 1]));
}

} // namespace

bool CCommandFramer::Push(uint8_t b) {
    if (b == '\n') {
        const bool complete = !m_overlong;
        if (complete) {
            m_line = m_pending;
            if (!m_line.empty() && m_line.back() == '\r')
                m_line.pop_back();
        }
        m_pending.clear();
        m_overlong = false;
        return complete;
    }
    m_pending += static_cast<char>(b);
    if (m_pending.size() > 3 && m_pending.compare(m_pending.size() - 3, 3, "AT ") == 0) {
        m_pending = "AT ";
        m_overlong = false;
    } else if (m_pending.size() > kMaxLine) {
        // Keep just enough to spot the next "AT ".
        m_overlong = true;
        m_pending.erase(0, m_pending.size() - 2);
    }
    return false;
}

CEmulatedDevice::CEmulatedDevice(const DeviceSettings& settings) : m_settings(settings) {}

CommandResult CEmulatedDevice::HandleLine(std::string_view line) {
    CommandResult result;
    if (line == "AT ID?") {
        m_queried = true;
        result.replies.push_back(Checksummed(proto::BuildIdReportLine(
            m_settings.productCode, m_settings.serialNumber, m_settings.firmwareByte)));
    } else if (IsCheckedCommand(line, "AT %", 1)) {
        // The device shows at most 100 %; a larger value sets 100.
        m_level = std::min<uint8_t>(PairAt(line, 4), 100);
        result.replies.push_back(proto::BuildLevelAckLine());
        result.levelOrModeChanged = true;
    } else if (IsCheckedCommand(line, "AT KI", 1)) {
        result.replies.push_back(proto::BuildKeyAckLine());
        result.levelOrModeChanged = true;
        switch (PairAt(line, 5)) {
        case proto::kKeyUp:
            m_level = static_cast<uint8_t>(std::min(100, m_level + kLevelStep));
            break;
        case proto::kKeyDown:
            m_level = static_cast<uint8_t>(std::max(0, m_level - kLevelStep));
            break;
        case proto::kKeyDynamic:
            m_modeFlags ^= proto::kModeDynamic;
            break;
        case proto::kKeyQuiet:
            m_modeFlags ^= proto::kModeQuietOff;
            break;
        case proto::kKeyMenu: // also the Warnings switch
            m_modeFlags ^= proto::kModeWarnings;
            break;
        default: // acknowledged, nothing to do
            result.levelOrModeChanged = false;
            break;
        }
    } else if (IsCheckedCommand(line, "AT DI", kInstanceCount)) {
        for (int i = 0; i < kInstanceCount; ++i) {
            const uint8_t instance = PairAt(line, 5 + 2 * static_cast<size_t>(i));
            if (instance != 0xFF)
                m_instances[static_cast<size_t>(i)] = instance;
        }
    }
    return result;
}

std::string CEmulatedDevice::NextLevelBroadcast(uint8_t* shownLevel, bool* spoilt) {
    uint8_t level = m_level;
    if (m_settings.sweep) {
        level = m_sweepLevel;
        m_sweepLevel = static_cast<uint8_t>((m_sweepLevel + 1) % 101);
    }
    if (shownLevel)
        *shownLevel = level;
    std::string line = Checksummed(proto::BuildLevelBroadcastLine(level, m_modeFlags));
    if (spoilt)
        *spoilt = m_lastSpoilt;
    return line;
}

std::string CEmulatedDevice::NextAddressClaim(std::optional<proto::AddressClaim> fromBus) {
    const proto::AddressClaim c =
        fromBus.value_or(proto::AddressClaim{m_claimFlags, kEngineAddress, kTransmissionAddress});
    return Checksummed(
        proto::BuildAddressClaimLine(c.claimFlags, c.engineAddress, c.transmissionAddress));
}

std::string CEmulatedDevice::NextInstanceBroadcast() {
    const auto& in = m_instances;
    const std::array<uint8_t, 9> values{in[0], m_sid, in[1], in[2], in[3],
                                        in[4], in[5], in[6], in[7]};
    m_sid = static_cast<uint8_t>((m_sid + 1) % kSidLimit);
    return Checksummed(proto::BuildInstanceBroadcastLine(values));
}

// Counts the lines that carry a checksum and spoils every Nth one, when asked.
std::string CEmulatedDevice::Checksummed(std::string line) {
    ++m_checksummedLines;
    const int every = m_settings.badChecksumEvery;
    m_lastSpoilt = every > 0 && m_checksummedLines % static_cast<uint64_t>(every) == 0;
    if (m_lastSpoilt) {
        const size_t pos = line.size() - 4; // checksum pair, then CR LF
        const proto::HexPair spoilt = proto::EncodeHexPair(
            static_cast<uint8_t>(proto::DecodeHexPair(static_cast<uint8_t>(line[pos]),
                                                      static_cast<uint8_t>(line[pos + 1])) +
                                 1));
        line[pos] = spoilt.first;
        line[pos + 1] = spoilt.second;
    }
    return line;
}

} // namespace emulator
