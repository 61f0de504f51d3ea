#include "session/TrafficLog.h"

namespace session {

bool TrafficFilter::Accepts(const TrafficLine& line) const {
    if (!(line.sent ? sent : received))
        return false;
    if (broadcastsOnly && (line.sent || !line.bytes.startsWith("BRC ")))
        return false;
    return !problemsOnly || line.verdict != Verdict::Ok;
}

CTrafficLog::CTrafficLog(int capacity) : m_ring(static_cast<size_t>(capacity > 0 ? capacity : 1)) {}

void CTrafficLog::Append(const TrafficLine& line) {
    const int capacity = Capacity();
    if (m_size < capacity) {
        m_ring[static_cast<size_t>((m_head + m_size) % capacity)] = line;
        ++m_size;
        return;
    }
    // Full: the new line takes the oldest one's place.
    m_ring[static_cast<size_t>(m_head)] = line;
    m_head = (m_head + 1) % capacity;
    ++m_dropped;
}

void CTrafficLog::Clear() {
    // Only the slots in use hold bytes; the rest were never filled.
    for (int i = 0; i < m_size; ++i)
        m_ring[static_cast<size_t>((m_head + i) % Capacity())].bytes.clear();
    m_dropped += m_size;
    m_head = 0;
    m_size = 0;
}

const TrafficLine& CTrafficLog::At(int index) const {
    return m_ring[static_cast<size_t>((m_head + index) % Capacity())];
}

QString FormatSeconds(double seconds) {
    return QString::number(seconds, 'f', 3);
}

QString FormatTime(const TrafficLine& line) {
    return FormatSeconds(line.msSinceOpen / 1000);
}

QString FormatLine(const TrafficLine& line) {
    // One pass over all four parts: a '%' in the text is never taken for a
    // place holder.
    return QStringLiteral("%1 %2 %3 %4")
        .arg(FormatTime(line).rightJustified(10),
             line.sent ? QStringLiteral("TX") : QStringLiteral("RX"),
             QString::fromLatin1(VerdictName(line.verdict)).leftJustified(12),
             QString::fromLatin1(VisibleText(line.bytes)));
}

} // namespace session
