#include "CommandLine.h"

#include "HexPair.h"

#include <cstring>

namespace proto {

namespace {

class LineBuilder {
public:
    explicit LineBuilder(const char* head) { Append(head); }

    void Append(const char* text) {
        const size_t n = std::strlen(text);
        std::memcpy(m_line.bytes.data() + m_line.length, text, n);
        m_line.length += static_cast<int>(n);
    }
    void AppendPair(uint8_t value) {
        const HexPair pair = EncodeHexPair(value);
        m_line.bytes[m_line.length++] = static_cast<uint8_t>(pair.first);
        m_line.bytes[m_line.length++] = static_cast<uint8_t>(pair.second);
    }
    // Checksum pair over everything so far, then CR LF.
    CommandLine Finish() {
        AppendPair(LineChecksum(m_line.bytes.data(), static_cast<size_t>(m_line.length)));
        Append("\r\n");
        return m_line;
    }

private:
    CommandLine m_line;
};

} // namespace

CommandLine BuildIdQuery() {
    CommandLine line;
    std::memcpy(line.bytes.data(), "AT ID?\r\n", kIdQueryLength);
    line.length = kIdQueryLength;
    return line;
}

CommandLine BuildKeyCommand(uint8_t keyCode) {
    LineBuilder b("AT KI");
    b.AppendPair(keyCode);
    return b.Finish();
}

CommandLine BuildLevelCommand(uint8_t level) {
    LineBuilder b("AT %");
    b.AppendPair(level);
    return b.Finish();
}

CommandLine BuildDeviceInstanceLine(const std::array<uint8_t, 8>& instances) {
    LineBuilder b("AT DI");
    for (uint8_t instance : instances)
        b.AppendPair(instance);
    return b.Finish();
}

} // namespace proto
