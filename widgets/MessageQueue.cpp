#include "widgets/MessageQueue.h"

void CMessageQueue::Show(const QString& text, MessageIcon icon) {
    if (m_depth > 0) {
        if (!m_waiting.contains(qMakePair(text, icon)))
            m_waiting.append(qMakePair(text, icon));
        return;
    }
    RunModal([&] { m_sink.Show(m_parent, text, icon); });
}

void CMessageQueue::RunModal(const std::function<void()>& modal) {
    ++m_depth;
    modal();
    --m_depth;
    // What arose meanwhile follows, one box at a time.
    while (m_depth == 0 && !m_waiting.isEmpty()) {
        const auto [text, icon] = m_waiting.takeFirst();
        ++m_depth;
        m_sink.Show(m_parent, text, icon);
        --m_depth;
    }
}
