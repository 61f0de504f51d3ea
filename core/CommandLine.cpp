#include "core/CommandLine.h"

#include "core/HexPair.h"

#include <cstring>

namespace proto {

namespace {

// A finished line of at most 32 bytes into the fixed buffer the sender takes.
CommandLine Finished(std::string text) {
    FinishLine(text);
    CommandLine line;
    std::memcpy(line.bytes.data(), text.data(), text.size());
    line.length = static_cast<int>(text.size());
    return line;
}

} // namespace

CommandLine BuildIdQuery() {
    CommandLine line;
    std::memcpy(line.bytes.data(), "AT ID?\r\n", kIdQueryLength);
    line.length = kIdQueryLength;
    return line;
}

CommandLine BuildKeyCommand(uint8_t keyCode) {
    std::string line = "AT KI";
    AppendPair(line, keyCode);
    return Finished(std::move(line));
}

CommandLine BuildLevelCommand(uint8_t level) {
    std::string line = "AT %";
    AppendPair(line, level);
    return Finished(std::move(line));
}

CommandLine BuildDeviceInstanceLine(const std::array<uint8_t, 8>& instances) {
    std::string line = "AT DI";
    for (uint8_t instance : instances)
        AppendPair(line, instance);
    return Finished(std::move(line));
}

} // namespace proto
