#pragma once
// What the traffic monitor keeps: the last lines of the serial traffic in a
// store of fixed size, which lines a view shows, and one line of text per
// traffic line for saving.
#include "session/Traffic.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace session {

// About twelve seconds of the device's full line rate; enough to look back
// at a burst without memory growing under a flood.
inline constexpr int kTrafficLogCapacity = 10000;

struct TrafficFilter {
    bool sent = true;
    bool received = true;
    bool broadcastsOnly = false; // received lines starting "BRC "
    bool problemsOnly = false;   // any verdict but ok

    bool Accepts(const TrafficLine& line) const;
};

// The newest lines, at most `capacity`: a full log lets its oldest line go
// for each new one. Every line ever added has a sequence number, counted
// from 0, so that a view over the log can tell which of its rows are gone.
class CTrafficLog {
public:
    explicit CTrafficLog(int capacity = kTrafficLogCapacity);

    void Append(const TrafficLine& line);
    // Lets every line go; sequence numbers go on from where they were.
    void Clear();

    int Size() const { return m_size; }
    int Capacity() const { return static_cast<int>(m_ring.size()); }
    bool IsEmpty() const { return m_size == 0; }
    // The i-th line kept, 0 the oldest.
    const TrafficLine& At(int index) const;

    // Lines that have left from the front (the oldest, or by Clear): the
    // sequence number of At(0).
    int64_t DroppedFromFront() const { return m_dropped; }
    // The sequence number the next line gets.
    int64_t EndSequence() const { return m_dropped + m_size; }
    const TrafficLine& BySequence(int64_t sequence) const {
        return At(static_cast<int>(sequence - m_dropped));
    }

private:
    std::vector<TrafficLine> m_ring;
    int m_head = 0; // where the oldest line is
    int m_size = 0;
    int64_t m_dropped = 0;
};

// Seconds to the millisecond, "12.345": the unit of every time the traffic
// monitor and brendlowctl show. Finer would be noise: the serial port is
// read in batches a few milliseconds apart.
QString FormatSeconds(double seconds);
// The line's time since the port was opened, by FormatSeconds.
QString FormatTime(const TrafficLine& line);
// "    12.345 RX bad-checksum BRC %S2310CC": the time (right-aligned),
// direction, verdict (padded to 12) and the visible text.
QString FormatLine(const TrafficLine& line);

} // namespace session
