#pragma once
// Framing of the device's report lines in a 50-byte sliding window.
//
// Bytes are appended one at a time; once the window is full each new byte
// pushes the oldest one out. A marker ("ACK " or "BRC ", letters in either
// case) arriving at the end of a window that did not begin cleanly restarts
// the window at that marker. A CR LF after at least 4 more bytes completes a
// line: the window is upper-cased, handed to the caller and emptied.
#include <bit>
#include <cstdint>
#include <cstring>

namespace proto {

class CReceiveWindow {
public:
    static constexpr int kSize = 50;

    int Count() const { return m_count; }
    const uint8_t* Data() const { return m_buffer + m_start; }

    // Frames one byte; calls onLine(const uint8_t* line, int length) for a
    // complete line, after which the window is empty.
    template <class OnLine> void Push(uint8_t b, OnLine&& onLine) {
        Append(b);
        if (b == ' ')
            AfterSpace();
        else if (b == '\n')
            AfterLineFeed(onLine);
    }

    // The same as pushing the bytes one by one. Only a space or an LF can
    // restart the window or end a line, so the bytes up to the next of them
    // are appended as one run.
    template <class OnLine> void Push(const uint8_t* bytes, int count, OnLine&& onLine) {
        int i = 0;
        while (i < count) {
            const int plain = PlainRun(bytes + i, count - i);
            const int run = plain < count - i ? plain + 1 : plain; // with the space or LF
            AppendRun(bytes + i, run, count - i);
            i += run;
            if (run > plain) {
                if (bytes[i - 1] == ' ')
                    AfterSpace();
                else
                    AfterLineFeed(onLine);
            }
        }
    }

private:
    // The window is m_buffer[m_start, m_start + m_count); m_start is 0 until
    // the window is full. A full window slides forward in a buffer twice its
    // size and is moved back to the front once every kSize bytes, not at
    // every byte.
    static constexpr int kBufferSize = 2 * kSize;

    void Append(uint8_t b) {
        if (m_count < kSize) {
            m_buffer[m_count++] = b;
        } else if (m_start < kBufferSize - kSize) {
            m_buffer[m_start + kSize] = b;
            ++m_start;
        } else {
            std::memmove(m_buffer, m_buffer + m_start + 1, kSize - 1);
            m_buffer[kSize - 1] = b;
            m_start = 0;
        }
    }

    // Appends n bytes; `readable` bytes from `bytes` on may be read.
    void AppendRun(const uint8_t* bytes, int n, int readable) {
        if (n <= 0)
            return;
        const int total = m_count + n;
        if (total <= kSize) {
            // A run within a line is short: copy a fixed 16 bytes when they
            // can be read (the buffer has room, as the window is not full).
            if (n <= 16 && readable >= 16)
                std::memcpy(m_buffer + m_count, bytes, 16);
            else
                std::memcpy(m_buffer + m_count, bytes, static_cast<size_t>(n));
            m_count = total;
        } else if (n >= kSize) { // only the run's last kSize bytes stay
            std::memcpy(m_buffer, bytes + n - kSize, kSize);
            m_start = 0;
            m_count = kSize;
        } else if (m_start + m_count + n <= kBufferSize) {
            std::memcpy(m_buffer + m_start + m_count, bytes, static_cast<size_t>(n));
            m_start += total - kSize;
            m_count = kSize;
        } else {
            const int keep = kSize - n; // the newest bytes of the window
            std::memmove(m_buffer, m_buffer + m_start + m_count - keep, static_cast<size_t>(keep));
            std::memcpy(m_buffer + keep, bytes, static_cast<size_t>(n));
            m_start = 0;
            m_count = kSize;
        }
    }

    void AfterSpace() {
        if (m_count < 5)
            return;
        const uint8_t* w = Data();
        const uint8_t* tail = w + m_count - 4;
        if (IsMarker(tail, 'A', 'C', 'K') && w[0] != 'B' && w[1] != 'R' && w[2] != 'C' &&
            w[3] != ' ')
            Restart("ACK ");
        else if (IsMarker(tail, 'B', 'R', 'C') && w[0] != 'A' && w[1] != 'C' && w[2] != 'K' &&
                 w[3] != ' ')
            Restart("BRC ");
    }

    template <class OnLine> void AfterLineFeed(OnLine&& onLine) {
        uint8_t* w = m_buffer + m_start;
        if (m_count < 6 || w[m_count - 2] != '\r')
            return;
        // Sixteen bytes at a time where the buffer has room for them (what
        // lies past the line is unused), so that the compiler can do each
        // block in one go.
        const int room = kBufferSize - m_start;
        int i = 0;
        for (; i < m_count && i + 16 <= room; i += 16)
            for (int k = 0; k < 16; ++k)
                w[i + k] = ToUpper(w[i + k]);
        for (; i < m_count; ++i)
            w[i] = ToUpper(w[i]);
        const int length = m_count;
        m_count = 0;
        m_start = 0;
        onLine(static_cast<const uint8_t*>(w), length);
    }

    // How many bytes from the start are neither space nor LF, looked at
    // eight at a time.
    static int PlainRun(const uint8_t* bytes, int n) {
        constexpr uint64_t kOnes = 0x0101010101010101u;
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t word;
            std::memcpy(&word, bytes + i, sizeof word);
            const uint64_t space = word ^ (kOnes * ' '); // a zero byte where a space is
            const uint64_t lineFeed = word ^ (kOnes * '\n');
            // The lowest marked byte is the first zero byte (marks above it
            // may be false).
            const uint64_t marks =
                (((space - kOnes) & ~space) | ((lineFeed - kOnes) & ~lineFeed)) & (kOnes << 7);
            if (marks != 0) {
                if constexpr (std::endian::native == std::endian::little)
                    return i + std::countr_zero(marks) / 8;
                break;
            }
        }
        while (i < n && bytes[i] != ' ' && bytes[i] != '\n')
            ++i;
        return i;
    }

    static uint8_t ToUpper(uint8_t c) {
        return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 'a' + 'A') : c;
    }
    static bool IsMarker(const uint8_t* tail, char a, char b, char c) {
        return ToUpper(tail[0]) == a && ToUpper(tail[1]) == b && ToUpper(tail[2]) == c &&
               tail[3] == ' ';
    }
    void Restart(const char* marker) {
        std::memcpy(m_buffer, marker, 4);
        m_start = 0;
        m_count = 4;
    }

    uint8_t m_buffer[kBufferSize] = {};
    int m_start = 0;
    int m_count = 0;
};

} // namespace proto
