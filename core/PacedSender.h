#pragma once
// The paced sender: a command line goes to the device one byte per write,
// with a pause of at least 2 ms of the millisecond clock after every byte,
// the final LF included.
#include <cstdint>

namespace proto {

// Nanoseconds of the steady (monotonic) clock: the one time base of the
// terminal, the emulator and their logs.
int64_t SteadyNs();

// A 32-bit millisecond clock that wraps after 2^32 ms.
class CMillisecondClock {
public:
    virtual ~CMillisecondClock() = default;
    virtual uint32_t Now() = 0;
    // Called right before the first reading of each pause. The real clock
    // starts a fresh millisecond here, so that two ticks are never less
    // than 2.0 ms of real time; a test clock ignores it.
    virtual void BeginPause() {}
};

// The clock the terminal runs on: whole milliseconds of the steady system
// clock, counted from the start of the latest pause.
class CSteadyMillisecondClock final : public CMillisecondClock {
public:
    CSteadyMillisecondClock();
    uint32_t Now() override;
    void BeginPause() override;

private:
    int64_t m_anchorNs;  // steady-clock time at which m_anchorMs began
    uint32_t m_anchorMs; // the reading at the anchor
};

// Where the paced sender writes. WriteByte delivers one byte to the device
// at once; it may throw when the port fails.
class CByteSink {
public:
    virtual ~CByteSink() = default;
    virtual void WriteByte(uint8_t byte) = 0;
};

// Writes bytes 0..length-1 of `line`, one per write, pausing after each.
// Lengths outside 1..255 write nothing; the sender never reads past
// position length-1, whether or not the line ends in LF there.
void SendCommandLine(CByteSink& sink, CMillisecondClock& clock, const uint8_t* line, int length);

// Milliseconds of the pause after each byte.
inline constexpr uint32_t kPaceMs = 2;

// The pause that follows each byte: ends when the clock has advanced by 2 ms,
// or at once when it wraps.
void PauseTwoMilliseconds(CMillisecondClock& clock);

} // namespace proto
