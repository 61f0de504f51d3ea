#pragma once
// The receive window as it first was: every byte goes in on its own, and a
// full window moves all its bytes down by one for each new byte. Slow, but
// plainly right; fuzz_framing checks the terminal's window against it.
#include <cstdint>
#include <cstring>

namespace reference {

class CReceiveWindow {
public:
    static constexpr int kSize = 50;

    int Count() const { return m_count; }
    const uint8_t* Data() const { return m_bytes; }

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

} // namespace reference
