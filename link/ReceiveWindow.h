#pragma once
// Framing of the device's report lines in a 50-byte sliding window.
//
// Bytes are appended one at a time; once the window is full each new byte
// pushes the oldest one out. A marker ("ACK " or "BRC ", letters in either
// case) arriving at the end of a window that did not begin cleanly restarts
// the window at that marker. A CR LF after at least 4 more bytes completes a
// line: the window is upper-cased, handed to the caller and emptied.
#include <cstdint>
#include <cstring>

namespace proto {

class CReceiveWindow {
public:
    static constexpr int kSize = 50;

    int Count() const { return m_count; }
    const uint8_t* Data() const { return m_bytes; }

    // Frames one byte; calls onLine(const uint8_t* line, int length) for a
    // complete line, after which the window is empty.
    template <class OnLine> void Push(uint8_t b, OnLine&& onLine) {
        if (m_count < kSize) {
            m_bytes[m_count++] = b;
        } else {
            std::memmove(m_bytes, m_bytes + 1, kSize - 1);
            m_bytes[kSize - 1] = b;
        }
        if (m_count >= 5 && b == ' ') {
            const uint8_t* tail = m_bytes + m_count - 4;
            if (IsMarker(tail, 'A', 'C', 'K') && m_bytes[0] != 'B' && m_bytes[1] != 'R' &&
                m_bytes[2] != 'C' && m_bytes[3] != ' ') {
                Restart("ACK ");
                return;
            }
            if (IsMarker(tail, 'B', 'R', 'C') && m_bytes[0] != 'A' && m_bytes[1] != 'C' &&
                m_bytes[2] != 'K' && m_bytes[3] != ' ') {
                Restart("BRC ");
                return;
            }
        }
        if (m_count >= 6 && b == '\n' && m_bytes[m_count - 2] == '\r') {
            for (int i = 0; i < m_count; ++i)
                m_bytes[i] = ToUpper(m_bytes[i]);
            const int length = m_count;
            m_count = 0;
            onLine(static_cast<const uint8_t*>(m_bytes), length);
        }
    }

    template <class OnLine> void Push(const uint8_t* bytes, int count, OnLine&& onLine) {
        for (int i = 0; i < count; ++i)
            Push(bytes[i], onLine);
    }

private:
    static uint8_t ToUpper(uint8_t c) {
        return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 'a' + 'A') : c;
    }
    static bool IsMarker(const uint8_t* tail, char a, char b, char c) {
        return ToUpper(tail[0]) == a && ToUpper(tail[1]) == b && ToUpper(tail[2]) == c &&
               tail[3] == ' ';
    }
    void Restart(const char* marker) {
        std::memcpy(m_bytes, marker, 4);
        m_count = 4;
    }

    uint8_t m_bytes[kSize] = {};
    int m_count = 0;
};

} // namespace proto
