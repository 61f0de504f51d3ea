#include "core/PacedSender.h"

#include <chrono>

namespace proto {

int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CSteadyMillisecondClock::CSteadyMillisecondClock() : m_anchorNs(SteadyNs()), m_anchorMs(0) {}

uint32_t CSteadyMillisecondClock::Now() {
    const int64_t elapsed = SteadyNs() - m_anchorNs;
    return m_anchorMs + static_cast<uint32_t>(elapsed / 1'000'000);
}

void CSteadyMillisecondClock::BeginPause() {
    // Keep the reading where it is, but let its next millisecond begin now.
    m_anchorMs = Now();
    m_anchorNs = SteadyNs();
}

void PauseTwoMilliseconds(CMillisecondClock& clock) {
    clock.BeginPause();
    const uint32_t t0 = clock.Now();
    const uint32_t end = t0 + kPaceMs; // modulo 2^32
    for (;;) {
        const uint32_t t = clock.Now();
        // Ends once kPaceMs have passed; ends at once when the clock wraps
        // (a reading below t0, or t0 + 2 overflowing).
        if (!(t0 <= t && t < end))
            break;
    }
}

void SendCommandLine(CByteSink& sink, CMillisecondClock& clock, const uint8_t* line, int length) {
    if (line == nullptr || length < 1 || length > 255)
        return;
    for (int i = 0; i < length; ++i) {
        sink.WriteByte(line[i]);
        PauseTwoMilliseconds(clock);
    }
}

} // namespace proto
