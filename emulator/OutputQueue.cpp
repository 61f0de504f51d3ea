#include "emulator/OutputQueue.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace emulator {

bool COutputQueue::Append(std::string_view bytes, int shownLevel) {
    if (m_dropAbove > 0 && Pending() > m_dropAbove) {
        ++m_dropped;
        return false;
    }
    if (m_head > 0 && m_head == m_bytes.size()) {
        m_bytes.clear();
        m_head = 0;
    }
    m_bytes.append(bytes);
    if (shownLevel >= 0)
        m_marks.push_back({m_bytes.size(), shownLevel});
    return true;
}

long COutputQueue::WriteTo(int fd, size_t maxBytes, std::vector<int>& sentLevels) {
    const size_t count = std::min(maxBytes, Pending());
    if (count == 0)
        return 0;
    const ssize_t written = ::write(fd, m_bytes.data() + m_head, count);
    if (written <= 0)
        return written;
    m_head += static_cast<size_t>(written);
    while (!m_marks.empty() && m_marks.front().end <= m_head) {
        sentLevels.push_back(m_marks.front().level);
        m_marks.pop_front();
    }
    if (m_head > 65536) {
        m_bytes.erase(0, m_head);
        for (LevelMark& mark : m_marks)
            mark.end -= m_head;
        m_head = 0;
    }
    return written;
}

CBytePacer::CBytePacer(double bytesPerSecond)
    : m_rate(bytesPerSecond),
      m_chunk(static_cast<size_t>(std::clamp(bytesPerSecond * 0.004, 1.0, 4096.0))),
      m_credit(static_cast<double>(m_chunk)) {}

void CBytePacer::Refill(int64_t nowNs) {
    if (m_lastNs >= 0 && nowNs > m_lastNs)
        m_credit = std::min(m_credit + static_cast<double>(nowNs - m_lastNs) * 1e-9 * m_rate,
                            2.0 * static_cast<double>(m_chunk));
    m_lastNs = nowNs;
}

void CBytePacer::Consume(size_t bytes) {
    m_credit = std::max(0.0, m_credit - static_cast<double>(bytes));
}

int64_t CBytePacer::WhenAvailable(size_t bytes) const {
    const double missing = static_cast<double>(bytes) - m_credit;
    if (missing <= 0)
        return m_lastNs;
    return m_lastNs + static_cast<int64_t>(std::ceil(missing / m_rate * 1e9));
}

} // namespace emulator
