#pragma once
// The emulator's outgoing bytes: a queue that remembers where each level
// broadcast ends (for the send log), and a pacer that holds the output to a
// byte rate.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace emulator {

class COutputQueue {
public:
    // Lines appended while more than `dropAbove` bytes wait are dropped, as a
    // serial port drops what nobody reads; 0 never drops.
    explicit COutputQueue(size_t dropAbove) : m_dropAbove(dropAbove) {}

    // `shownLevel` >= 0 marks a level broadcast. False when dropped.
    bool Append(std::string_view bytes, int shownLevel = -1);
    size_t Pending() const { return m_bytes.size() - m_head; }
    uint64_t Dropped() const { return m_dropped; }

    // One non-blocking write of at most `maxBytes`. Returns what write()
    // returned. The levels of the level broadcasts whose last byte went out
    // are appended to `sentLevels`.
    long WriteTo(int fd, size_t maxBytes, std::vector<int>& sentLevels);

private:
    struct LevelMark {
        size_t end; // offset just past the broadcast's LF
        int level;
    };

    size_t m_dropAbove;
    std::string m_bytes;
    size_t m_head = 0;
    std::deque<LevelMark> m_marks;
    uint64_t m_dropped = 0;
};

// Token bucket: credit grows at `bytesPerSecond` up to two chunks.
class CBytePacer {
public:
    explicit CBytePacer(double bytesPerSecond);

    void Refill(int64_t nowNs);
    size_t Allowance() const { return static_cast<size_t>(m_credit); }
    void Consume(size_t bytes);
    // Bytes worth waking up for: about 4 ms of output.
    size_t Chunk() const { return m_chunk; }
    // When the credit reaches `bytes` (which must not exceed two chunks).
    int64_t WhenAvailable(size_t bytes) const;

private:
    double m_rate;
    size_t m_chunk;
    double m_credit;
    int64_t m_lastNs = -1;
};

} // namespace emulator
