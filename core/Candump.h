#pragma once
// candump's log lines, as `candump -l` writes them and the decoders of the
// field read them: "(1733650000.123456) can0 09F20083#0102030405060708".
#include "core/N2kFrames.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace n2k {

struct CandumpRecord {
    uint64_t microseconds = 0; // since the epoch
    std::string interface;
    CanFrame frame;
};

// Eight upper-case hex digits of identifier, the data as upper-case pairs.
std::string FormatCandumpLine(uint64_t microseconds, std::string_view interface,
                              const CanFrame& frame);

// The wall clock in microseconds since the epoch, the time candump writes.
uint64_t WallMicroseconds();

// The name a log line gives a CAN interface: the last '/'-part of how it was
// named (virtualcan's "tcp://127.0.0.1:35468/can0" is "can0"), or "can0"
// where that part is empty, holds a space or is longer than a network
// interface's name may be.
std::string CandumpInterface(std::string_view interface);

// A line with or without its line end. Nothing for anything else: standard
// (11-bit) identifiers, remote and CAN FD frames, more than eight bytes,
// stray characters.
std::optional<CandumpRecord> ParseCandumpLine(std::string_view line);

} // namespace n2k
