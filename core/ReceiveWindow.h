#pragma once
// Framing of the device's report lines in a 50-byte sliding window.
//
// Bytes are appended one at a time; once the window is full each new byte
// pushes the oldest one out. A marker ("ACK " or "BRC ", letters in either
// case) arriving at the end of a window that did not begin cleanly restarts
// the window at that marker. A CR LF after at least 4 more bytes completes a
// line: the window is upper-cased, handed to the caller and emptied.
#include <algorithm>
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
    // restart the window or end a line, and a space only once the window
    // holds 5 bytes, so the bytes up to the next that matters are appended
    // as one run. A line that arrives whole into an empty window is
    // upper-cased on its way in instead of being copied and then upper-cased.
    template <class OnLine> void Push(const uint8_t* bytes, int count, OnLine&& onLine) {
        int i = 0;
        while (i < count) {
            const uint8_t* run = bytes + i;
            const int readable = count - i;
            const int plain = PlainRun(run, readable, m_count < 4 ? 4 - m_count : 0);
            if (plain == readable) {
                AppendRun(run, plain, readable);
                return;
            }
            const int length = plain + 1; // with the space or LF
            i += length;
            if (run[plain] == ' ') {
                AppendRun(run, length, readable);
                AfterSpace();
            } else if (m_count == 0 && length >= 6 && length <= kSize && run[plain - 1] == '\r' &&
                       readable >= RoundUpToBlock(length)) {
                UpperCaseBlocks(m_buffer, run, length);
                onLine(static_cast<const uint8_t*>(m_buffer), length);
            } else {
                AppendRun(run, length, readable);
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
        // A block at a time where the buffer has room for it (what lies past
        // the line is unused): the dispatcher's wider reads of the line then
        // come straight from these stores instead of waiting for single
        // bytes to be written back.
        const int room = kBufferSize - m_start;
        const int blocks = std::min(RoundUpToBlock(m_count), room) / kBlock * kBlock;
        UpperCaseBlocks(w, w, blocks);
        for (int i = blocks; i < m_count; ++i)
            w[i] = ToUpper(w[i]);
        const int length = m_count;
        m_count = 0;
        m_start = 0;
        onLine(static_cast<const uint8_t*>(w), length);
    }

    static constexpr uint64_t kOnes = 0x0101010101010101u;
    static constexpr uint64_t kLow7 = kOnes * 0x7F;
    static constexpr uint64_t kHigh = kOnes * 0x80;
    static constexpr int kBlock = 16; // two words: a short line in one go

    static constexpr int RoundUpToBlock(int n) { return (n + kBlock - 1) / kBlock * kBlock; }

    static uint64_t UpperCased(uint64_t word) {
        const uint64_t low7 = word & kLow7;
        const uint64_t fromA = low7 + kOnes * (0x80 - 'a');     // high bit: at least 'a'
        const uint64_t pastZ = low7 + kOnes * (0x80 - 'z' - 1); // high bit: past 'z'
        const uint64_t lower = fromA & ~pastZ & ~word & kHigh;  // not above 0x7F either
        return word ^ (lower >> 2);                             // 0x80 >> 2 is the case bit
    }

    // Writes RoundUpToBlock(n) bytes to `to`, read from `from`, with the
    // letters a..z upper-cased; `to` may be `from`.
    static void UpperCaseBlocks(uint8_t* to, const uint8_t* from, int n) {
        for (int i = 0; i < n; i += kBlock) {
            uint64_t words[2];
            std::memcpy(words, from + i, sizeof words);
            words[0] = UpperCased(words[0]);
            words[1] = UpperCased(words[1]);
            std::memcpy(to + i, words, sizeof words);
        }
    }

    // How many bytes from the start are neither an LF nor a space at or
    // after `spacesFrom` (at most 4), looked at eight at a time.
    static int PlainRun(const uint8_t* bytes, int n, int spacesFrom) {
        int i = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // The bytes before `spacesFrom` read as 0xFF, neither space nor LF.
            uint64_t ignored = ~(~uint64_t{0} << (8 * spacesFrom));
            for (; i + 8 <= n; i += 8) {
                uint64_t word;
                std::memcpy(&word, bytes + i, sizeof word);
                word |= ignored;
                ignored = 0;
                const uint64_t s = word ^ (kOnes * ' '); // a zero byte where a space is
                const uint64_t f = word ^ (kOnes * '\n');
                // The lowest marked byte is the first zero byte (marks above
                // it may be false).
                const uint64_t marks = (((s - kOnes) & ~s) | ((f - kOnes) & ~f)) & kHigh;
                if (marks != 0)
                    return i + std::countr_zero(marks) / 8;
            }
        }
        while (i < n && bytes[i] != '\n' && (bytes[i] != ' ' || i < spacesFrom))
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
